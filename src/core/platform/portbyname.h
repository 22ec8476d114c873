#pragma once

// Finding and opening a MIDI port by its name on a MIDI system that numbers its ports (RtMidi's
// ALSA and JACK ports). Internal to the MIDI service; templates, so that the logic runs in unit
// tests against a fake port list, without the system.
//
// The numbering is a trap: RtMidi opens by index into a list that changes when a device comes
// or goes, and that lists the program's own ports too. So a port is looked up by name right
// before it is opened, the name at that index is checked again once it is open, and the
// program's own ports are never offered.
//
// Port needs getPortCount(), getPortName(i), openPort(i, name) and closePort(); Errors needs
// clear() and throwIfFailed() (rtmidi::ErrorSink).

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "systemerror.h"

namespace platform::portbyname {

// Whether `full`, a port's name as RtMidi lists it, is the port `port` of its client: JACK (and
// PipeWire's JACK) list "client:port", ALSA "client:port C:P" with the sequencer's client and
// port numbers last (RtMidi 5.0.0, midiinfo() in RtMidi.cpp), numbers that change from one
// start to the next.
inline bool namesPort(const std::string& full, const std::string& port) {
    std::string_view name = full;
    if (const auto space = name.rfind(' '); space != std::string_view::npos) {
        const std::string_view numbers = name.substr(space + 1);
        const auto colon = numbers.find(':');
        const auto isNumber = [](std::string_view digits) {
            return !digits.empty() && std::all_of(digits.begin(), digits.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
        };
        if (colon != std::string_view::npos && isNumber(numbers.substr(0, colon)) &&
            isNumber(numbers.substr(colon + 1))) {
            name = name.substr(0, space);
        }
    }
    return name.size() > port.size() && name.ends_with(port) &&
           name[name.size() - port.size() - 1] == ':';
}

template <typename Port>
std::optional<unsigned int> indexOf(Port& port, const std::string& name) {
    const unsigned int count = port.getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        if (port.getPortName(i) == name) {
            return i;
        }
    }
    return std::nullopt;
}

// The ports' names in the system's order, without the empty ones and those `isOwn` names.
template <typename Port, typename IsOwn>
std::vector<std::string> namesOf(Port& port, IsOwn isOwn) {
    std::vector<std::string> names;
    const unsigned int count = port.getPortCount();
    for (unsigned int i = 0; i < count; ++i) {
        std::string name = port.getPortName(i);
        if (!name.empty() && !isOwn(name)) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

// Opens `port` on the device called `name`, or throws MidiSystemError; `port` is closed again
// when what it opened turns out to be another device.
template <typename Port, typename Errors>
void openByName(Port& port, Errors& errors, const std::string& name, const char* portName) {
    errors.clear();
    const std::optional<unsigned int> index = indexOf(port, name);
    if (!index) {
        throw MidiSystemError(ErrorCode::DeviceNotAvailable, {QString::fromStdString(name)});
    }
    port.openPort(*index, portName);
    errors.throwIfFailed();
    // A device that came or went between the look-up and the open shifts the numbering.
    if (port.getPortName(*index) != name) {
        port.closePort();
        throw MidiSystemError(ErrorCode::DeviceChangedWhileOpened, {QString::fromStdString(name)});
    }
}

}  // namespace platform::portbyname
