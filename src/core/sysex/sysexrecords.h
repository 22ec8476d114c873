#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The message types of the keyboard's System Exclusive frame (high nibble of byte 5).
// Scoped so the short names stay readable at the call site (SysExType::Status) while the values
// remain plain bytes that compare with type().
struct SysExType {
    enum : std::uint8_t {
        ParamData = 0,
        ParamRequest = 1,
        DataBlock = 4,
        DataRequest = 5,
        Status = 7,
    };
};

// The status byte of a Status message.
struct TransferStatus {
    enum : std::uint8_t {
        End = 0,
        Ack = 1,
        Rejected = 2,
        Error = 3,
    };
};

// Header fields of a message that concern the memory area. The encoder reads them; the decoder
// overwrites area and address with those of the message it parses, so an answer replaces the
// request that caused it.
struct AreaAddress {
    std::uint8_t area = 0;                        // only the low 4 bits travel
    std::int32_t size = 0;                        // byte size of the item (block transfers only)
    std::int32_t address = 0;                     // only the low 14 bits travel
    std::vector<std::uint16_t>* words = nullptr;  // the item's words, read by DataBlock encoding
};

// One parameter of a ParamRequest or ParamData message.
struct ParamAddress {
    std::uint8_t command = 0;
    std::uint8_t bits = 0;   // width of the value, 1 to 32
    std::uint8_t count = 0;  // number of parameter bytes, 1 to 4
    std::array<std::uint8_t, 4> parameters{};
    std::uint32_t value = 0;
};

namespace sysex {

inline constexpr std::uint8_t kStart = 0xF0;
inline constexpr std::uint8_t kEnd = 0xF7;
inline constexpr std::uint8_t kManufacturer = 0x44;
inline constexpr std::uint16_t kModelCode = 0x1101;
inline constexpr std::uint8_t kDeviceNumber = 0x7F;
inline constexpr int kWordsPerBlock = 64;
inline constexpr int kBytesPerBlock = 2 * kWordsPerBlock;
// The largest message either side builds: a DataBlock of 64 words.
inline constexpr int kMaxBlockMessage = 13 + 3 * kWordsPerBlock + 2;
// A block number travels in two 7-bit groups.
inline constexpr int kMaxBlocks = 1 << 14;
// So no item a transfer can address is larger than this (2 MiB).
inline constexpr std::uint32_t kMaxItemBytes = std::uint32_t(kMaxBlocks) * kBytesPerBlock;

// Number of 7-bit groups a value of `bits` bits takes on the wire (1 to 5).
constexpr int valueGroups(int bits) {
    return bits <= 7 ? 1 : (bits + 6) / 7;
}

}  // namespace sysex
