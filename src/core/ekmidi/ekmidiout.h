#pragma once

#include <memory>
#include <vector>

#include "ekmidi.h"
#include "platform/midiservice.h"

// The MIDI output port: one message at a time from its buffer. The report that the message has
// been sent comes from the event loop after send has returned. Closing the port gives the last
// message the time to leave the backend's queue.
class EkMidiOut : public EkMidi {
    Q_OBJECT
public:
    EkMidiOut() = default;
    ~EkMidiOut() override;

    void open(int device) override;
    void close() override;
    bool isOpen() const override { return output_ != nullptr; }

    // Copies the message into the port's buffer. Does nothing while the port is closed. A message
    // longer than the buffer throws platform::MidiSystemError and leaves the buffer as it was.
    void put(const std::vector<std::uint8_t>& message);
    // Sends the buffered message. Does nothing while the port is closed.
    void send();

private:
    void sent(std::uint64_t session);

    std::unique_ptr<platform::OutputPort> output_;
};
