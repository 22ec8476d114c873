// The window while the keyboard is slow, on the offscreen platform with an in-process software
// keyboard paced like the real 31,250-baud cable (on a thread of its own, as a keyboard on a
// cable works beside the program):
//  - how late a 5 ms timer fires while a paced Get/Update List runs (the window's thread must
//    stay free while its keyboard thread works): the worst lateness in milliseconds;
//  - the same during a paced send of a 21,504-byte song (the largest item);
//  - the time from creating the window to the window shown with the list of a populated
//    keyboard;
//  - a whole-keyboard backup and restore of a full keyboard (every slot holding data, the song
//    and rhythm memory full), against the time its traffic needs on the cable, and how late the
//    5 ms timer fires during the backup (the window's longest stall in a long job);
//  - the PC list of a folder of 1,000 ".nvb" files: listed, then every row's item name and type
//    read (as a details view showing them all at once would).

#include <benchmark/benchmark.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QListView>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeView>
#include <atomic>
#include <cstdio>
#include <functional>

#include "benchiterations.h"
#include "commands/commandframe.h"
#include "commands/keyboardjobs.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "mainform/pclinkform.h"
#include "panes/localpanemodel.h"
#include "stream/nvbfilestream.h"

namespace {

// The cable's speed: 31,250 bits per second, 10 bits per byte.
constexpr double kWireBytesPerSecond = 3125.0;
// How often the benchmark looks for a question to answer.
constexpr int kAnswerPollMs = 20;

// The keyboard answers on its own thread; the benchmark reads and sets its memory only between
// commands.
struct PacedKeyboard {
    explicit PacedKeyboard(kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo())
        : keyboard(std::move(memory)), device("Bench paced MLS-850", &keyboard) {
        keyboard.setTiming({true, {}});
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [this](bool, const QByteArray& message) { wireBytes += message.size(); });
        platform::MidiService::instance().addVirtualDevice(&device);
        number = int(platform::MidiService::instance().inputDevices().indexOf(device.name()));
        platform::MidiService::instance().outputDevices();
        keyboard.moveToThread(&cable);
        device.moveToThread(&cable);
        cable.start();
    }
    ~PacedKeyboard() {
        // Back to this thread to be destroyed here.
        QThread* here = QThread::currentThread();
        QMetaObject::invokeMethod(
            &keyboard,
            [this, here] {
                keyboard.moveToThread(here);
                device.moveToThread(here);
            },
            Qt::BlockingQueuedConnection);
        cable.quit();
        cable.wait();
    }
    QThread cable;
    kbdsim::SimulatedKeyboard keyboard;
    kbdsim::SimulatorDevice device;
    int number = -1;
    std::atomic<qint64> wireBytes = 0;
};

// Starts a window command and serves the window's event loop until it has ended.
void runToEnd(TPcLinkForm& window, const std::function<void()>& start) {
    start();
    while (!window.frame().isIdle()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

// Measures how late a 5 ms timer fires while `work` runs; the worst lateness in milliseconds.
double worstTimerLateness(const std::function<void()>& work) {
    QElapsedTimer clock;
    qint64 last = 0;
    double worst = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, (now - last) / 1e6 - 5.0);
        last = now;
    });
    clock.start();
    tick.start(5);
    work();
    return worst;
}

// Selects the keyboard node `texts` (from the root down) and its row `row`.
void selectKbd(TPcLinkForm& window, const QStringList& texts, int row) {
    auto* tree = window.findChild<QTreeView*>("KbdDirView");
    QModelIndex node = tree->model()->index(0, 0);
    for (const QString& text : texts) {
        node = tree->model()
                   ->match(tree->model()->index(0, 0, node), Qt::DisplayRole, text, 1,
                           Qt::MatchExactly)
                   .value(0);
    }
    tree->setCurrentIndex(node);
    auto* list = window.findChild<QListView*>("KbdFileView");
    list->setCurrentIndex(list->model()->index(row, 0));
}

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
        worst = std::max(worst, worstTimerLateness([&] {
                             runToEnd(*window, [&] { window->ConnectActionExecute(); });
                         }));
    }
    state.counters["worst_lateness_ms"] = worst;
    window->close();
}
BENCHMARK(timerLatenessDuringPacedList)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(3));

void timerLatenessDuringPacedSend(benchmark::State& state) {
    // The largest song there can be, imported once into a file, then sent back over itself.
    kbdsim::KeyboardMemory memory;
    memory.setData(
        {DataType::Song, 0, 0},
        std::vector<std::uint16_t>(kbdsim::KeyboardMemory::kSongRhythmBytes / 2, 0x1234));
    memory.setName({DataType::Song, 0, 0}, "Largest");
    PacedKeyboard keyboard(std::move(memory));
    QTemporaryDir home;
    auto window = windowOn(home, keyboard.number);
    window->show();
    runToEnd(*window, [&] { window->ConnectActionExecute(); });
    selectKbd(*window, {"Song Rhythm:\\", "Song"}, 0);
    runToEnd(*window, [&] { window->ReceiveActionExecute(); });
    double worst = 0;
    for (auto _ : state) {
        selectKbd(*window, {"Song Rhythm:\\", "Song"}, 0);
        worst = std::max(worst, worstTimerLateness([&] {
                             runToEnd(*window, [&] { window->SendActionExecute(); });
                         }));
    }
    state.counters["worst_lateness_ms"] = worst;
    state.counters["song_bytes"] = keyboard.keyboard.memory().size({DataType::Song, 0, 0});
    window->close();
}
BENCHMARK(timerLatenessDuringPacedSend)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

void backupAndRestoreFullKeyboard(benchmark::State& state) {
    // Every slot holds data; the songs and rhythms fill their memory to the last byte.
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    memory.setData({DataType::Rhythm, 0, 1}, std::vector<std::uint16_t>(400, 0x0505));
    memory.setData({DataType::Rhythm, 0, 3}, std::vector<std::uint16_t>(400, 0x0606));
    memory.setData({DataType::Song, 0, 1},
                   std::vector<std::uint16_t>(memory.freeMemory() / 2, 0x0707));
    const kbdsim::KeyboardMemory full = memory;
    PacedKeyboard keyboard(std::move(memory));
    QTemporaryDir home;
    QDir(home.path()).mkdir("backup");
    auto window = windowOn(home, keyboard.number);
    window->show();
    QElapsedTimer clock;
    double backupSeconds = 0;
    double restoreSeconds = 0;
    double wireSeconds = 0;
    double backupLateness = 0;
    for (auto _ : state) {
        keyboard.wireBytes = 0;
        clock.start();
        backupLateness =
            std::max(backupLateness, worstTimerLateness([&] {
                         runToEnd(*window, [&] { window->jobs().backUp(home.filePath("backup")); });
                     }));
        backupSeconds = clock.nsecsElapsed() / 1e9;
        const double backupWire = keyboard.wireBytes / kWireBytesPerSecond;
        keyboard.keyboard.memory() = kbdsim::KeyboardMemory();
        keyboard.wireBytes = 0;
        // The restore compares first, then asks once with its plan: answered when it comes.
        QTimer answer;
        answer.setInterval(kAnswerPollMs);
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                box != nullptr && box->button(QMessageBox::Yes) != nullptr) {
                box->button(QMessageBox::Yes)->click();
            }
        });
        answer.start();
        clock.start();
        runToEnd(*window, [&] { window->jobs().restore(home.filePath("backup")); });
        answer.stop();
        restoreSeconds = clock.nsecsElapsed() / 1e9;
        wireSeconds = backupWire + keyboard.wireBytes / kWireBytesPerSecond;
        if (keyboard.keyboard.memory().toJson() != full.toJson()) {
            state.SkipWithError("the restored keyboard differs from the one backed up");
        }
    }
    state.counters["backup_s"] = backupSeconds;
    state.counters["restore_s"] = restoreSeconds;
    state.counters["wire_s"] = wireSeconds;
    state.counters["time_per_wire_time"] = (backupSeconds + restoreSeconds) / wireSeconds;
    state.counters["backup_worst_lateness_ms"] = backupLateness;
    window->close();
}
BENCHMARK(backupAndRestoreFullKeyboard)->Unit(benchmark::kSecond)->Iterations(benchIterations(1));

void startToListShown(benchmark::State& state) {
    PacedKeyboard keyboard;
    QTemporaryDir home;
    for (auto _ : state) {
        EkKbdDrv::instance(mls850::kModel).disconnect();
        auto window = windowOn(home, keyboard.number);
        window->show();
        runToEnd(*window, [&] { window->ConnectActionExecute(); });
        benchmark::DoNotOptimize(window.get());
        window->close();
    }
}
BENCHMARK(startToListShown)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

void localListOfThousandItems(benchmark::State& state) {
    constexpr int kFiles = 1000;
    QTemporaryDir folder;
    for (int i = 0; i < kFiles; ++i) {
        EkDataFile item(DataType::Tone);
        item.setSize(mls850::kToneSize);
        item.words().assign(mls850::kToneSize / 2, std::uint16_t(i));
        item.storeName(QString("Tone%1").arg(i, 4, 10, QChar('0')).toStdString());
        NvbFileStream(folder.filePath(QString("TON_%1.nvb").arg(i)), NvbFileStream::Create)
            .write(item);
    }
    const QString path = QDir::toNativeSeparators(folder.path()) + QDir::separator();
    for (auto _ : state) {
        LocalListModel model;
        model.list(path);
        for (int row = 0; row < model.rowCount(); ++row) {
            benchmark::DoNotOptimize(
                model.index(row, LocalListModel::ItemNameColumn).data().toString());
            benchmark::DoNotOptimize(
                model.index(row, LocalListModel::ItemTypeColumn).data().toString());
        }
        if (model.rowCount() != kFiles) {
            state.SkipWithError("not every file was listed");
            break;
        }
    }
}
BENCHMARK(localListOfThousandItems)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(5));

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // An error box would wait for a click that never comes: report it and close it.
    QTimer errorBoxes;
    QObject::connect(&errorBoxes, &QTimer::timeout, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->icon() == QMessageBox::Critical) {
            std::fprintf(stderr, "error box: %s\n", qPrintable(box->text()));
            box->button(QMessageBox::Ok)->click();
        }
    });
    errorBoxes.start(100);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
