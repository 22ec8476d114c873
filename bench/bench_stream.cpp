// Sending and importing a song that fills the whole song and rhythm memory (21,504 bytes, 168
// blocks) through the real keyboard stream and the in-process software keyboard:
//  - paced at 31,250 baud: wall time divided by the pure wire time of every message exchanged;
//  - unpaced: bytes per second of the program's own processing (and the keyboard's);
//  - both again with the MIDI log recording and formatting every message.

#include <benchmark/benchmark.h>

#include <chrono>

#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "ekmidi/midilogtext.h"
#include "kbddrv/ekkbddrv.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/midilog.h"
#include "stream/nvbmidistream.h"

namespace {

constexpr std::uint32_t kSongBytes = 21504;

struct Rig {
    explicit Rig(bool paced)
        : keyboard(kbdsim::KeyboardMemory()), device("Bench keyboard", &keyboard) {
        keyboard.setTiming({paced, {}});
        platform::MidiService::instance().addVirtualDevice(&device);
        QObject::connect(
            &keyboard, &kbdsim::SimulatedKeyboard::traffic,
            [this](bool, const QByteArray& message) {
                if (counting) {
                    wire += kbdsim::SimulatedKeyboard::wireTime(std::size_t(message.size()));
                }
            });
        // Both lists enumerated now: an earlier enumeration may name a device that is gone.
        platform::MidiService::instance().outputDevices();
        number = int(platform::MidiService::instance().inputDevices().lastIndexOf(device.name()));
        driver.getList(number, number);
        song.setSize(kSongBytes);
        song.words().resize(kSongBytes / 2);
        for (std::size_t i = 0; i < song.words().size(); ++i) {
            song.words()[i] = std::uint16_t(i * 31);
        }
        song.storeName("Bench");
    }

    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;
    EkKbdDrv driver{"MLS-850"};
    EkDataFile song{DataType::Song};
    int number = 0;
    bool counting = false;
    std::chrono::microseconds wire{0};
};

// Times one transfer; only the block transfer itself counts toward the wire time.
void reset(Rig& rig);

template <typename Transfer>
void run(benchmark::State& state, bool paced, Transfer transfer) {
    Rig rig(paced);
    double seconds = 0;
    for (auto _ : state) {
        reset(rig);
        const auto start = std::chrono::steady_clock::now();
        rig.counting = true;
        transfer(rig);
        rig.counting = false;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double bytes = double(kSongBytes) * double(state.iterations());
    state.counters["bytes_per_second"] = bytes / seconds;
    if (paced) {
        state.counters["wall_per_wire"] = seconds / (double(rig.wire.count()) / 1e6);
    }
}

// Empties song 0 again (the full memory leaves no room for a second copy) and relists.
void reset(Rig& rig) {
    rig.keyboard.memory().setData({DataType::Song, 0, 0}, {});
    rig.driver.getList(rig.number, rig.number);
}

void send(Rig& rig) {
    NvbMidiStream(std::string("Song Rhythm:\\Song\\Song 0"), rig.number, rig.number, rig.driver)
        .write(rig.song);
}

void import(Rig& rig) {
    EkDataFile item(DataType::NoType);
    NvbMidiStream(std::string("Song Rhythm:\\Song\\Bench   "), rig.number, rig.number, rig.driver)
        .read(item);
    benchmark::DoNotOptimize(item.words().data());
}

void sendUnpaced(benchmark::State& state) {
    run(state, false, send);
}
void sendPaced(benchmark::State& state) {
    run(state, true, send);
}
// The song is put into the keyboard's memory directly, so only the import is timed.
void importPaced(benchmark::State& state, bool paced) {
    Rig rig(paced);
    double seconds = 0;
    for (auto _ : state) {
        rig.keyboard.memory().setData({DataType::Song, 0, 0}, rig.song.words());
        rig.keyboard.memory().setName({DataType::Song, 0, 0}, "Bench");
        rig.driver.getList(rig.number, rig.number);
        const auto start = std::chrono::steady_clock::now();
        rig.counting = true;
        import(rig);
        rig.counting = false;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    state.counters["bytes_per_second"] = double(kSongBytes) * double(state.iterations()) / seconds;
    if (paced) {
        state.counters["wall_per_wire"] = seconds / (double(rig.wire.count()) / 1e6);
    }
}
void importUnpaced(benchmark::State& state) {
    importPaced(state, false);
}
void importWithPacing(benchmark::State& state) {
    importPaced(state, true);
}

// The same paced send with the MIDI log recording every message (as the window always does,
// and the command-line tool with --verbose or --log), a listener formatting each line as the
// log's views do: its wall/wire ratio beside sendPaced's shows what the log costs.
void sendPacedLogged(benchmark::State& state) {
    auto& log = platform::MidiLog::instance();
    log.setRecording(true);
    std::size_t characters = 0;
    const int listener = log.addListener([&](const platform::MidiLog::Entry& entry) {
        characters += std::size_t(midilogtext::lineOf(entry).size());
    });
    run(state, true, send);
    log.removeListener(listener);
    log.setRecording(false);
    log.clear();
    benchmark::DoNotOptimize(characters);
}
void sendUnpacedLogged(benchmark::State& state) {
    auto& log = platform::MidiLog::instance();
    log.setRecording(true);
    const int listener = log.addListener([](const platform::MidiLog::Entry& entry) {
        benchmark::DoNotOptimize(midilogtext::lineOf(entry));
    });
    run(state, false, send);
    log.removeListener(listener);
    log.setRecording(false);
    log.clear();
}

BENCHMARK(sendUnpaced)->Unit(benchmark::kMillisecond);
BENCHMARK(sendUnpacedLogged)->Unit(benchmark::kMillisecond);
BENCHMARK(sendPacedLogged)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(2));
BENCHMARK(importUnpaced)->Unit(benchmark::kMillisecond);
BENCHMARK(sendPaced)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(2));
BENCHMARK(importWithPacing)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(2));

}  // namespace
