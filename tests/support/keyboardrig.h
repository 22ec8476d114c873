#pragma once

// A simulated MLS-850 on an in-process MIDI device, with the traffic it sees counted, for
// driving the program's real driver and streams in tests.

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/midiservice.h"

class KeyboardRig {
public:
    explicit KeyboardRig(kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo(),
                         const QString& name = "Test MLS-850")
        : keyboard(std::move(memory)), device(name, &keyboard) {
        keyboard.setTiming({false, {}});
        platform::MidiService::instance().addVirtualDevice(&device);
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [this](bool fromProgram, const QByteArray& message) {
                             (fromProgram ? fromProgram_ : toProgram_).push_back(message);
                         });
    }

    int inputNumber() const {
        return int(platform::MidiService::instance().inputDevices().lastIndexOf(device.name()));
    }
    int outputNumber() const {
        return int(platform::MidiService::instance().outputDevices().lastIndexOf(device.name()));
    }

    // Messages that reached the keyboard, in order.
    const std::vector<QByteArray>& fromProgram() const { return fromProgram_; }
    const std::vector<QByteArray>& toProgram() const { return toProgram_; }
    // Requests (ParamRequest) among them.
    int requestCount() const {
        int n = 0;
        for (const auto& m : fromProgram_) {
            n += m.size() > 5 && (quint8(m[5]) >> 4) == 1;
        }
        return n;
    }
    void clearTraffic() {
        fromProgram_.clear();
        toProgram_.clear();
    }
    // Whether the program still has the device open.
    bool programHasItOpen() const { return device.openInputCount() > 0; }

    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;

private:
    std::vector<QByteArray> fromProgram_;
    std::vector<QByteArray> toProgram_;
};
