#pragma once

#include <QObject>
#include <array>
#include <cstdint>
#include <vector>

class EkMidiObserver;

// Common part of the two MIDI ports. A port carries whole System Exclusive messages of at most
// kBufferSize bytes through one buffer, and reports each message sent or kept to its observers.
// Reports are delivered from the event loop of the thread the port lives on, never from inside a
// call to the port.
class EkMidi : public QObject {
    Q_OBJECT
public:
    // One buffer holds one whole message in each direction.
    static constexpr std::size_t kBufferSize = 256;

    ~EkMidi() override;

    // Opens the device with this number in the MIDI service's list for the port's direction.
    // Throws platform::MidiSystemError when the service refuses.
    virtual void open(int device) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Not owned; no duplicate check and no detach.
    void attachObserver(EkMidiObserver* observer) { observers_.push_back(observer); }
    // Appends the port's data to `out`: the last message kept (input) or sent (output).
    void getData(std::vector<std::uint8_t>& out) const;
    void notifyObservers();

protected:
    EkMidi() = default;

    std::array<std::uint8_t, kBufferSize> buffer_{};
    std::size_t bufferLength_ = 0;
    std::vector<std::uint8_t> data_;
    // Counts opens, so that a report posted for an earlier opening is recognised and dropped.
    std::uint64_t session_ = 0;

private:
    std::vector<EkMidiObserver*> observers_;
};
