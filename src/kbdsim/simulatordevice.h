#pragma once

#include <QString>
#include <memory>

#include "platform/midiservice.h"
#include "simulatedkeyboard.h"

namespace kbdsim {

// Puts a simulated keyboard on the MIDI service as an in-process device: what the program sends
// to the device goes down the simulated cable to the keyboard, and the keyboard's answers come
// back to every program input that has the device open.
class SimulatorDevice : public platform::VirtualMidiDevice {
public:
    SimulatorDevice(const QString& name, SimulatedKeyboard* keyboard, QObject* parent = nullptr);

protected:
    void receive(const std::vector<std::uint8_t>& message) override;

private:
    SimulatedKeyboard* keyboard_;
};

// The software keyboard every program carries, so a user without the instrument can try every
// command: listed last among the MIDI devices as "MLS-850 Simulator (built-in)", paced like the
// real cable, with its memory kept in a state file between runs.
class BuiltInKeyboard {
public:
    static constexpr const char* kDeviceName = "MLS-850 Simulator (built-in)";

    // Where the built-in keyboard keeps its memory when no other file is given: shared by the
    // window and the command-line tool of the same user.
    static QString defaultStatePath();

    // Loads the memory from `statePath` when the file exists, else starts from the demo content;
    // saves every change back to it. An empty path keeps the memory in this process only.
    explicit BuiltInKeyboard(const QString& statePath = defaultStatePath());
    ~BuiltInKeyboard();

    SimulatedKeyboard& keyboard() { return *keyboard_; }
    // The last failure to load or save the state file, for the caller to report; empty if none.
    QString stateError() const { return stateError_; }

private:
    void save();

    QString statePath_;
    QString stateError_;
    std::unique_ptr<SimulatedKeyboard> keyboard_;
    std::unique_ptr<SimulatorDevice> device_;
};

}  // namespace kbdsim
