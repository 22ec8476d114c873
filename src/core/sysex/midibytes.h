#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sysex {

// The byte stream of a MIDI cable, read as the instrument at its far end reads it: System
// Exclusive messages from F0 to F7, with real-time bytes (clock F8, active sensing FE...) that
// may come anywhere, even inside a message, and are not part of it. Anything else (channel
// messages, a stray F7) is not the keyboard's business and is passed over.
class MidiByteReader {
public:
    // Far more than any message the keyboard takes (a data block is a few hundred bytes).
    static constexpr std::size_t kMaxMessage = 64 * 1024;

    explicit MidiByteReader(std::size_t maxMessage = kMaxMessage) : maxMessage_(maxMessage) {}

    // Takes the next bytes of the stream; returns the messages they complete, in order.
    std::vector<std::vector<std::uint8_t>> feed(std::span<const std::uint8_t> bytes);

    // Messages given up: cut short by another status byte, or longer than the limit.
    int droppedMessages() const { return dropped_; }
    // The message begun and not yet ended (empty when none): at the end of a recording, one
    // that was cut short.
    const std::vector<std::uint8_t>& unfinished() const { return inMessage_ ? message_ : kNone; }

private:
    static inline const std::vector<std::uint8_t> kNone;
    std::size_t maxMessage_;
    std::vector<std::uint8_t> message_;
    bool inMessage_ = false;
    bool tooLong_ = false;
    int dropped_ = 0;
};

// `message` as a cable with a busy sender carries it: an Active Sensing byte before it and a
// MIDI clock byte after every `clockEvery` bytes inside it.
std::vector<std::uint8_t> withRealTimeBytes(std::span<const std::uint8_t> message,
                                            std::size_t clockEvery);

}  // namespace sysex
