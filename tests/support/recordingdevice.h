#pragma once

// An in-process MIDI device for tests: it records what the program sends and transmits whatever
// the test asks it to.

#include <QString>
#include <cstdint>
#include <vector>

#include "platform/midiservice.h"

class RecordingDevice : public platform::VirtualMidiDevice {
public:
    explicit RecordingDevice(const QString& name) : VirtualMidiDevice(name) {
        platform::MidiService::instance().addVirtualDevice(this);
    }

    void receive(const std::vector<std::uint8_t>& message) override { received.push_back(message); }
    using VirtualMidiDevice::transmit;

    // Device numbers in the service's lists as they stand now.
    int inputNumber() const {
        return int(platform::MidiService::instance().inputDevices().lastIndexOf(name()));
    }
    int outputNumber() const {
        return int(platform::MidiService::instance().outputDevices().lastIndexOf(name()));
    }

    std::vector<std::vector<std::uint8_t>> received;
};
