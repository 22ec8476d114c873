// A full listing by the real driver against the in-process software keyboard:
//  - unpaced: the program's own cost per request/answer transaction;
//  - paced at 31,250 baud: wall time divided by the pure wire time of every message exchanged,
//    which shows how much the program adds to what the cable itself takes;
//  - what a single-slot command asks before its transfer instead (the kind and that slot), for a
//    tone and for a song, paced.

#include <benchmark/benchmark.h>

#include <chrono>

#include "benchiterations.h"
#include "data/datatypes.h"
#include "kbddrv/ekkbd.h"
#include "kbddrv/ekkbddrv.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"

namespace {

struct Rig {
    explicit Rig(bool paced) : device("Bench MLS-850", &keyboard) {
        keyboard.setTiming({paced, {}});
        platform::MidiService::instance().addVirtualDevice(&device);
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [this](bool fromProgram, const QByteArray& message) {
                             wire +=
                                 kbdsim::SimulatedKeyboard::wireTime(std::size_t(message.size()));
                             transactions += fromProgram ? 1 : 0;
                         });
    }
    // Both lists enumerated now: a number of an earlier enumeration may name an earlier rig's
    // device, which is gone.
    int number() const {
        auto& service = platform::MidiService::instance();
        service.outputDevices();
        return int(service.inputDevices().lastIndexOf(device.name()));
    }

    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;
    std::chrono::microseconds wire{0};
    long transactions = 0;
};

void listing(benchmark::State& state, bool paced) {
    Rig rig(paced);
    EkKbdDrv driver("MLS-850");
    const int device = rig.number();
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        driver.getList(device, device);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double perTransaction = seconds / double(rig.transactions);
    state.counters["transactions"] = double(rig.transactions) / double(state.iterations());
    state.counters["us_per_transaction"] = perTransaction * 1e6;
    if (paced) {
        state.counters["wall_per_wire"] = seconds / (double(rig.wire.count()) / 1e6);
    }
}

// One request/answer transaction on ports that stay open: the program's own cost per exchange
// (encode, send, nested wait, decode) plus the in-process keyboard's.
void transactionUnpaced(benchmark::State& state) {
    Rig rig(false);
    EkKbd transceiver;
    transceiver.openPorts(rig.number(), rig.number());
    for (auto _ : state) {
        benchmark::DoNotOptimize(transceiver.queryFreeMemory());
    }
    transceiver.closePorts();
}
BENCHMARK(transactionUnpaced)->Unit(benchmark::kMicrosecond);

void listingUnpaced(benchmark::State& state) {
    listing(state, false);
}
void listingPaced(benchmark::State& state) {
    listing(state, true);
}

// The slot of a folder path by its index among the folder's slots.
EkData* slotAt(EkKbdDrv& driver, const std::string& folder, int index) {
    EkData* item = nullptr;
    if (!driver.openDirectory(folder, walk::kSlots, item)) {
        return nullptr;
    }
    for (int i = 0; i < index && item != nullptr; ++i) {
        driver.nextItem(item);
    }
    driver.closeDirectory();
    return item;
}

void oneSlotPaced(benchmark::State& state) {
    Rig rig(true);
    EkKbdDrv driver("MLS-850");
    const int device = rig.number();
    EkData* slot = state.range(0) == 0 ? slotAt(driver, "Tone:\\", 3)
                                       : slotAt(driver, "Song Rhythm:\\Song\\", 0);
    for (auto _ : state) {
        driver.getSlots(device, device, {slot});
    }
    state.SetLabel(state.range(0) == 0 ? "tone:3" : "song:0");
    state.counters["transactions"] = double(rig.transactions) / double(state.iterations());
}
BENCHMARK(oneSlotPaced)
    ->DenseRange(0, 1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(5));

BENCHMARK(listingUnpaced)->Unit(benchmark::kMillisecond);
BENCHMARK(listingPaced)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

}  // namespace
