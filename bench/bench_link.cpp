// The MIDI link's own cost, beside the transport's:
//  - one command's set-up and tear-down: enumerate the devices, open both ports, ask the
//    keyboard kind and get the answer, close; against the in-process software keyboard and
//    against a keyboard on JACK that answers within the cycle;
//  - request/answer round trips on ports kept open, through the program's transceiver and
//    through a minimal RtMidi client of a few lines on the same server: the baseline the
//    transport itself allows (lost answers count as errors in both);
//  - the command-line tool's paced 21,504-byte send over JACK to nvbman-kbdsim: wall time
//    divided by the wire time of every message of the command;
//  - the command-line tool's single-slot import, send and delete (asking only for their slot)
//    beside list (the whole listing each of them fetched before), with a keyboard that answers
//    at once.
// The JACK cases need a running server (JACK_DEFAULT_SERVER names it) and are skipped without.

#include <benchmark/benchmark.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <chrono>

#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbd.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/midiservice.h"
#include "stream/nvbfilestream.h"
#include "support/jackresponder.h"
#include "sysex/ekexception.h"

namespace {

using Clock = std::chrono::steady_clock;

bool jackRunning() {
    jack_client_t* probe = jack_client_open("bench-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) {
        return false;
    }
    jack_client_close(probe);
    return true;
}

// Enumerate, open, first request answered, close: what every command pays before its work.
void commandSetUp(benchmark::State& state, const QString& inputName, const QString& outputName) {
    auto& service = platform::MidiService::instance();
    for (auto _ : state) {
        const int input = int(service.inputDevices().indexOf(inputName));
        const int output = int(service.outputDevices().indexOf(outputName));
        EkKbd kbd;
        kbd.openPorts(input, output);
        benchmark::DoNotOptimize(kbd.queryKeyboardKind());
        kbd.closePorts();
    }
}

void setUpInProcess(benchmark::State& state) {
    kbdsim::SimulatedKeyboard keyboard;
    keyboard.setTiming({false, {}});
    kbdsim::SimulatorDevice device("Bench MLS-850", &keyboard);
    platform::MidiService::instance().addVirtualDevice(&device);
    commandSetUp(state, device.name(), device.name());
}
BENCHMARK(setUpInProcess)->Unit(benchmark::kMillisecond);

void setUpJack(benchmark::State& state) {
    if (!jackRunning()) {
        state.SkipWithError("no JACK server");
        return;
    }
    JackResponder keyboard("bench-keyboard", 0);
    commandSetUp(state, QString::fromStdString(keyboard.outputPort()),
                 QString::fromStdString(keyboard.inputPort()));
}
BENCHMARK(setUpJack)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(200));

// The kind request, written out: F0 44 11 01 7F 10 00 0D 00 00 00 F7.
const std::vector<unsigned char> kKindRequest = {0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10,
                                                 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7};

void roundTripRtMidiBaseline(benchmark::State& state) {
    if (!jackRunning()) {
        state.SkipWithError("no JACK server");
        return;
    }
    JackResponder keyboard("bench-keyboard", 0);
    RtMidiIn in(RtMidi::UNIX_JACK, "bench-baseline-in");
    RtMidiOut out(RtMidi::UNIX_JACK, "bench-baseline-out");
    std::atomic<int> answers{0};
    in.ignoreTypes(false, true, true);
    in.setCallback(
        [](double, std::vector<unsigned char>*, void* n) { ++*static_cast<std::atomic<int>*>(n); },
        &answers);
    in.openVirtualPort("in");
    out.openVirtualPort("out");
    jack_client_t* patch = jack_client_open("bench-patch", JackNoStartServer, nullptr);
    jack_connect(patch, keyboard.outputPort().c_str(), "bench-baseline-in:in");
    jack_connect(patch, "bench-baseline-out:out", keyboard.inputPort().c_str());
    QThread::msleep(100);  // the connections take effect at a later cycle
    long lost = 0;
    for (auto _ : state) {
        const int before = answers.load();
        out.sendMessage(&kKindRequest);
        const auto deadline = Clock::now() + std::chrono::milliseconds(200);
        while (answers.load() == before && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        lost += answers.load() == before ? 1 : 0;
    }
    state.counters["lost"] = double(lost);
    jack_client_close(patch);
}
BENCHMARK(roundTripRtMidiBaseline)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2000));

void roundTripTransceiver(benchmark::State& state) {
    if (!jackRunning()) {
        state.SkipWithError("no JACK server");
        return;
    }
    JackResponder keyboard("bench-keyboard", 0);
    auto& service = platform::MidiService::instance();
    EkKbd kbd;
    kbd.openPorts(
        int(service.inputDevices().indexOf(QString::fromStdString(keyboard.outputPort()))),
        int(service.outputDevices().indexOf(QString::fromStdString(keyboard.inputPort()))));
    long lost = 0;
    for (auto _ : state) {
        try {
            benchmark::DoNotOptimize(kbd.queryKeyboardKind());
        } catch (const EkException&) {
            ++lost;
            kbd.openPorts(kbd.inputDevice(), kbd.outputDevice());  // a time-out closes them
        }
    }
    state.counters["lost"] = double(lost);
    kbd.closePorts();
}
BENCHMARK(roundTripTransceiver)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(2000));

// nvbman-kbdsim on the JACK server, and nvbman-cli commands against it, each in a home of the
// bench's own.
class CliRig {
public:
    explicit CliRig(const QStringList& simOptions = {}) {
        name_ = QString("bench-sim-%1").arg(::getpid());
        // The log goes to a file: a pipe nobody reads while the command runs would fill and
        // stop the simulator in the middle of the transfer.
        log_ = home_.filePath("sim.log");
        sim_.setStandardOutputFile(log_);
        sim_.setReadChannel(QProcess::StandardError);
        sim_.start(NVBMAN_KBDSIM_PATH, QStringList{"--api", "jack", "--name", name_, "--state",
                                                   home_.filePath("k.json"), "--log"} +
                                           simOptions);
        QElapsedTimer wait;
        wait.start();
        QByteArray err;
        while (!err.contains("ready") && wait.elapsed() < 10000) {
            sim_.waitForReadyRead(100);
            err += sim_.readAllStandardError();
        }
    }
    ~CliRig() {
        sim_.terminate();
        sim_.waitForFinished(5000);
    }

    // Runs a command to its end; its exit status (the error on stderr when not 0).
    int run(const QStringList& args) {
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("XDG_DATA_HOME", home_.filePath("data"));
        cli.setProcessEnvironment(env);
        cli.start(NVBMAN_CLI_PATH, QStringList{"--quiet", "--in", name_, "--out", name_} + args);
        cli.waitForFinished(300000);
        if (cli.exitCode() != 0) {
            std::fprintf(stderr, "nvbman-cli %s: %s\n", qPrintable(args.join(' ')),
                         cli.readAllStandardError().constData());
        }
        return cli.exitCode();
    }

    QString filePath(const QString& name) const { return home_.filePath(name); }
    QString log() const { return log_; }

private:
    QTemporaryDir home_;
    QProcess sim_;
    QString name_;
    QString log_;
};

// One slot's command as the command-line tool runs it now (the keyboard's kind and that slot),
// against the whole listing every command fetched before (list): wall time per command,
// process start included, with a keyboard that answers at once.
void cliSingleSlotOverJack(benchmark::State& state) {
    if (!jackRunning()) {
        state.SkipWithError("no JACK server");
        return;
    }
    CliRig rig({"--no-pacing"});
    const QString tone = rig.filePath("TON_Warm Pad.nvb");
    const QList<QStringList> commands = {{"list"},
                                         {"import", "tone:3", rig.filePath("")},
                                         {"send", "--no-safety-copy", tone, "tone:5"},
                                         {"delete", "--no-safety-copy", "song:1"}};
    const QStringList& command = commands[int(state.range(0))];
    if (rig.run({"import", "tone:3", rig.filePath("")}) != 0) {
        state.SkipWithError("no tone to send");
        return;
    }
    for (auto _ : state) {
        if (rig.run(command) != 0) {
            state.SkipWithError("the command failed");
            break;
        }
    }
    state.SetLabel(command.first().toStdString());
}
BENCHMARK(cliSingleSlotOverJack)
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(10));

// nvbman-cli send of a 21,504-byte song (the whole song and rhythm memory: the demo's songs and
// rhythms are deleted first) into song:1, paced at 31,250 baud. The wire time is summed from
// the simulator's log of every message of the command, both ways.
void cliPacedSendOverJack(benchmark::State& state) {
    if (!jackRunning()) {
        state.SkipWithError("no JACK server");
        return;
    }
    CliRig rig;
    const auto runCli = [&](const QStringList& args) { return rig.run(args); };
    const QString log = rig.log();
    for (const char* slot : {"song:0", "rhythm:0", "rhythm:2"}) {
        if (runCli({"delete", slot}) != 0) {
            state.SkipWithError("delete failed");
            return;
        }
    }
    const QString song = rig.filePath("SNG_Whole.nvb");
    {
        EkDataFile item(DataType::Song);
        item.setSize(21504);
        item.words().assign(21504 / 2, 0x1234);
        item.storeName("Whole   ");
        NvbFileStream(song, NvbFileStream::Create).write(item);
    }
    double seconds = 0;
    double wireSeconds = 0;
    QFile logFile(log);
    logFile.open(QIODevice::ReadOnly);
    for (auto _ : state) {
        // The memory is full after a send, and a send checks the free memory before it deletes
        // the slot's old song: empty the slot first, untimed.
        state.PauseTiming();
        runCli({"delete", "song:1"});
        QThread::msleep(200);
        state.ResumeTiming();
        logFile.readAll();  // what came before this send
        const auto start = Clock::now();
        const int exit = runCli({"send", song, "song:1"});
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        if (exit != 0) {
            state.SkipWithError("send failed");
            break;
        }
        QThread::msleep(200);
        // "HH:mm:ss.zzz in  F0 44 ..." : the hex bytes after the direction.
        for (const QByteArray& line : logFile.readAll().split('\n')) {
            const qsizetype bytes = line.simplified().split(' ').size() - 2;
            if (bytes > 0) {
                wireSeconds +=
                    double(kbdsim::SimulatedKeyboard::wireTime(std::size_t(bytes)).count()) / 1e6;
            }
        }
    }
    state.counters["wall_per_wire"] = seconds / wireSeconds;
    state.counters["wire_s"] = wireSeconds / double(state.iterations());
}
BENCHMARK(cliPacedSendOverJack)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

}  // namespace
