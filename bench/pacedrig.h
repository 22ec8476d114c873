#pragma once

// The in-process software keyboard paced like the real cable (31,250 baud), listed by a driver
// of its own, with the wire time of every message it exchanged added up: a benchmark divides
// its wall time by that to say how close to the cable's own speed a job runs.

#include <chrono>

#include "kbddrv/ekkbddrv.h"
#include "kbddrv/keyboardlink.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/midiservice.h"

struct PacedRig {
    explicit PacedRig(kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo())
        : keyboard(std::move(memory)), device("Bench keyboard", &keyboard) {
        keyboard.setTiming({true, {}});
        platform::MidiService::instance().addVirtualDevice(&device);
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [this](bool fromProgram, const QByteArray& message) {
                             wire +=
                                 kbdsim::SimulatedKeyboard::wireTime(std::size_t(message.size()));
                             answers += fromProgram ? 0 : 1;
                         });
        // Both lists enumerated now: an earlier enumeration may name a device that is gone.
        platform::MidiService::instance().outputDevices();
        number = int(platform::MidiService::instance().inputDevices().lastIndexOf(device.name()));
        driver.getList(number, number);
    }

    KeyboardLink link() { return {driver, number, number}; }

    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;
    EkKbdDrv driver{"MLS-850"};
    int number = 0;
    int answers = 0;
    std::chrono::microseconds wire{0};
};

inline double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
