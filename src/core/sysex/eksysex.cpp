#include "eksysex.h"

std::uint16_t EkSysEx::blockNumber() const {
    if (frame_.size() < 12) {
        return 0;
    }
    return static_cast<std::uint16_t>((frame_[10] & 0x7F) + 128 * (frame_[11] & 0x7F));
}

int EkSysEx::dataSize() const {
    if (frame_.size() < 13) {
        return 0;
    }
    return frame_[12] * 2;
}
