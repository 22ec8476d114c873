// The command-line tool's speed on each MIDI stack, against nvbman-kbdsim paced like the real
// cable (31,250 baud): a listing, a tone import, a song sent (1,800 bytes), a whole backup and
// the largest song the keyboard takes (21,504 bytes, into an emptied song memory), each as
// seconds and as that time divided by the wire time of the messages it exchanged (1.0 would be
// the cable's own speed). The stacks: JACK 2 with 64-, 256- and 1,024-frame periods, PipeWire
// through its JACK library with its own period and with NvbMan's request, and the ALSA
// sequencer with the simulator on ports of its own or behind a virtual MIDI cable
// (snd-virmidi, as a USB-MIDI interface). Each stack's server is private to the benchmark (a
// JACK server of its own name, a PipeWire daemon in a runtime folder of its own); a stack whose
// server or kernel devices are missing is skipped (ALSA runs in the ALSA test machine:
// tests/alsa-vm/alsa-vm.sh -- build/bench/bench_stacks).

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>

#include "benchiterations.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbdsim/keyboardmemory.h"
#include "stream/nvbfilestream.h"

namespace {

using namespace std::chrono_literals;

// The cable: 10 bits a byte at 31,250 baud.
constexpr double kSecondsPerByte = 10.0 / 31250.0;
constexpr int kReadyWaitMs = 15000;
constexpr int kCommandWaitMs = 120000;
constexpr int kPollMs = 20;
const char* const kSimName = "Bench MLS-850";

enum class Service { Jack2, PipeWire, AlsaPorts, AlsaCable };

struct Stack {
    Service service = Service::Jack2;
    int jackPeriod = 0;     // JACK 2's server period
    int periodRequest = 0;  // nvbman-cli --period (PipeWire)
};

// The cable snd-virmidi's first raw device is the far end of, and the port NvbMan uses.
const char* const kCableDevice = "hw:0,0";
const char* const kCablePort = "VirMIDI 0-0";
// The song memory of the MLS-850, all of it one song.
constexpr std::uint32_t kLargestSong = 21504;

// A private server of the stack and a paced simulator on it, for one benchmark.
class StackRun {
public:
    // `prepare` fills the simulator's state file before it starts.
    explicit StackRun(const Stack& stack,
                      const std::function<void(const QString& state)>& prepare = {})
        : stack_(stack) {
        if (prepare) {
            prepare(statePath());
        }
        const QString scripts = QStringLiteral(NVBMAN_SOURCE_DIR "/tests/e2e/");
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env_.insert("XDG_DATA_HOME", home_.filePath("data"));
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        if (stack.service == Service::AlsaPorts || stack.service == Service::AlsaCable) {
            server_ = true;  // the kernel's sequencer, always there
        } else if (stack.service == Service::PipeWire) {
            const QString runtime = home_.filePath("runtime");
            env_.insert("XDG_RUNTIME_DIR", runtime);
            stop_ = {scripts + "pipewire-server.sh", {"stop", runtime}};
            server_ = run(scripts + "pipewire-server.sh", {"start", runtime});
        } else {
            env_.insert("JACK_DEFAULT_SERVER", QString("nvbman-bench-%1").arg(stack.jackPeriod));
            env_.insert("NVBMAN_JACK_PERIOD", QString::number(stack.jackPeriod));
            const QString pidfile = home_.filePath("jackd.pid");
            stop_ = {scripts + "jack-server.sh", {"stop", pidfile}};
            server_ = run(scripts + "jack-server.sh", {"start", pidfile});
        }
        if (!server_) {
            return;
        }
        sim_.setProcessEnvironment(env_);
        QStringList cable{"--api", stack.service == Service::AlsaPorts ? "alsa" : "jack", "--name",
                          kSimName};
        if (stack.service == Service::AlsaCable) {
            cable = QStringList{"--rawmidi", kCableDevice};
        }
        start(sim_, NVBMAN_KBDSIM_PATH, cable + QStringList{"--log", "--state", statePath()});
        QElapsedTimer clock;
        clock.start();
        QByteArray said;
        sim_.setReadChannel(QProcess::StandardError);
        while (!said.contains("ready") && clock.elapsed() < kReadyWaitMs &&
               sim_.state() != QProcess::NotRunning) {
            sim_.waitForReadyRead(100);
            said += sim_.readAllStandardError();
        }
        sim_.setReadChannel(QProcess::StandardOutput);
        ready_ = said.contains("ready");
    }

    ~StackRun() {
        sim_.terminate();
        sim_.waitForFinished(5000);
        QProcess::execute(stop_.first, stop_.second);
    }

    bool ready() const { return ready_; }
    QString folder() const { return home_.path(); }
    QString statePath() const { return home_.filePath("keyboard.json"); }
    QString device() const {
        return stack_.service == Service::AlsaCable ? QString(kCablePort) : QString(kSimName);
    }

    // Runs nvbman-cli with `args` on the simulator; the seconds it took and the wire time of
    // the messages it exchanged, or nothing when it failed.
    std::optional<std::pair<double, double>> cli(const QStringList& args) {
        sim_.readAllStandardOutput();
        QProcess process;
        process.setProcessEnvironment(env_);
        QStringList all{"--quiet", "--in", device(), "--out", device()};
        if (stack_.service == Service::PipeWire) {
            all << "--period" << QString::number(stack_.periodRequest);
        }
        QElapsedTimer clock;
        clock.start();
        start(process, NVBMAN_CLI_PATH, all + args);
        // The simulator's log is taken as it comes: a full pipe would stop the simulator.
        QByteArray log;
        while (!process.waitForFinished(kPollMs) && clock.elapsed() < kCommandWaitMs) {
            sim_.waitForReadyRead(0);
            log += sim_.readAllStandardOutput();
        }
        if (process.state() != QProcess::NotRunning || process.exitCode() != 0) {
            std::fprintf(stderr, "nvbman-cli %s: %s\n", qPrintable(args.join(' ')),
                         process.readAllStandardError().constData());
            return std::nullopt;
        }
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        // The simulator logs each message as it takes or sends it: "TIME in  F0 .. F7".
        sim_.waitForReadyRead(kPollMs);
        log += sim_.readAllStandardOutput();
        static const QRegularExpression message(" (?:in |out) ((?:[0-9A-F]{2} ?)+)$",
                                                QRegularExpression::MultilineOption);
        qsizetype bytes = 0;
        for (const auto& match : message.globalMatch(QString::fromLatin1(log))) {
            bytes += (match.captured(1).trimmed().size() + 1) / 3;
        }
        return std::pair{seconds, double(bytes) * kSecondsPerByte};
    }

private:
    void start(QProcess& process, const QString& program, const QStringList& args) {
        if (stack_.service == Service::PipeWire) {
            process.start("pw-jack", QStringList{program} + args);
        } else {
            process.start(program, args);
        }
    }

    bool run(const QString& script, const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(env_);
        process.start(script, args);
        return process.waitForFinished(kReadyWaitMs) && process.exitCode() == 0;
    }

    Stack stack_;
    QTemporaryDir home_;
    QProcessEnvironment env_;
    QProcess sim_;
    std::pair<QString, QStringList> stop_;
    bool server_ = false;
    bool ready_ = false;
};

// What the stack needs that this machine may not have; empty when it has all.
std::string missingFor(const Stack& stack) {
    switch (stack.service) {
        case Service::Jack2:
            return QStandardPaths::findExecutable("jackd").isEmpty() ? "jackd is not installed"
                                                                     : "";
        case Service::PipeWire:
            return QStandardPaths::findExecutable("pw-jack").isEmpty() ? "pw-jack is not installed"
                                                                       : "";
        case Service::AlsaPorts:
            return QFile::exists("/dev/snd/seq") ? "" : "no ALSA sequencer (see tests/alsa-vm)";
        case Service::AlsaCable:
            return QFile::exists("/dev/snd/midiC0D0") ? ""
                                                      : "no raw MIDI device (see tests/alsa-vm)";
    }
    return {};
}

// The demo memory with every song and rhythm slot emptied, so that the largest song fits; the
// song itself as a file.
void emptySongMemory(const QString& statePath) {
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    for (int n = 0; n < kbdsim::KeyboardMemory::kSongs; ++n) {
        memory.setData({DataType::Song, 0, n}, {});
    }
    for (int n = 0; n < kbdsim::KeyboardMemory::kRhythms; ++n) {
        memory.setData({DataType::Rhythm, 0, n}, {});
    }
    memory.save(statePath);
}

void writeLargestSong(const QString& songPath) {
    EkDataFile song(DataType::Song);
    song.setSize(kLargestSong);
    song.words().assign(kLargestSong / 2, 0x1234);
    song.storeName("Largest ");
    NvbFileStream(songPath, NvbFileStream::Create).write(song);
}

void BM_Stack(benchmark::State& state, Stack stack) {
    if (const std::string missing = missingFor(stack); !missing.empty()) {
        state.SkipWithError(missing.c_str());
        return;
    }
    StackRun run(stack);
    if (!run.ready()) {
        state.SkipWithError("the server or the simulator did not start");
        return;
    }
    const QString folder = run.folder();
    // The song the keyboard holds, as a file to send back into the other song slot.
    if (!run.cli({"import", "song:0", folder})) {
        state.SkipWithError("the song could not be imported");
        return;
    }
    const QString song = QDir(folder).filePath("SNG_Sunrise .nvb");
    const std::pair<const char*, QStringList> commands[] = {
        {"list", {"list"}},
        {"import_tone", {"import", "tone:0", folder}},
        {"send_song", {"send", song, "song:1"}},
        {"backup", {"backup", "--replace", QDir(folder).filePath("backup")}},
    };
    QDir(folder).mkdir("backup");
    std::map<std::string, std::pair<double, double>> totals;
    for (auto _ : state) {
        for (const auto& [name, args] : commands) {
            const auto took = run.cli(args);
            if (!took) {
                state.SkipWithError((std::string(name) + " failed").c_str());
                return;
            }
            totals[name].first += took->first;
            totals[name].second += took->second;
        }
    }
    const auto iterations = double(state.iterations());
    for (const auto& [name, total] : totals) {
        state.counters[name + "_s"] = total.first / iterations;
        state.counters[name + "_per_wire"] = total.first / total.second;
    }
}
// The largest song sent into the emptied song memory, again and again (between two sends, and
// untimed, the slot is emptied: a send over a song first keeps a copy of it).
void BM_LargestSong(benchmark::State& state, Stack stack) {
    if (const std::string missing = missingFor(stack); !missing.empty()) {
        state.SkipWithError(missing.c_str());
        return;
    }
    StackRun run(stack, emptySongMemory);
    if (!run.ready()) {
        state.SkipWithError("the server or the simulator did not start");
        return;
    }
    const QString song = QDir(run.folder()).filePath("largest.nvb");
    writeLargestSong(song);
    double seconds = 0;
    double wire = 0;
    bool first = true;
    for (auto _ : state) {
        if (!first) {
            state.PauseTiming();
            const bool emptied = run.cli({"delete", "song:0"}).has_value();
            state.ResumeTiming();
            if (!emptied) {
                state.SkipWithError("the song could not be deleted");
                return;
            }
        }
        first = false;
        const auto took = run.cli({"send", song, "song:0"});
        if (!took) {
            state.SkipWithError("the send failed");
            return;
        }
        seconds += took->first;
        wire += took->second;
    }
    state.counters["send_s"] = seconds / double(state.iterations());
    state.counters["send_per_wire"] = seconds / wire;
}

BENCHMARK_CAPTURE(BM_Stack, jack2_64, Stack{Service::Jack2, 64, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_Stack, jack2_256, Stack{Service::Jack2, 256, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_Stack, jack2_1024, Stack{Service::Jack2, 1024, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_Stack, pipewire_own_period, Stack{Service::PipeWire, 0, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_Stack, pipewire_asking_256, Stack{Service::PipeWire, 0, 256})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));

BENCHMARK_CAPTURE(BM_Stack, alsa_ports, Stack{Service::AlsaPorts, 0, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_Stack, alsa_virmidi_cable, Stack{Service::AlsaCable, 0, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_LargestSong, jack2_256, Stack{Service::Jack2, 256, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_LargestSong, alsa_ports, Stack{Service::AlsaPorts, 0, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_LargestSong, alsa_virmidi_cable, Stack{Service::AlsaCable, 0, 0})
    ->Unit(benchmark::kSecond)
    ->Iterations(benchIterations(3));

}  // namespace
