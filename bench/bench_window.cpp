// The window while the keyboard is slow, on the offscreen platform with an in-process software
// keyboard paced like the real 31,250-baud cable:
//  - how late a 5 ms timer fires while a paced Get/Update List runs (the nested waits must keep
//    the window responsive): the worst lateness in milliseconds;
//  - the time from creating the window to the window shown with the list of a populated
//    keyboard.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "mainform/pclinkform.h"

namespace {

struct PacedKeyboard {
    PacedKeyboard() : device("Bench paced MLS-850", &keyboard) {
        keyboard.setTiming({true, {}});
        platform::MidiService::instance().addVirtualDevice(&device);
        number = int(platform::MidiService::instance().inputDevices().indexOf(device.name()));
        platform::MidiService::instance().outputDevices();
    }
    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;
    int number = -1;
};

std::unique_ptr<TPcLinkForm> windowOn(const QTemporaryDir& home, int device) {
    const QString path = home.filePath("nvbman.ini");
    platform::SettingsStore(std::make_unique<QSettings>(path, QSettings::IniFormat))
        .save({device, device, home.path(), {}, {}});
    auto window = std::make_unique<TPcLinkForm>(std::make_unique<platform::SettingsStore>(
        std::make_unique<QSettings>(path, QSettings::IniFormat)));
    window->start();
    return window;
}

void timerLatenessDuringPacedList(benchmark::State& state) {
    PacedKeyboard keyboard;
    QTemporaryDir home;
    auto window = windowOn(home, keyboard.number);
    window->show();
    double worst = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            worst = std::max(worst, (now - last) / 1e6 - 5.0);
            last = now;
        });
        clock.start();
        tick.start(5);
        window->ConnectActionExecute();
        tick.stop();
    }
    state.counters["worst_lateness_ms"] = worst;
    window->close();
}
BENCHMARK(timerLatenessDuringPacedList)->Unit(benchmark::kMillisecond)->Iterations(3);

void startToListShown(benchmark::State& state) {
    PacedKeyboard keyboard;
    QTemporaryDir home;
    for (auto _ : state) {
        EkKbdDrv::instance(mls850::kModel).disconnect();
        auto window = windowOn(home, keyboard.number);
        window->show();
        window->ConnectActionExecute();
        benchmark::DoNotOptimize(window.get());
        window->close();
    }
}
BENCHMARK(startToListShown)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
