#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

#include "sysex/midibytes.h"

typedef struct _snd_rawmidi snd_rawmidi_t;

namespace kbdsim {

// The instrument's end of a MIDI cable: an ALSA raw MIDI device (a USB-MIDI interface's port,
// or snd-virmidi's "hw:0,N", whose bytes come out of the sequencer port "VirMIDI 0-N"). Bytes
// are read on a thread of its own and handed over as whole System Exclusive messages; messages
// are written as bytes, optionally with real-time bytes in and between them as a busy sender
// puts them there. The cable itself is as fast as the device; the keyboard paces itself.
class RawMidiCable {
public:
    using Receiver = std::function<void(std::vector<std::uint8_t>)>;

    // `device`: an ALSA name ("hw:0,0") or the device's file ("/dev/snd/midiC0D0").
    // `receiver` runs on the cable's thread. Throws platform::SystemError when the device
    // cannot be opened.
    RawMidiCable(const QString& device, Receiver receiver);
    ~RawMidiCable();
    RawMidiCable(const RawMidiCable&) = delete;
    RawMidiCable& operator=(const RawMidiCable&) = delete;

    // Writes the whole message; throws platform::SystemError when the device refuses it.
    void send(const std::vector<std::uint8_t>& message);
    void setRealTimeNoise(bool noise) { noise_ = noise; }

    // "/dev/snd/midiC1D2" as ALSA names it ("hw:1,2"); anything else as it is.
    static QString alsaName(const QString& device);

private:
    void read();
    void waitForRoom();

    snd_rawmidi_t* in_ = nullptr;
    snd_rawmidi_t* out_ = nullptr;
    Receiver receiver_;
    sysex::MidiByteReader reader_;
    bool noise_ = false;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

}  // namespace kbdsim
