#include "midibytes.h"

namespace sysex {
namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;
constexpr std::uint8_t kFirstRealTime = 0xF8;
constexpr std::uint8_t kStatusBit = 0x80;
constexpr std::uint8_t kClock = 0xF8;
constexpr std::uint8_t kActiveSensing = 0xFE;

}  // namespace

std::vector<std::vector<std::uint8_t>> MidiByteReader::feed(std::span<const std::uint8_t> bytes) {
    std::vector<std::vector<std::uint8_t>> complete;
    for (const std::uint8_t byte : bytes) {
        if (byte >= kFirstRealTime) {
            continue;  // a real-time byte stands alone, wherever it comes
        }
        if (byte == kSysExStart) {
            dropped_ += inMessage_ ? 1 : 0;
            message_.assign(1, byte);
            inMessage_ = true;
            tooLong_ = false;
            continue;
        }
        if (!inMessage_) {
            continue;
        }
        if (byte == kSysExEnd) {
            inMessage_ = false;
            if (tooLong_) {
                ++dropped_;
                continue;
            }
            message_.push_back(byte);
            complete.push_back(std::move(message_));
            message_.clear();
            continue;
        }
        if ((byte & kStatusBit) != 0) {
            // Any other status byte ends a System Exclusive message that is then incomplete.
            inMessage_ = false;
            ++dropped_;
            continue;
        }
        if (message_.size() + 1 >= maxMessage_) {
            tooLong_ = true;  // read on to its end, keeping nothing
            continue;
        }
        message_.push_back(byte);
    }
    return complete;
}

std::vector<std::uint8_t> withRealTimeBytes(std::span<const std::uint8_t> message,
                                            std::size_t clockEvery) {
    std::vector<std::uint8_t> bytes{kActiveSensing};
    for (std::size_t i = 0; i < message.size(); ++i) {
        bytes.push_back(message[i]);
        if (clockEvery > 0 && (i + 1) % clockEvery == 0 && i + 1 < message.size()) {
            bytes.push_back(kClock);
        }
    }
    return bytes;
}

}  // namespace sysex
