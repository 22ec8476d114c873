#pragma once

// A JACK client of our own with one MIDI output port, in place of RtMidi's JACK output.
// Internal to the MIDI service.
//
// RtMidi 5.0.0's JACK output (jackProcessOut in RtMidi.cpp, lines 3377-3406) takes each message
// out of its ring buffer whether or not the cycle has room for it: when
// jack_midi_event_reserve() returns NULL the message is skipped with read_advance and lost. And
// it calls jack_midi_clear_buffer() on whatever jack_port_get_buffer() returned. PipeWire's JACK
// library (0.3.65, pipewire-jack.c) hands back NULL for a port of our own once
// jack_port_unregister() has invalidated it (do_invalidate_port, line 4456, checked in
// jack_port_get_buffer at line 4664): every later cycle of that client then prints
// "'mb != NULL' failed at pipewire-jack.c:6364 jack_midi_clear_buffer()" and drops what the ring
// buffer still held. Nor can the sender learn when a message has left: sendMessage() returns as
// soon as the ring buffer holds it, and a port disconnected before the next cycle sends it
// nowhere. The keyboard answers neither a send's End nor a deletion, so such a loss is silent.
//
// This output keeps every message until a cycle has written it into a real port buffer (a cycle
// without a buffer, or without room, leaves it for the next one), counts what it wrote, and lets
// the sender wait until the cycle that wrote its last message has ended, so a close never cuts
// a message off. Closing deactivates the client before it is closed and its buffers freed, so
// no cycle can run on freed memory (RtMidi frees its ring buffer first).

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

namespace platform {

class JackMidiOutput {
public:
    // Opens the client `clientName` (exactly that name) on the running server, without starting
    // one, registers its port `portName` and activates it. Throws MidiSystemError.
    JackMidiOutput(const std::string& clientName, const char* portName);
    ~JackMidiOutput();
    JackMidiOutput(const JackMidiOutput&) = delete;
    JackMidiOutput& operator=(const JackMidiOutput&) = delete;

    const std::string& clientName() const { return clientName_; }

    // One thread at a time. Queues a whole message for the next cycles. Throws MidiSystemError
    // (MessageTooLarge) when it cannot be queued whole.
    void send(std::span<const std::uint8_t> message);
    // Waits until every message queued has been written into a port buffer and the cycle that
    // wrote it has ended, at most `bound`. Returns whether it has.
    bool waitUntilDelivered(std::chrono::milliseconds bound);

private:
    // Server thread.
    static int process(jack_nframes_t frames, void* self);

    std::string clientName_;
    jack_client_t* client_ = nullptr;
    jack_port_t* port_ = nullptr;
    jack_ringbuffer_t* queue_ = nullptr;
    std::uint64_t queued_ = 0;  // the sender's thread only
    std::atomic<std::uint64_t> written_{0};
    std::atomic<std::uint64_t> cycles_{0};
    // The cycle (of cycles_) in which the last message was written.
    std::atomic<std::uint64_t> lastWriteCycle_{0};
};

}  // namespace platform
