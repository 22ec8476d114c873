#pragma once

#include <cstdint>
#include <vector>

#include "sysexrecords.h"

// State shared by the encoder and the decoder: the type and status of the current message, the
// two records the caller attached, and the frame being built or the one received.
class EkSysEx {
public:
    void setAreaAddress(AreaAddress* area) { area_ = area; }
    void setParamAddress(ParamAddress* param) { param_ = param; }

    std::uint8_t type() const { return type_; }
    void setStatus(std::uint8_t status) { status_ = status; }
    std::uint8_t status() const { return status_; }

    // Block index from frame bytes 10-11; 0 when the frame does not reach them.
    std::uint16_t blockNumber() const;
    // Byte count of the block: twice the word count in frame byte 12; 0 without that byte.
    int dataSize() const;

    const std::vector<std::uint8_t>& frame() const { return frame_; }

protected:
    EkSysEx() = default;
    ~EkSysEx() = default;

    std::uint8_t type_ = 0;
    std::uint8_t status_ = 0;
    AreaAddress* area_ = nullptr;
    ParamAddress* param_ = nullptr;
    std::vector<std::uint8_t> frame_;
};
