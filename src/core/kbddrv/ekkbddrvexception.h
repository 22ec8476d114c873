#pragma once

#include "platform/systemerror.h"
#include "sysex/ekexception.h"

// Failures of the keyboard driver.
class EkKbdDrvException : public EkException {
public:
    enum Code : std::int32_t {
        // The keyboard is not of the model the driver serves, or a delete names an item that is
        // neither a song nor a rhythm.
        UnknownKeyboard = 0,
    };
    using EkException::EkException;
};

// A keyboard operation was started while another one is still waiting for the keyboard (for
// instance a click served from inside the wait). It is refused rather than interleaved.
class DriverBusyError : public platform::SystemError {
public:
    DriverBusyError() : SystemError(platform::ErrorCode::DriverBusy, {}) {}
};
