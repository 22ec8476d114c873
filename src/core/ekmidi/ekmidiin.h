#pragma once

#include <deque>
#include <memory>

#include "ekmidi.h"
#include "platform/midiservice.h"

// The MIDI input port. It keeps a message only when it is complete and from the keyboard's maker
// (F0 44 ... F7) and fits the port's buffer; everything else is dropped without a report. The
// backend's thread only posts what arrives: the message is taken and reported from the event
// loop, and nothing is reported once the port has been closed.
class EkMidiIn : public EkMidi {
    Q_OBJECT
public:
    EkMidiIn() = default;
    ~EkMidiIn() override;

    void open(int device) override;
    void close() override;
    bool isOpen() const override { return input_ != nullptr; }
    // Reports every message that has already arrived, now.
    void flush();

private:
    void arrived(std::uint64_t session, const std::vector<std::uint8_t>& message);
    void reportPending(std::uint64_t session);

    std::deque<std::vector<std::uint8_t>> pending_;
    std::unique_ptr<platform::InputPort> input_;
};
