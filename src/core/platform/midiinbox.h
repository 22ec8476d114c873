#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform {

// Hands whole MIDI messages from a MIDI system's thread to the thread that opened the inbox (the
// command-line tool's main thread, or the window's keyboard thread) without a lock: "the
// opening thread" below.
//
// The thread that delivers MIDI input (JACK's process thread, which runs in realtime, or ALSA's
// input thread) must never wait for the opening thread: posting a Qt event takes the receiver's
// event-queue mutex, and a thread preempted while holding it makes JACK's cycle overrun,
// which drops the MIDI of that cycle for every client. So the producer copies the message into
// a fixed ring of slots and writes one byte to a pipe; the opening thread's event loop sees the
// pipe and takes the messages out.
class MidiInbox {
public:
    using Consumer = std::function<void(std::vector<std::uint8_t> message)>;

    // The largest message kept; a longer one is dropped, as the ports would drop it.
    static constexpr std::size_t kMaxMessage = 256;
    static constexpr std::size_t kSlots = 64;

    MidiInbox();
    ~MidiInbox();
    MidiInbox(const MidiInbox&) = delete;
    MidiInbox& operator=(const MidiInbox&) = delete;

    // Opening thread. Messages pushed from now on reach `consumer` from this thread's event loop.
    void open(Consumer consumer);
    // Opening thread. Once this returns no message reaches the consumer, queued ones included.
    void close();

    // One producer thread at a time; no lock, no allocation. False when the message was dropped
    // (inbox closed, too long, or every slot taken).
    bool push(const std::uint8_t* data, std::size_t size);

    // Opening thread: takes out what has been pushed (the event loop does this by itself).
    void drain();

private:
    struct Slot {
        std::uint64_t generation = 0;
        std::size_t size = 0;
        std::array<std::uint8_t, kMaxMessage> bytes{};
    };

    std::array<Slot, kSlots> slots_;
    std::atomic<std::size_t> head_{0};  // next slot the opening thread takes
    std::atomic<std::size_t> tail_{0};  // next slot the producer fills
    // Odd while open; every open and close moves it on, so a message pushed for an earlier
    // opening is recognised and dropped.
    std::atomic<std::uint64_t> generation_{0};
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;  // while open
    bool draining_ = false;
    Consumer consumer_;
};

}  // namespace platform
