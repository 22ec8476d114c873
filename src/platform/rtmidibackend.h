#pragma once

// The system's MIDI devices, as RtMidi reaches them. Internal to the MIDI service.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "midiservice.h"

namespace platform::rtmidi {

struct PortRef {
    int api = 0;             // RtMidi::Api
    unsigned int index = 0;  // the port's number within its backend
    std::string name;
    // How long a message sent last needs to leave the backend's queue before a close.
    std::chrono::milliseconds drainTime{0};
};

std::vector<PortRef> listInputs();
std::vector<PortRef> listOutputs();

std::unique_ptr<MidiInput> openInput(const PortRef& port, MidiReceiver receiver);
std::unique_ptr<MidiOutput> openOutput(const PortRef& port);

}  // namespace platform::rtmidi
