#pragma once

#include "sysex/ekexception.h"

// Failures of moving an item through a stream.
class NvbStreamException : public EkException {
public:
    enum Code : std::int32_t {
        NotNvbFile = 0,       // the file does not start with the ".nvb" header
        TypeMismatch = 1,     // the item's type differs from the target slot's
        NotEnoughMemory = 2,  // the keyboard lacks free memory for the song or rhythm
    };
    using EkException::EkException;
};
