// nvbman-kbdsim: a software MLS-850 on the system's MIDI service. It offers one input and one
// output port under the same name (ALSA sequencer or JACK); connect NvbMan to both and it answers
// like the instrument, with its memory kept in a JSON state file if one is given. With
// --rawmidi it sits at the far end of a MIDI cable instead: an ALSA raw MIDI device, whose
// sequencer port NvbMan then talks to as to a keyboard behind a USB-MIDI interface.

#include <rtmidi/RtMidi.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>

#include "kbdsim/rawmidicable.h"
#include "kbdsim/simulatedkeyboard.h"
#include "platform/midiinbox.h"
#include "platform/pipewirelatency.h"
#include "platform/portbyname.h"
#include "platform/systemerror.h"
#include "version.h"

namespace {

std::atomic<bool> stopRequested{false};

void requestStop(int) {
    stopRequested = true;
}

// One line on stderr, at once: a test or a script waits for the ready line.
void say(const QString& line) {
    std::fputs(qPrintable(line + '\n'), stderr);
    std::fflush(stderr);
}

[[noreturn]] void usageError(const QString& message) {
    say("nvbman-kbdsim: " + message + " (try --help)");
    std::exit(2);
}

int toInt(const QString& text, const char* what) {
    bool ok = false;
    const int value = text.toInt(&ok, 0);
    if (!ok) {
        usageError(QStringLiteral("%1 must be a number, not '%2'").arg(what, text));
    }
    return value;
}

// "B:S" or "B:S:COUNT" with numbers.
QList<int> numberList(const QString& text, int minParts, int maxParts, const char* what) {
    const QStringList parts = text.split(':');
    if (parts.size() < minParts || parts.size() > maxParts) {
        usageError(QStringLiteral("%1 takes %2 numbers separated by ':'").arg(what).arg(minParts));
    }
    QList<int> numbers;
    for (const QString& part : parts) {
        numbers << toInt(part, what);
    }
    return numbers;
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// The simulator's check of its own ports before it says "ready": a message of the
// non-commercial maker ID, which no keyboard answers, sent through a checker of its own.
const std::vector<unsigned char> kProbe{0xF0, 0x7D, 0x4E, 0x76, 0x62, 0x4D, 0xF7};
constexpr int kCheckAttempts = 3;
constexpr int kProbeEveryMs = 100;
constexpr int kProbeWaitMs = 3000;
// A JACK output's process callback may still run on its ring buffer for a few cycles after its
// port closed; RtMidi 5.0 frees the buffer before it closes the client.
constexpr unsigned long kCloseSettleMs = 50;

// A client name for the simulator's ports of `portName`. Two clients of one name are renamed
// by the MIDI service, and PipeWire's JACK then names their ports differently for each client
// that looks (one sees "nvbman-kbdsim-34:NAME", another "nvbman-kbdsim:NAME-224"), so each
// client gets a name of its own, and the same one at every start: the window keeps the device
// it was given by its full name. JACK client names are short: the port's name is cut to fit.
constexpr std::size_t kClientNamePart = 32;
std::string clientName(const char* role, const std::string& portName) {
    return std::string("nvbman-kbdsim-") + role + "-" + portName.substr(0, kClientNamePart);
}

// The index of the simulator's own port `name` among the ports of `rtmidi`, whichever MIDI
// system lists them (see portbyname::namesPort).
std::optional<unsigned> portNamed(RtMidi& rtmidi, const std::string& name) {
    const unsigned count = rtmidi.getPortCount();
    for (unsigned i = 0; i < count; ++i) {
        const std::string full = rtmidi.getPortName(i);
        if (full.starts_with("nvbman-kbdsim-") && platform::portbyname::namesPort(full, name)) {
            return i;
        }
    }
    return std::nullopt;
}

// Sends the probe into the simulator's input and out of its output, through a checker client
// connected to both, until both have come through (JACK makes a connection live a few cycles
// after it was asked for, so the probe goes again every 100 ms). `probesIn` counts what the
// simulator's input received. True when both directions carried it within the wait.
bool portsCarryMessages(RtMidi::Api api, const std::string& portName, RtMidiOut& simOut,
                        const std::atomic<int>& probesIn) {
    std::atomic<int> probesOut{0};
    bool works = false;
    {
        RtMidiIn checkIn(api, clientName("check-in", portName));
        RtMidiOut checkOut(api, clientName("check-out", portName));
        checkIn.ignoreTypes(false, true, true);
        checkIn.setCallback(
            [](double, std::vector<unsigned char>* message, void* seen) {
                if (message != nullptr && *message == kProbe) {
                    ++*static_cast<std::atomic<int>*>(seen);
                }
            },
            &probesOut);
        const auto simInput = portNamed(checkOut, portName);
        const auto simOutput = portNamed(checkIn, portName);
        if (simInput && simOutput) {
            checkOut.openPort(*simInput, "probe");
            checkIn.openPort(*simOutput, "probe");
            QElapsedTimer clock;
            clock.start();
            const int inBefore = probesIn.load();
            while (clock.elapsed() < kProbeWaitMs &&
                   (probesIn.load() == inBefore || probesOut.load() == 0)) {
                checkOut.sendMessage(&kProbe);
                simOut.sendMessage(&kProbe);
                QCoreApplication::processEvents(QEventLoop::AllEvents, kProbeEveryMs);
                QThread::msleep(kProbeEveryMs);
            }
            works = probesIn.load() != inBefore && probesOut.load() != 0;
        }
        checkIn.closePort();
        checkOut.closePort();
        QThread::msleep(kCloseSettleMs);
    }
    return works;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nvbman-kbdsim");
    QCoreApplication::setApplicationVersion(NVBMAN_VERSION);
    // It stands for an instrument behind PipeWire's ALSA bridge, which neither asks for a
    // period nor keeps the graph at one: only the programs that talk to it may ask.
    platform::leavePipeWireQuantumUnlocked();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "A software MLS-850 keyboard on the system's MIDI service.\n"
        "It offers a MIDI input and a MIDI output port, both named after --name; choose both in "
        "NvbMan (or pass the name to nvbman-cli --in/--out). Stop it with Ctrl+C.");
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption apiOption("api", "MIDI system: jack or alsa (default: jack).", "API",
                                       "jack");
    const QCommandLineOption nameOption("name", "Port name (default: MLS-850 Simulator).", "NAME",
                                        "MLS-850 Simulator");
    const QCommandLineOption stateOption(
        "state",
        "JSON file holding the keyboard's memory: loaded at start when it exists (demo content "
        "otherwise), written after every change.",
        "FILE");
    const QCommandLineOption noPacingOption(
        "no-pacing", "Answer at once instead of taking each message's 31,250-baud wire time.");
    const QCommandLineOption delayOption(
        "processing-delay", "Milliseconds the keyboard thinks before each answer.", "MS", "0");
    const QCommandLineOption kindOption(
        "kind", "Keyboard kind to report (0 is the MLS-850; anything else is refused).", "N");
    const QCommandLineOption silentOption("silent", "Never answer anything.");
    const QCommandLineOption blockStatusOption(
        "block-status",
        "When receiving an item, answer block B with status S (2 Rejected, 3 Error, other values "
        "unknown) instead of Ack, COUNT times (default 1; -1 always).",
        "B:S[:COUNT]");
    const QCommandLineOption fetchStatusOption(
        "fetch-status",
        "When sending an item, send status S (1 Ack, 2 Rejected, ...) in place of block B.", "B:S");
    const QCommandLineOption checksumOption(
        "corrupt-checksum", "When sending an item, give block B a wrong checksum.", "B");
    const QCommandLineOption noiseOption(
        "noise", "Send active sensing, clock and another maker's SysEx before each answer.");
    const QCommandLineOption dropOption("drop-answer", "Never send the N-th answer (from 1).", "N");
    const QCommandLineOption oversizedOption(
        "oversized-answer", "Send the N-th answer (from 1) with 64 KiB more data bytes.", "N");
    const QCommandLineOption unansweredOption(
        "unanswered-request-every",
        "Leave every N-th parameter request unanswered, as a MIDI service that drops a message "
        "would.",
        "N");
    const QCommandLineOption loseOption(
        "lose",
        "Lose the next N messages of KIND on the way, as a cable that drops one: end (the End "
        "that closes an item sent to the keyboard), delete (a song or rhythm deletion), block "
        "(a data block sent to the keyboard), ack (the Ack of a fetch), answer (the keyboard's "
        "answer to a request), answer-after-change (N answers after each End or deletion taken); N -1 loses "
        "every one. Several: KIND:N,KIND:N or the option again.",
        "KIND:N");
    const QCommandLineOption loseUnansweredOption(
        "lose-unanswered-every",
        "Lose every N-th message the keyboard never answers (an End, a deletion).", "N");
    const QCommandLineOption panelCopyOption(
        "panel-copy",
        "Once the N-th parameter request (from 1) is answered, copy the item of slot FROM into "
        "slot TO (an empty FROM empties TO), as a user at the keyboard's panel would.",
        "N:FROM:TO");
    const QCommandLineOption keepWrongOption(
        "keep-wrong", "Keep every item received with its last data word changed.");
    const QCommandLineOption logOption(
        "log", "Print every message on stdout: time, direction (in: from NvbMan), hex bytes.");
    const QCommandLineOption rawMidiOption(
        "rawmidi",
        "Be the instrument at the far end of the MIDI cable DEVICE, an ALSA raw MIDI device "
        "(hw:1,0 or /dev/snd/midiC1D0), instead of offering ports of its own: NvbMan talks to "
        "the cable's port (for snd-virmidi's hw:0,N, \"VirMIDI 0-N\").",
        "DEVICE");
    const QCommandLineOption realTimeNoiseOption(
        "realtime-noise",
        "With --rawmidi: send Active Sensing before each message and MIDI clock bytes inside it, "
        "as an instrument whose sequencer runs does.");
    parser.addOptions({apiOption,           nameOption,      stateOption,  noPacingOption,
                       delayOption,         kindOption,      silentOption, blockStatusOption,
                       fetchStatusOption,   checksumOption,  noiseOption,  dropOption,
                       unansweredOption,    keepWrongOption, logOption,    rawMidiOption,
                       realTimeNoiseOption, oversizedOption, loseOption,   loseUnansweredOption,
                       panelCopyOption});
    parser.process(app);
    if (!parser.positionalArguments().isEmpty()) {
        usageError("unexpected argument '" + parser.positionalArguments().first() + "'");
    }

    RtMidi::Api api = RtMidi::UNIX_JACK;
    const QString apiName = parser.value(apiOption).toLower();
    if (apiName == "alsa") {
        api = RtMidi::LINUX_ALSA;
    } else if (apiName != "jack") {
        usageError("--api must be jack or alsa");
    }

    const QString statePath = parser.value(stateOption);
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    if (!statePath.isEmpty() && QFileInfo::exists(statePath)) {
        try {
            memory = kbdsim::KeyboardMemory::load(statePath);
        } catch (const platform::SystemError& e) {
            say(QStringLiteral("nvbman-kbdsim: ") + e.what());
            return 1;
        }
    }
    if (parser.isSet(kindOption)) {
        memory.kind = toInt(parser.value(kindOption), "--kind");
    }

    kbdsim::SimulatedKeyboard keyboard(std::move(memory));
    kbdsim::Timing timing;
    timing.paced = !parser.isSet(noPacingOption);
    timing.processingDelay =
        std::chrono::milliseconds(toInt(parser.value(delayOption), "--processing-delay"));
    keyboard.setTiming(timing);

    kbdsim::Faults faults;
    faults.silent = parser.isSet(silentOption);
    faults.noise = parser.isSet(noiseOption);
    faults.keepWrong = parser.isSet(keepWrongOption);
    if (parser.isSet(unansweredOption)) {
        faults.unansweredRequestEvery =
            toInt(parser.value(unansweredOption), "--unanswered-request-every");
    }
    if (parser.isSet(blockStatusOption)) {
        const auto n = numberList(parser.value(blockStatusOption), 2, 3, "--block-status");
        faults.blockStatus = {n[0], n[1], n.size() > 2 ? n[2] : 1};
    }
    if (parser.isSet(fetchStatusOption)) {
        const auto n = numberList(parser.value(fetchStatusOption), 2, 2, "--fetch-status");
        faults.fetchStatus = {n[0], n[1]};
    }
    if (parser.isSet(checksumOption)) {
        faults.corruptChecksumBlock = toInt(parser.value(checksumOption), "--corrupt-checksum");
    }
    if (parser.isSet(dropOption)) {
        faults.dropAnswer = toInt(parser.value(dropOption), "--drop-answer");
    }
    if (parser.isSet(oversizedOption)) {
        faults.oversizedAnswer = toInt(parser.value(oversizedOption), "--oversized-answer");
    }
    for (const QString& lossList : parser.values(loseOption)) {
        if (QString error; !kbdsim::addLosses(faults, lossList, &error)) {
            usageError("--lose: " + error);
        }
    }
    if (parser.isSet(loseUnansweredOption)) {
        faults.loseUnansweredEvery =
            toInt(parser.value(loseUnansweredOption), "--lose-unanswered-every");
    }
    if (parser.isSet(panelCopyOption)) {
        if (QString error; !kbdsim::setPanelCopy(faults, parser.value(panelCopyOption), &error)) {
            usageError("--panel-copy: " + error);
        }
    }
    keyboard.setFaults(faults);

    const std::string portName = parser.value(nameOption).toStdString();
    // What arrives reaches the keyboard from the event loop, handed over without a lock (JACK's
    // process thread must never wait for this one).
    platform::MidiInbox inbox;
    // The self-check's probe counts here and never reaches the keyboard.
    std::atomic<int> probesIn{0};
    inbox.open([&keyboard, &probesIn](std::vector<std::uint8_t> message) {
        if (std::vector<unsigned char>(message.begin(), message.end()) == kProbe) {
            ++probesIn;
            return;
        }
        keyboard.receive(message);
    });
    std::optional<RtMidiOut> out;
    std::optional<RtMidiIn> in;
    std::optional<kbdsim::RawMidiCable> cable;
    const QString rawMidiDevice = parser.value(rawMidiOption);
    if (!rawMidiDevice.isEmpty()) {
        try {
            cable.emplace(rawMidiDevice, [&inbox](std::vector<std::uint8_t> message) {
                inbox.push(message.data(), message.size());
            });
        } catch (const platform::SystemError& e) {
            say(QStringLiteral("nvbman-kbdsim: ") + e.what());
            return 1;
        }
        cable->setRealTimeNoise(parser.isSet(realTimeNoiseOption));
        keyboard.setTransmitter([&cable](const std::vector<std::uint8_t>& message) {
            try {
                cable->send(message);
            } catch (const platform::SystemError& e) {
                say(QStringLiteral("nvbman-kbdsim: send failed: ") + e.what());
            }
        });
    }
    // "ready" means that messages come in and go out: the ports are checked with a probe, and
    // made again when the MIDI service does not carry it (a JACK client that started while
    // other clients came and went has been seen to miss every process cycle from then on).
    bool checked = cable.has_value();
    for (int attempt = 1; attempt <= kCheckAttempts && !checked; ++attempt) {
        try {
            if (in) {
                in->closePort();
                out->closePort();
                QThread::msleep(kCloseSettleMs);
                in.reset();
                out.reset();
            }
            out.emplace(api, clientName("out", portName));
            in.emplace(api, clientName("in", portName));
            in->ignoreTypes(false, true, true);
            in->setCallback(
                [](double, std::vector<unsigned char>* message, void* target) {
                    static_cast<platform::MidiInbox*>(target)->push(message->data(),
                                                                    message->size());
                },
                &inbox);
            in->openVirtualPort(portName);
            out->openVirtualPort(portName);
            checked = portsCarryMessages(api, portName, *out, probesIn);
        } catch (const RtMidiError& e) {
            say(QStringLiteral("nvbman-kbdsim: cannot open the MIDI ports: ") +
                e.getMessage().c_str());
            if (api == RtMidi::UNIX_JACK) {
                say("Is a JACK server running? (jackd -d dummy starts one without sound "
                    "hardware)");
            }
            return 1;
        }
        if (!checked && attempt < kCheckAttempts) {
            say(
                QStringLiteral("nvbman-kbdsim: the MIDI ports did not carry a test message; "
                               "opening them again"));
        }
    }
    if (!checked) {
        say(QStringLiteral("nvbman-kbdsim: the MIDI service does not carry the simulator's "
                           "messages (checked %1 times); giving up")
                .arg(kCheckAttempts));
        return 1;
    }
    if (!cable) {
        keyboard.setTransmitter([&out](const std::vector<std::uint8_t>& message) {
            try {
                out->sendMessage(&message);
            } catch (const RtMidiError& e) {
                say(QStringLiteral("nvbman-kbdsim: send failed: ") + e.getMessage().c_str());
            }
        });
    }

    if (parser.isSet(logOption)) {
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [](bool fromProgram, const QByteArray& message) {
                             const QString line =
                                 QDateTime::currentDateTime().toString("HH:mm:ss.zzz") +
                                 (fromProgram ? " in  " : " out ") + hex(message) + '\n';
                             std::fputs(qPrintable(line), stdout);
                             std::fflush(stdout);
                         });
    }
    if (!statePath.isEmpty()) {
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::memoryChanged, [&] {
            try {
                keyboard.memory().save(statePath);
            } catch (const platform::SystemError& e) {
                say(QStringLiteral("nvbman-kbdsim: ") + e.what());
            }
        });
    }

    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    QTimer stopPoll;
    QObject::connect(&stopPoll, &QTimer::timeout, [] {
        if (stopRequested) {
            QCoreApplication::quit();
        }
    });
    stopPoll.start(50);

    const QString pacing = timing.paced ? ", paced at 31,250 baud" : "";
    if (cable) {
        say(QStringLiteral("MLS-850 simulator ready at the far end of the MIDI cable %1%2. "
                           "Ctrl+C stops it.")
                .arg(rawMidiDevice, pacing));
    } else {
        say(QStringLiteral("MLS-850 simulator ready on %1: input and output port \"%2\"%3. "
                           "Ctrl+C stops it.")
                .arg(api == RtMidi::UNIX_JACK ? "JACK" : "ALSA", QString::fromStdString(portName),
                     pacing));
    }
    return app.exec();
}
