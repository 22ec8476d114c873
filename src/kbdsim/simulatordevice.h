#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/midiservice.h"
#include "simulatedkeyboard.h"

namespace kbdsim {

// Puts a simulated keyboard on the MIDI service as an in-process device: what the program sends
// to the device goes down the simulated cable to the keyboard, and the keyboard's answers come
// back to every program input that has the device open.
class SimulatorDevice : public platform::VirtualMidiDevice {
public:
    SimulatorDevice(const QString& name, SimulatedKeyboard* keyboard, QObject* parent = nullptr);

    // What the device does when a command begins and ends its use (see VirtualMidiDevice).
    void setUseHooks(std::function<QString()> begin, std::function<QString()> end) {
        beginUse_ = std::move(begin);
        endUse_ = std::move(end);
    }
    QString beginUse() override { return beginUse_ ? beginUse_() : QString(); }
    QString endUse() override { return endUse_ ? endUse_() : QString(); }
    // Set before the device is listed, never changed after: read from any thread.
    void setSharedState(const QString& path) { sharedState_ = path; }
    QString sharedState() const override { return sharedState_; }

protected:
    void receive(const std::vector<std::uint8_t>& message) override;

private:
    SimulatedKeyboard* keyboard_;
    std::function<QString()> beginUse_;
    std::function<QString()> endUse_;
    QString sharedState_;
};

// The software keyboard every program carries, so a user without the instrument can try every
// command: listed last among the MIDI devices as "MLS-850 Simulator (built-in)", paced like the
// real cable, with its memory kept in a state file between runs.
//
// Every program of the user has its own copy, sharing the state file. Each command holds the
// device's lock (see platform::KeyboardSession), and at its start the keyboard reads the file
// again, so it goes on from what another program left. A file it cannot read is never
// overwritten: it is kept aside, and the command that met it fails saying where. A change it
// cannot save is undone, and the command that made it fails.
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
    // The failure to load or save the state file that the next command reports; empty if none.
    QString stateError() const { return stateError_; }

private:
    // Reads the state file when there is one; on failure keeps it aside and notes why.
    void load();
    void save();
    QString beginUse();
    QString endUse();
    // Returns once every message the program sent has reached the keyboard and been dealt with.
    void waitForTheCable();

    QString statePath_;
    QString stateError_;
    // The memory as the running command found it: what a change that cannot be saved returns to.
    std::optional<KeyboardMemory> atCommandStart_;
    std::unique_ptr<SimulatedKeyboard> keyboard_;
    std::unique_ptr<SimulatorDevice> device_;
};

}  // namespace kbdsim
