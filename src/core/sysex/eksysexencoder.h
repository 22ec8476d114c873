#pragma once

#include <cstdint>
#include <vector>

#include "eksysex.h"

// Builds one keyboard frame at a time. The frame is kept between messages: header setters write
// straight into it, so an owner only changes what differs from the previous message.
class EkSysExEncoder : public EkSysEx {
public:
    EkSysExEncoder();

    void setModelCode(std::uint16_t code);
    void setDeviceNumber(std::uint8_t number);
    // Sets the type and the high nibble of byte 5, keeping the area nibble.
    void setType(std::uint8_t type);
    // DataBlock only, before setDataSize.
    void setBlockNumber(std::uint16_t block);
    // DataBlock only: the byte count of the block (twice its word count).
    void setDataSize(std::uint8_t bytes);

    // Appends the finished message to `out`. Throws EkSysExException code 4 for an unknown type,
    // std::out_of_range when a block reaches past the item's words, and std::logic_error when a
    // record the type needs is not attached or holds a count or width the frame cannot carry.
    void encode(std::vector<std::uint8_t>& out);

private:
    void resizeFrame(std::size_t size) { frame_.resize(size, 0); }
    void encodeParam(bool withValue);
    void encodeBlock();
};
