#pragma once

#include <cstdint>
#include <vector>

#include "eksysex.h"

// Parses one received frame (0xF0 ... 0xF7, already checked by the input port) into the attached
// records, the value of a ParamData and the words of a DataBlock.
//
// The decoder never reads outside the frame. A frame too short for the fields its type needs
// (under 10 bytes; a Status without its status byte; a ParamData without all its parameter bytes
// and value groups; a DataBlock without a whole number of words and its checksum) raises
// EkSysExException code 3, "no datas".
class EkSysExDecoder : public EkSysEx {
public:
    EkSysExDecoder() { frame_.reserve(256); }

    void decode(const std::vector<std::uint8_t>& input);

    std::uint32_t value() const { return value_; }
    const std::vector<std::uint16_t>& words() const { return words_; }

private:
    void decodeParam();
    void decodeBlock();

    std::vector<std::uint16_t> words_;
    std::uint32_t value_ = 0;
};
