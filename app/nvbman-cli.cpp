// nvbman-cli: the keyboard manager's commands from a terminal, on the same driver, streams,
// message table and settings as the window.

#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <functional>
#include <limits>
#include <optional>

#include "backup/batchjobs.h"
#include "backup/history.h"
#include "backup/keyboardbackup.h"
#include "backup/safetystore.h"
#include "backup/slotaddress.h"
#include "cli/jsonoutput.h"
#include "cli/terminalprogress.h"
#include "data/ekdatafile.h"
#include "ekmidi/midilogtext.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/keyboardprobe.h"
#include "kbddrv/mls850layout.h"
#include "kbdsim/simulatordevice.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "organise/slotedits.h"
#include "organise/undo.h"
#include "platform/cancellation.h"
#include "platform/keyboardsession.h"
#include "platform/midilog.h"
#include "platform/midiservice.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "version.h"

namespace {

enum ExitCode { Success = 0, Failure = 1, BadUsage = 2 };
// No upper bound on a command's arguments (import takes any number of slots).
constexpr int kMaxArguments = std::numeric_limits<int>::max();

const char* const kDescription = R"HELP(Manages the music data of an MLS-850 keyboard over MIDI.

Commands:
  devices               list the MIDI devices: "in N: NAME" lines, then "out N: NAME"
  find                  ask every input/output pair (those whose names belong together first)
                        for the keyboard's kind; prints the first pair an MLS-850 answers on as
                        "in N: NAME" and "out N: NAME" (exit 1 when none does; the built-in
                        keyboard is not tried)
  list [--json]         fetch the keyboard's list: every slot's name, size and presence, and
                        the free song and rhythm memory (--json: one JSON object on stdout)
  import SLOT [SLOT...] [DIR]
                        fetch each SLOT into a new .nvb file of its own in DIR (default: the
                        current folder); prints the file's path (several slots: "SLOT PATH"
                        per saved file; one that fails is reported and the others go on)
  import all [DIR]      fetch every slot that holds data, as above
  send [--verify] FILE SLOT
                        send the .nvb FILE into SLOT (--verify: then fetch the slot again and
                        compare it with FILE)
  delete SLOT           delete the song or user rhythm in SLOT
Commands on given slots (import, send, delete) ask the keyboard only for its kind and those
slots, not for the whole list. --json: one JSON object on stdout instead of text, for every
command, with "error" (code and text) when it fails (schema: man nvbman-cli).
  backup [--replace] DIR
                        import every slot that holds data into DIR, with a manifest
                        (nvbman-backup.json) of which slot each file came from; prints
                        "SLOT PATH" per saved file. A cancelled or failed backup leaves DIR
                        as it was; a DIR that holds a backup already is refused unless
                        --replace is given
  restore [--dry-run] [--exact] DIR
                        send every file of DIR's backup manifest back into its slot; prints
                        "SLOT PATH" per restored file. Each slot is fetched first: one that
                        holds the same item already is not sent again, the item of one that
                        holds another is kept as a copy (see replaced). A file changed since
                        the backup (its SHA-256 is not the manifest's) is not sent.
                        --exact: also delete the songs and rhythms the backup does not have
                        (each kept first; "SLOT deleted").
                        --dry-run: print "SLOT PLAN [FILE]" per slot, PLAN being identical,
                        replace, fill, keep (the keyboard's item that the backup lacks stays),
                        delete (the same with --exact), file-missing or not-compared; nothing
                        is changed
  verify DIR            fetch every slot and compare it with DIR's backup, byte for byte;
                        prints "SLOT VERDICT [FILE]" per slot, the verdict being identical,
                        different, missing-on-keyboard, missing-in-folder or not-compared;
                        exit status 0 only when every slot is identical
  show FILE             print a .nvb file's type, size and name (no keyboard needed)
  replaced [--json]     list the copies kept of what send and delete replaced, newest first
  put-back ID           send kept copy ID back into the slot it came from
  copy SLOT TO          copy the item of SLOT into the slot TO of the same kind
  move SLOT TO          move a song or rhythm into TO; SLOT is left empty
  swap SLOT TO          exchange the items of two slots of one kind (with an empty song or
                        rhythm slot: a move)
  rename SLOT NAME      give the item in SLOT (tone, DSP, song or rhythm) a new name of 1 to 8
                        characters from space to '}'
  history [--json]      list the changes that undo and redo take back, newest first
  undo [--force]        take back the newest change (send, delete, put-back, copy, move, swap,
                        rename, restore): each slot gets back what it held. A slot changed
                        since (by another program or on the keyboard) is refused unless --force
  redo [--force]        do again the newest change that undo took back

Before any command replaces an item or empties a slot, the slot's item is fetched into a kept
copy (~/.local/share/NvbMan/replaced; --no-safety-copy: none, and nothing to undo); the last
50 changes are kept for undo. When a send into a song slot fails
after the old song was deleted, the last lines say which copy holds it.

SLOT is tone:N (0-9), dsp:N (0-9), reg:B.N (bank 0-3, number 0-3), song:N (0-1) or
rhythm:N (0-3).

DEV is a device number as "devices" prints it, or part of a device's name (the first device
whose name contains it, in any case). Without --in/--out the devices chosen in NvbMan's
preferences are used, or device 0 when none were chosen. The software keyboard
"MLS-850 Simulator (built-in)" is always listed last: --in built-in --out built-in tries every
command without the instrument.

Exit status: 0 success; 1 failure (the error's text is the last line on stderr); 2 bad usage.)HELP";

// The command line's options, made once and shared by the parser and the commands.
struct CliOptions {
    QCommandLineOption in{"in", "MIDI input device: number or part of its name.", "DEV"};
    QCommandLineOption out{"out", "MIDI output device: number or part of its name.", "DEV"};
    QCommandLineOption quiet{"quiet", "No progress output."};
    QCommandLineOption verbose{"verbose",
                               "Print every MIDI message on stderr, decoded, and say when a "
                               "request was asked again after its answer was lost."};
    QCommandLineOption log{"log", "Write every MIDI message, decoded, to FILE.", "FILE"};
    QCommandLineOption json{"json",
                            "Print one JSON object on stdout instead of text, also when the "
                            "command fails (schema: man nvbman-cli)."};
    QCommandLineOption replace{"replace", "backup: replace the backup that DIR holds already."};
    QCommandLineOption noSafetyCopy{
        "no-safety-copy",
        "send, delete, restore: keep no copy of what the slot held before (nothing to undo)."};
    QCommandLineOption verify{"verify",
                              "send: fetch the slot again afterwards and compare it with FILE."};
    QCommandLineOption dryRun{"dry-run",
                              "restore: say per slot what a restore would do; change nothing."};
    QCommandLineOption exact{"exact",
                             "restore: also delete the songs and rhythms the backup does not "
                             "have (each kept as a copy first)."};
    QCommandLineOption period{
        "period",
        "On PipeWire's JACK: the graph period to ask for while the command runs, in frames at "
        "48 kHz (0: ask nothing). Default: NVBMAN_PIPEWIRE_PERIOD, else the preferences' (256).",
        "FRAMES"};
    QCommandLineOption force{"force",
                             "undo, redo: also when a slot was changed since (what it holds "
                             "now is kept first)."};

    QList<QCommandLineOption> all() const {
        return {in,           out,    quiet,  verbose, log,   json,  replace,
                noSafetyCopy, verify, dryRun, exact,   force, period};
    }
};

// A failure as --json reports it: a word that scripts can rely on, and the text.
struct CommandFailure {
    QString code;
    QString text;
};

class UsageError {
public:
    explicit UsageError(QString text) : text(std::move(text)) {}
    QString text;
};

QTextStream& out() {
    static QTextStream stream(stdout);
    return stream;
}

void printError(const QString& text) {
    out().flush();
    std::fputs(qPrintable(text + '\n'), stderr);
    std::fflush(stderr);
}

QString typeWord(std::uint16_t type) {
    switch (type) {
        case DataType::Tone:
            return "Tone";
        case DataType::DSP:
            return "DSP";
        case DataType::Song:
            return "Song";
        case DataType::Rhythm:
            return "Rhythm";
        case DataType::Registration:
            return "Registration";
        case DataType::Keyboard:
            return "Keyboard";
        default:
            return "unknown";
    }
}

// A keyboard's text as a terminal may show it: a control character (a newline would split a
// table row, an escape sequence would reach the terminal) is written as \xNN. JSON output
// escapes them itself.
QString printable(const QString& text) {
    QString shown;
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code < 0xA0)) {
            shown += QString("\\x%1").arg(int(code), 2, 16, QLatin1Char('0'));
        } else {
            shown += c;
        }
    }
    return shown;
}

// A device by number or by part of its name.
int resolveDevice(const QString& given, const QStringList& names, const char* direction) {
    bool isNumber = false;
    const int number = given.toInt(&isNumber);
    if (isNumber) {
        if (number < 0 || number >= names.size()) {
            throw platform::SystemError(
                QString("There is no MIDI %1 device %2 (see: nvbman-cli devices).")
                    .arg(direction)
                    .arg(number)
                    .toStdString());
        }
        return number;
    }
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].contains(given, Qt::CaseInsensitive)) {
            return i;
        }
    }
    QString text = QString("No MIDI %1 device matches \"%2\" (see: nvbman-cli devices).")
                       .arg(direction, given);
    if (const QString problem = platform::MidiService::instance().systemProblem();
        !problem.isEmpty()) {
        text += " " + problem;
    }
    throw platform::SystemError(text.toStdString());
}

class Cli {
public:
    Cli(const QCommandLineParser& parser, const CliOptions& options)
        : parser_(parser),
          inOption_(options.in),
          outOption_(options.out),
          replace_(parser.isSet(options.replace)),
          noSafetyCopy_(parser.isSet(options.noSafetyCopy)),
          json_(parser.isSet(options.json)),
          verify_(parser.isSet(options.verify)),
          dryRun_(parser.isSet(options.dryRun)),
          exact_(parser.isSet(options.exact)),
          force_(parser.isSet(options.force)),
          verbose_(parser.isSet(options.verbose)),
          logPath_(parser.value(options.log)),
          periodGiven_(parser.value(options.period)),
          progress_(!parser.isSet(options.quiet) && isatty(STDERR_FILENO) != 0) {
        driver_.attachObserver(&progress_);
        if (verbose_) {
            driver_.setRetryListener([this] {
                progress_.finish();  // the bar comes back with the next step
                printError("nvbman-cli: a request's answer was lost; asking again.");
            });
        }
    }

    ~Cli() {
        if (logListener_ != 0) {
            platform::MidiLog::instance().removeListener(logListener_);
        }
    }

    int run(const QStringList& args) {
        if (verbose_ || !logPath_.isEmpty()) {
            startMidiLog(logPath_);
        }
        // Before the first enumeration: the MIDI system's clients ask for it as they open.
        platform::MidiService::instance().setPeriodRequest(periodRequest(periodGiven_));
        const QString command = args.value(0);
        const QStringList rest = args.mid(1);
        if (command == "devices") {
            expectArguments(rest, 0, 0);
            return devices();
        }
        if (command == "find") {
            expectArguments(rest, 0, 0);
            return find();
        }
        if (command == "show") {
            expectArguments(rest, 1, 1);
            return show(rest[0]);
        }
        if (command == "list") {
            expectArguments(rest, 0, 0);
            return list();
        }
        if (command == "import") {
            return importSlots(rest);
        }
        if (command == "send") {
            expectArguments(rest, 2, 2);
            return send(rest[0], slotArgument(rest[1]));
        }
        if (command == "delete") {
            expectArguments(rest, 1, 1);
            const SlotAddress wanted = slotArgument(rest[0]);
            // The keyboard deletes only songs and user rhythms; its driver would refuse any
            // other slot with the text for an unknown keyboard, which says nothing useful here.
            if (!wanted.canBeEmptied()) {
                throw UsageError("only song and rhythm slots can be deleted ('" + rest[0] +
                                 "' is not one)");
            }
            return remove(wanted);
        }
        if (command == "replaced") {
            expectArguments(rest, 0, 0);
            return replaced();
        }
        if (command == "put-back") {
            expectArguments(rest, 1, 1);
            return putBack(rest[0]);
        }
        if (command == "backup") {
            expectArguments(rest, 1, 1);
            return backup(rest[0]);
        }
        if (command == "restore") {
            expectArguments(rest, 1, 1);
            return restore(rest[0]);
        }
        if (command == "verify") {
            expectArguments(rest, 1, 1);
            return verify(rest[0]);
        }
        for (const organise::Edit edit :
             {organise::Edit::Copy, organise::Edit::Move, organise::Edit::Swap}) {
            if (command == organise::actionOf(edit)) {
                expectArguments(rest, 2, 2);
                return editSlots(edit, slotArgument(rest[0]), slotArgument(rest[1]));
            }
        }
        if (command == "rename") {
            expectArguments(rest, 2, 2);
            return rename(slotArgument(rest[0]), rest[1]);
        }
        if (command == "history") {
            expectArguments(rest, 0, 0);
            return history();
        }
        if (command == "undo" || command == "redo") {
            expectArguments(rest, 0, 0);
            return reverse(command == "undo");
        }
        throw UsageError(command.isEmpty() ? "no command given"
                                           : "unknown command '" + command + "'");
    }

private:
    // --period, else NVBMAN_PIPEWIRE_PERIOD, else the preferences' value.
    static int periodRequest(const QString& given) {
        const QString text =
            !given.isEmpty() ? given : qEnvironmentVariable("NVBMAN_PIPEWIRE_PERIOD");
        if (text.isEmpty()) {
            platform::SettingsStore store;
            return store.hasRunBefore() ? store.load().pipeWirePeriod
                                        : platform::kDefaultPipeWirePeriod;
        }
        bool isNumber = false;
        const int frames = text.toInt(&isNumber);
        if (!isNumber || frames < 0 || frames > platform::kMaxPipeWirePeriod) {
            throw UsageError(QString("'%1' is no period (0 to %2 frames)")
                                 .arg(text)
                                 .arg(platform::kMaxPipeWirePeriod));
        }
        return frames;
    }

    static void expectArguments(const QStringList& args, int least, int most) {
        if (args.size() < least) {
            throw UsageError("missing argument");
        }
        if (args.size() > most) {
            throw UsageError("unexpected argument '" + args[most] + "'");
        }
    }

    // "tone:12" is a mistyped slot, not a folder (write "./tone:12" for a folder of that name).
    static bool looksLikeSlot(const QString& text) {
        static const QRegularExpression shape(
            QRegularExpression::anchoredPattern(QStringLiteral("[a-z]+:[0-9.]+")));
        return shape.match(text).hasMatch();
    }

    static SlotAddress slotArgument(const QString& text) {
        const auto wanted = SlotAddress::parse(text);
        if (!wanted) {
            throw UsageError("'" + text +
                             "' is not a slot (tone:N, dsp:N, reg:B.N, song:N, rhythm:N)");
        }
        return *wanted;
    }

    // The devices of --in/--out, else those of the settings store (by name when the numbering
    // has changed since), else 0. One enumeration per command: every open below opens the
    // device of that enumeration by its name.
    void chooseDevices() {
        auto& service = platform::MidiService::instance();
        const QStringList inputs = service.inputDevices();
        const QStringList outputs = service.outputDevices();
        platform::Settings stored;
        const bool bothGiven = parser_.isSet(inOption_) && parser_.isSet(outOption_);
        if (!bothGiven) {
            platform::SettingsStore store;
            if (store.hasRunBefore()) {
                stored = store.load();
            }
        }
        input_ = parser_.isSet(inOption_)
                     ? resolveDevice(parser_.value(inOption_), inputs, "input")
                     : service.storedInput(stored.inputDevice, stored.inputDeviceName);
        output_ = parser_.isSet(outOption_)
                      ? resolveDevice(parser_.value(outOption_), outputs, "output")
                      : service.storedOutput(stored.outputDevice, stored.outputDeviceName);
        // From here to the command's end no other program of this user talks to the keyboard.
        session_.emplace(output_);
    }

    void getList() {
        chooseDevices();
        progress_.start("Get list", driver_.progressTotal());
        driver_.getList(input_, output_);
        progress_.finish();
    }

    // Only what a command on given slots needs: the devices, the keyboard's kind and those
    // slots (a handful of requests instead of the whole listing's).
    void getSlots(const std::vector<SlotAddress>& wanted) {
        chooseDevices();
        std::vector<EkData*> slots;
        for (const SlotAddress& address : wanted) {
            slots.push_back(slotOf(address).slot);
        }
        driver_.getSlots(input_, output_, slots);
    }

    // --json: the command's object, printed once the command has ended (see printResult).
    void printJson(const QJsonObject& object) { result_ = object; }

    SlotInTree slotOf(const SlotAddress& wanted) {
        SlotInTree found = findSlot(driver_, wanted);
        if (found.slot == nullptr) {
            throw platform::SystemError("The keyboard has no slot " + wanted.text().toStdString() +
                                        ".");
        }
        return found;
    }

    int devices() {
        auto& service = platform::MidiService::instance();
        const QStringList inputs = service.inputDevices();
        const QStringList outputs = service.outputDevices();
        if (json_) {
            printJson(jsonoutput::devices(inputs, outputs));
        } else {
            for (int i = 0; i < inputs.size(); ++i) {
                out() << "in " << i << ": " << inputs[i] << '\n';
            }
            for (int i = 0; i < outputs.size(); ++i) {
                out() << "out " << i << ": " << outputs[i] << '\n';
            }
        }
        if (const QString problem = service.systemProblem(); !problem.isEmpty()) {
            printError("nvbman-cli: " + problem);
        }
        return Success;
    }

    // Every input/output pair (those whose names belong together first) until an MLS-850
    // answers; the built-in keyboard is not tried.
    int find() {
        auto& service = platform::MidiService::instance();
        const QStringList inputs = service.inputDevices();
        const QStringList outputs = service.outputDevices();
        const auto pair = probe::findKeyboard(
            inputs, outputs, service.builtInName(), [&](const probe::Pair& tried) {
                if (verbose_) {
                    printError(QString("nvbman-cli: trying in %1: %2 with out %3: %4")
                                   .arg(tried.input)
                                   .arg(inputs[tried.input])
                                   .arg(tried.output)
                                   .arg(outputs[tried.output]));
                }
            });
        if (!pair) {
            throw platform::SystemError("No MLS-850 answered on any pair of MIDI devices.");
        }
        if (json_) {
            printJson({{"input", jsonoutput::device(pair->input, inputs[pair->input])},
                       {"output", jsonoutput::device(pair->output, outputs[pair->output])}});
            return Success;
        }
        out() << "in " << pair->input << ": " << inputs[pair->input] << '\n'
              << "out " << pair->output << ": " << outputs[pair->output] << '\n';
        return Success;
    }

    int show(const QString& file) {
        EkDataFile item(DataType::NoType);
        NvbFileStream(file, NvbFileStream::OpenRead).read(item);
        if (json_) {
            printJson({{"file", QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())},
                       {"type", item.type()},
                       {"typeName", typeWord(item.type())},
                       {"size", qint64(item.size())},
                       {"name", transfer::keyboardText(item.name())}});
            return Success;
        }
        out() << "type: " << item.type() << " (" << typeWord(item.type()) << ")\n"
              << "size: " << item.size() << '\n'
              << "name: \"" << printable(transfer::keyboardText(item.name())) << "\"\n";
        return Success;
    }

    int list() {
        getList();
        const auto slots = allSlots(driver_);
        if (json_) {
            QJsonObject root;
            root["model"] = transfer::keyboardText(driver_.root().name());
            EkDataDrive* songs = driver_.findArea(mls850::kSongRhythmArea);
            root["freeMemory"] = songs != nullptr ? songs->freeSpace() : 0;
            QJsonArray areas;
            for (int i = 0; i < driver_.areaCount(); ++i) {
                const EkDataDrive* area = driver_.findArea(driver_.areaName(i));
                areas.append(QJsonObject{{"name", transfer::keyboardText(area->name())},
                                         {"type", area->type()},
                                         {"capacity", area->capacity()},
                                         {"freeSpace", area->freeSpace()},
                                         {"usedSpace", area->usedSpace()}});
            }
            root["areas"] = areas;
            QJsonArray entries;
            for (const auto& [wanted, where] : slots) {
                const EkData& slot = *where.slot;
                entries.append(QJsonObject{{"slot", wanted.text()},
                                           {"area", where.area},
                                           {"folder", where.folder},
                                           {"type", slot.type()},
                                           {"bank", slot.bank()},
                                           {"number", slot.number()},
                                           {"name", transfer::keyboardText(slot.name())},
                                           {"size", qint64(slot.size())},
                                           {"present", slot.isPresent()}});
            }
            root["slots"] = entries;
            printJson(root);
            return Success;
        }
        QString area;
        for (const auto& [wanted, where] : slots) {
            if (where.area != area) {
                area = where.area;
                const EkDataDrive* drive = driver_.findArea(area.toStdString());
                out() << area << "  used " << drive->usedSpace() << " of " << drive->capacity()
                      << " bytes, " << drive->freeSpace() << " free\n";
            }
            const EkData& slot = *where.slot;
            out() << QString("  %1 %2 %3 %4\n")
                         .arg(wanted.text(), -10)
                         .arg("\"" + printable(transfer::keyboardText(slot.name())) + "\"", -11)
                         .arg(slot.size(), 6)
                         .arg(slot.isPresent() ? "" : "(empty)");
        }
        return Success;
    }

    QString fetch(const SlotAddress& wanted, const QString& folder) {
        const SlotInTree where = slotOf(wanted);
        if (!where.slot->isPresent()) {
            throw platform::SystemError("The slot " + wanted.text().toStdString() +
                                        " is empty: there is nothing to import.");
        }
        progress_.start("Import", int(where.slot->size()));
        QString path;
        retrying(wanted, [&] {
            path =
                transfer::importSlot(*where.slot, where.directoryPath, folder, link(), &progress_);
        });
        progress_.finish();
        return path;
    }

    // import SLOT [SLOT...] [DIR] and import all [DIR]. One slot keeps the single import's
    // output (the file's path); several, or all, print "SLOT PATH" per saved file.
    int importSlots(QStringList args) {
        expectArguments(args, 1, kMaxArguments);
        QString folder = QDir::currentPath();
        const bool all = args[0] == "all";
        if (all) {
            expectArguments(args, 1, 2);
            folder = args.value(1, folder);
        } else if (args.size() > 1 && !looksLikeSlot(args.last())) {
            folder = args.takeLast();
        }
        std::vector<SlotAddress> wanted;
        for (const QString& text : all ? QStringList() : args) {
            const SlotAddress slot = slotArgument(text);
            if (std::find(wanted.begin(), wanted.end(), slot) != wanted.end()) {
                throw UsageError("slot '" + text + "' is given twice");
            }
            wanted.push_back(slot);
        }
        transfer::requireFolder(folder);
        if (all) {
            getList();
            for (const auto& [address, where] : allSlots(driver_)) {
                if (where.slot->isPresent()) {
                    wanted.push_back(address);
                }
            }
        } else {
            getSlots(wanted);
        }
        if (wanted.size() == 1 && !all) {
            const QString path = fetch(wanted.front(), folder);
            if (json_) {
                backup::Outcome outcome{wanted.front(), QFileInfo(path).fileName()};
                outcome.retried = retried_;
                printJson(jsonoutput::jobOutcomes(folder, {outcome}));
            } else {
                out() << QDir::toNativeSeparators(path) << '\n';
            }
            return Success;
        }
        progress_.start("Import", 0);
        const auto outcomes = batch::importSlots(link(), wanted, folder, messages_, &progress_);
        return report(outcomes, folder, "not imported");
    }

    // One item's transfer, once more from its start when the first try lost an answer (as a
    // whole-keyboard job tries each of its items); --verbose says so.
    void retrying(const SlotAddress& slot, const std::function<void()>& moveItem) {
        const bool again = transfer::withRetry(moveItem, [&] {
            if (verbose_) {
                progress_.finish();  // the bar comes back with the next step
                printError("nvbman-cli: " + slot.text() +
                           ": an answer was lost; trying the item again from its start.");
            }
        });
        retried_ = retried_ || again;
    }

    // Before a send or a delete: what the slot holds now goes into the safety store, unless
    // --no-safety-copy. A copy that cannot be made stops the command before anything changes.
    std::optional<safety::Copy> keepCopy(safety::ChangeRecord* record, const SlotInTree& where,
                                         safety::Why why, const QString& replacedBy) {
        if (record == nullptr || !where.slot->isPresent()) {
            return std::nullopt;
        }
        progress_.start("Keep a copy", int(where.slot->size()));
        std::optional<safety::Copy> copy;
        retrying(SlotAddress::of(*where.slot), [&] {
            copy = record->fetchAndKeep(link(), *where.slot, where.directoryPath, why, replacedBy,
                                        &progress_);
        });
        progress_.finish();
        return copy;
    }

    int send(const QString& file, const SlotAddress& wanted) {
        EkDataFile item(DataType::NoType);
        transfer::loadFile(file, item);
        return sendLoaded(item, file, wanted, "send");
    }

    // What the command changes, for undo; null with --no-safety-copy.
    std::unique_ptr<safety::ChangeRecord> changeRecord(const QString& action,
                                                       const QStringList& subjects) {
        if (noSafetyCopy_) {
            return nullptr;
        }
        return std::make_unique<safety::ChangeRecord>(store_, action, subjects);
    }

    // Sends `item`, read from `file`, into the slot: the history's `action`.
    int sendLoaded(EkDataFile& item, const QString& file, const SlotAddress& wanted,
                   const QString& action) {
        getSlots({wanted});
        const SlotInTree where = slotOf(wanted);
        const auto record = changeRecord(action, {wanted.text()});
        const auto copy =
            keepCopy(record.get(), where, safety::Why::Send, QFileInfo(file).absoluteFilePath());
        progress_.start("Send", int(item.size()));
        try {
            retrying(wanted, [&] {
                transfer::sendItem(item, *where.slot, where.directoryPath, link(), &progress_);
            });
        } catch (const transfer::SongSlotEmptied&) {
            // The slot is empty now: say so, and where its old song is kept.
            progress_.finish();
            failure_ = {currentErrorCode(), currentErrorText(messages_)};
            printError(failure_.text);
            if (copy) {
                const QString kept = safety::keptCopyText(*copy, store_, messages_);
                printError(kept);
                failure_.text += '\n' + kept;
            }
            return Failure;
        }
        if (record) {
            record->left(wanted, &item);
            record->commit();
        }
        progress_.finish();
        if (verify_) {
            progress_.start("Verify", int(item.size()));
            retrying(wanted, [&] {
                transfer::checkSent(item, *where.slot, where.directoryPath, link(), &progress_);
            });
            progress_.finish();
        }
        if (json_) {
            printJson({{"slot", wanted.text()},
                       {"file", QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath())},
                       {"name", transfer::keyboardText(item.name())},
                       {"size", qint64(item.size())},
                       {"verified", verify_},
                       {"retried", retried_},
                       {"keptCopy", copy ? QJsonValue(qint64(copy->id)) : QJsonValue()}});
        }
        return Success;
    }

    int remove(const SlotAddress& wanted) {
        getSlots({wanted});
        const SlotInTree where = slotOf(wanted);
        const QString name = transfer::keyboardText(where.slot->name());
        const auto record = changeRecord("delete", {wanted.text()});
        const auto copy = keepCopy(record.get(), where, safety::Why::Delete, {});
        driver_.deleteData(*where.slot);
        if (record) {
            record->left(wanted, nullptr);
            record->commit();
        }
        if (json_) {
            printJson({{"slot", wanted.text()},
                       {"name", name},
                       {"keptCopy", copy ? QJsonValue(qint64(copy->id)) : QJsonValue()}});
        }
        return Success;
    }

    int replaced() {
        const std::vector<safety::Copy> copies = store_.copies();
        if (json_) {
            QJsonArray items;
            for (const safety::Copy& copy : copies) {
                // The index's object, with the file's whole path for scripts.
                QJsonObject item = safety::toJson(copy);
                item.remove("replacedBy");
                item["file"] = store_.filePath(copy);
                items.append(item);
            }
            printJson({{"items", items}});
            return Success;
        }
        for (const safety::Copy& copy : copies) {
            out() << QString("%1  %2  %3 %4 %5 %6  %7\n")
                         .arg(copy.id, 4)
                         .arg(copy.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"))
                         .arg(copy.slot.text(), -10)
                         .arg("\"" + printable(copy.name) + "\"", -11)
                         .arg(copy.size, 6)
                         .arg(safety::whyText(copy.why), -6)
                         .arg(QDir::toNativeSeparators(store_.filePath(copy)));
        }
        return Success;
    }

    int putBack(const QString& idText) {
        bool isNumber = false;
        const safety::CopyId id = idText.toLongLong(&isNumber);
        if (!isNumber) {
            throw UsageError("'" + idText + "' is not the number of a kept copy");
        }
        const auto copy = store_.find(id);
        if (!copy) {
            throw platform::SystemError("There is no kept copy " + idText.toStdString() +
                                        " (see: nvbman-cli replaced).");
        }
        // Exactly the bytes whose hash was checked are sent.
        EkDataFile item(DataType::NoType);
        store_.loadChecked(*copy, item);
        return sendLoaded(item, store_.filePath(*copy), copy->slot, "put-back");
    }

    // Every present slot into its own file and the manifest; restore puts them back. A slot
    // that fails is reported and the others go on; the last failure's text ends the output.
    int backup(const QString& folder) {
        transfer::requireFolder(folder);
        getList();
        progress_.start("Backup", 0);
        const auto outcomes =
            backup::backupKeyboard(link(), folder, messages_, &progress_, replace_);
        return report(outcomes, folder, "not saved");
    }

    int restore(const QString& folder) {
        const backup::Manifest manifest = backup::Manifest::read(folder);
        if (dryRun_) {
            return restorePlan(manifest, folder);
        }
        getList();
        progress_.start("Restore", 0);
        const QDateTime started = QDateTime::currentDateTimeUtc();
        std::vector<backup::Outcome> outcomes;
        try {
            const auto record = changeRecord("restore", {QDir(folder).absolutePath()});
            outcomes = backup::restoreKeyboard(link(), manifest, folder, messages_, &progress_,
                                               record.get(), exact_);
            if (record) {
                record->commit();
            }
        } catch (...) {
            // Stopped: say where what it had replaced already is.
            sayKeptSince(started);
            throw;
        }
        const int status = report(outcomes, folder, "not restored");
        const auto count = [&](auto predicate) {
            return std::count_if(outcomes.begin(), outcomes.end(), predicate);
        };
        const auto identical = count([](const backup::Outcome& o) { return o.identical; });
        const auto kept = count([](const backup::Outcome& o) { return o.keptCopy != 0; });
        if (!json_ && (identical > 0 || kept > 0)) {
            printError(QString("nvbman-cli: not sent, the same already: %1 slots; kept before "
                               "being replaced: %2 items (see: nvbman-cli replaced).")
                           .arg(identical)
                           .arg(kept));
        }
        return status;
    }

    // The copies a restore kept since `started`, when it stopped midway.
    void sayKeptSince(const QDateTime& started) {
        QStringList ids;
        try {
            for (const safety::Copy& copy : store_.copies()) {
                if (copy.time >= started) {
                    ids.prepend(QString::number(copy.id));
                }
            }
        } catch (const platform::SystemError&) {
            return;  // a damaged list: "replaced" says so
        }
        if (!ids.isEmpty()) {
            progress_.finish();
            printError(QString("nvbman-cli: the restore stopped; what it had replaced is kept as "
                               "%1 %2 (nvbman-cli put-back ID).")
                           .arg(ids.size() == 1 ? "copy" : "copies", ids.join(", ")));
        }
    }

    // restore --dry-run: what a restore would do with each slot, from a comparison of every
    // slot with the backup; the keyboard is not changed.
    int restorePlan(const backup::Manifest& manifest, const QString& folder) {
        getList();
        progress_.start("Compare", 0);
        const auto comparisons =
            backup::compareWithBackup(link(), manifest, folder, messages_, &progress_);
        progress_.finish();
        QJsonArray items;
        QString lastError;
        for (const backup::Comparison& comparison : comparisons) {
            const QString plan = planWord(comparison);
            const QString path =
                comparison.file.isEmpty()
                    ? QString()
                    : QDir::toNativeSeparators(QDir(folder).absoluteFilePath(comparison.file));
            items.append(
                QJsonObject{{"slot", comparison.slot.text()},
                            {"plan", plan},
                            {"file", path.isEmpty() ? QJsonValue() : QJsonValue(path)},
                            {"error", comparison.error.isEmpty() ? QJsonValue()
                                                                 : QJsonValue(comparison.error)}});
            if (!json_) {
                out() << comparison.slot.text() << ' ' << plan
                      << (path.isEmpty() ? QString() : ' ' + path) << '\n';
            }
            if (plan == "not-compared" || plan == "file-missing") {
                lastError = comparison.error.isEmpty()
                                ? QString("The backup's file for %1 is missing.")
                                      .arg(comparison.slot.text())
                                : comparison.error;
                printError("nvbman-cli: " + comparison.slot.text() +
                           " cannot be restored: " + lastError);
            }
        }
        if (json_) {
            printJson({{"folder", QDir::toNativeSeparators(QDir(folder).absolutePath())},
                       {"items", items}});
        }
        if (!lastError.isEmpty()) {
            failure_ = {QStringLiteral("items-failed"), lastError};
            printError(lastError);
            return Failure;
        }
        return Success;
    }

    // What a restore does with a slot that stands so against the backup.
    QString planWord(const backup::Comparison& comparison) const {
        switch (comparison.verdict) {
            case backup::Verdict::Identical:
                return "identical";
            case backup::Verdict::Different:
                return "replace";
            case backup::Verdict::MissingOnKeyboard:
                return "fill";
            case backup::Verdict::MissingInFolder:
                // The keyboard's own item, which the backup lacks, stays (an exact restore
                // deletes a song or rhythm); a backup whose file is gone cannot put that slot
                // back.
                if (!comparison.file.isEmpty()) {
                    return "file-missing";
                }
                return exact_ && comparison.slot.canBeEmptied() ? "delete" : "keep";
            case backup::Verdict::NotCompared:
                break;
        }
        return "not-compared";
    }

    int verify(const QString& folder) {
        const backup::Manifest manifest = backup::Manifest::read(folder);
        getList();
        progress_.start("Verify", 0);
        const auto comparisons =
            backup::compareWithBackup(link(), manifest, folder, messages_, &progress_);
        progress_.finish();
        int differing = 0;
        QString lastError;
        QStringList retried;
        QJsonArray items;
        for (const backup::Comparison& comparison : comparisons) {
            if (comparison.retried) {
                retried << comparison.slot.text();
            }
            const QString path =
                comparison.file.isEmpty()
                    ? QString()
                    : QDir::toNativeSeparators(QDir(folder).absoluteFilePath(comparison.file));
            items.append(QJsonObject{
                {"slot", comparison.slot.text()},
                {"verdict", verdictWord(comparison.verdict)},
                {"file", path.isEmpty() ? QJsonValue() : QJsonValue(path)},
                {"error", comparison.error.isEmpty() ? QJsonValue() : QJsonValue(comparison.error)},
                {"retried", comparison.retried}});
            if (!json_) {
                out() << comparison.slot.text() << ' ' << verdictWord(comparison.verdict)
                      << (path.isEmpty() ? QString() : ' ' + path) << '\n';
            }
            if (comparison.verdict != backup::Verdict::Identical) {
                ++differing;
            }
            if (!comparison.error.isEmpty()) {
                lastError = comparison.error;
                printError("nvbman-cli: " + comparison.slot.text() +
                           " not compared: " + comparison.error);
            }
        }
        if (json_) {
            printJson({{"folder", QDir::toNativeSeparators(QDir(folder).absolutePath())},
                       {"items", items}});
        }
        if (!retried.isEmpty()) {
            printError("nvbman-cli: " + messages_.retriedText(retried.join(", ")));
        }
        if (differing > 0) {
            failure_ = {QStringLiteral("different"),
                        lastError.isEmpty() ? QString("%1 of %2 slots differ from the backup.")
                                                  .arg(differing)
                                                  .arg(comparisons.size())
                                            : lastError};
            printError(failure_.text);
            return Failure;
        }
        return Success;
    }

    // copy, move, swap: refused before any traffic when the two slots cannot take part.
    int editSlots(organise::Edit edit, const SlotAddress& from, const SlotAddress& to) {
        if (from == to || from.kind != to.kind) {
            throw UsageError(QString("%1 needs two different slots of one kind ('%2', '%3')")
                                 .arg(organise::actionOf(edit), from.text(), to.text()));
        }
        if (edit == organise::Edit::Move && !from.canBeEmptied()) {
            throw UsageError("only songs and rhythms can be moved; a " + from.kind +
                             " can be copied or swapped");
        }
        requireSafetyCopies(organise::actionOf(edit));
        getSlots({from, to});
        safety::ChangeRecord record(store_, organise::actionOf(edit), {from.text(), to.text()});
        progress_.start(qPrintable(organise::actionOf(edit)), 0);
        organise::editSlots(link(), edit, from, to, record, messages_, &progress_);
        record.commit();
        return changed();
    }

    int rename(const SlotAddress& slot, const QString& name) {
        try {
            organise::checkName(name);
        } catch (const platform::SystemError& e) {
            throw UsageError(QString::fromStdString(e.what()));
        }
        requireSafetyCopies("rename");
        getSlots({slot});
        safety::ChangeRecord record(store_, "rename", {slot.text(), name});
        progress_.start("Rename", 0);
        organise::renameSlot(link(), slot, name, record, messages_, &progress_);
        record.commit();
        return changed();
    }

    // An edit keeps what it replaces, always: it is what undo puts back.
    void requireSafetyCopies(const QString& command) const {
        if (noSafetyCopy_) {
            throw UsageError(command + " always keeps what it replaces (no --no-safety-copy)");
        }
    }

    // The change just made, as history lists it.
    int changed() {
        progress_.finish();
        const auto latest = safety::History(store_.folder()).undoable();
        if (!latest.empty()) {
            if (json_) {
                printJson({{"change", safety::toJson(latest.front())}});
            } else {
                out() << safety::titleOf(latest.front()) << '\n';
            }
        }
        return Success;
    }

    int history() {
        const safety::History history(store_.folder());
        const std::vector<safety::Change> undoable = history.undoable();
        const std::vector<safety::Change> redoable = history.redoable();
        if (json_) {
            QJsonArray undo;
            QJsonArray redo;
            for (const safety::Change& change : undoable) {
                undo.append(safety::toJson(change));
            }
            for (const safety::Change& change : redoable) {
                redo.append(safety::toJson(change));
            }
            printJson({{"undo", undo}, {"redo", redo}});
            return Success;
        }
        const auto list = [](const char* word, const std::vector<safety::Change>& changes) {
            for (const safety::Change& change : changes) {
                out() << QString("%1 %2  %3  %4\n")
                             .arg(word)
                             .arg(change.id, 4)
                             .arg(change.time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss"))
                             .arg(printable(safety::titleOf(change)));
            }
        };
        list("undo", undoable);
        list("redo", redoable);
        return Success;
    }

    // undo (`undoing`) or redo of the newest change.
    int reverse(bool undoing) {
        const safety::History history(store_.folder());
        const std::vector<safety::Change> changes =
            undoing ? history.undoable() : history.redoable();
        if (changes.empty()) {
            throw platform::SystemError(undoing ? "There is nothing to undo."
                                                : "There is nothing to redo.");
        }
        const safety::Change& change = changes.front();
        getSlots(organise::slotsOf(change));
        progress_.start(undoing ? "Undo" : "Redo", 0);
        try {
            organise::reverseChange(link(), store_, change, undoing, force_, messages_, &progress_);
        } catch (const organise::ChangedSince& e) {
            progress_.finish();
            throw platform::SystemError(std::string(e.what()) + " nvbman-cli " +
                                        (undoing ? "undo" : "redo") +
                                        " --force takes it back all the same (what the slot "
                                        "holds now is kept first).");
        }
        progress_.finish();
        const QString title = safety::titleOf(change);
        if (json_) {
            printJson({{undoing ? "undone" : "redone", safety::toJson(change)}});
        } else {
            out() << (undoing ? "Undone: " : "Redone: ") << title << '\n';
        }
        return Success;
    }

    // The MIDI log's lines on stderr (--verbose) and in a file (--log).
    void startMidiLog(const QString& path) {
        if (!path.isEmpty()) {
            logFile_ = std::make_unique<QFile>(path);
            if (!logFile_->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
                throw platform::FileError(platform::ErrorCode::CannotWrite, path,
                                          logFile_->errorString());
            }
        }
        auto& log = platform::MidiLog::instance();
        log.setRecording(true);
        logListener_ = log.addListener([this](const platform::MidiLog::Entry& entry) {
            const QString line = midilogtext::lineOf(entry);
            if (verbose_) {
                progress_.finish();  // the bar comes back with the next step
                printError("nvbman-cli: " + line);
            }
            if (logFile_) {
                logFile_->write((line + '\n').toUtf8());
                logFile_->flush();
            }
        });
    }

    static QString verdictWord(backup::Verdict verdict) {
        switch (verdict) {
            case backup::Verdict::Identical:
                return "identical";
            case backup::Verdict::Different:
                return "different";
            case backup::Verdict::MissingOnKeyboard:
                return "missing-on-keyboard";
            case backup::Verdict::MissingInFolder:
                return "missing-in-folder";
            case backup::Verdict::NotCompared:
                break;
        }
        return "not-compared";
    }

    int report(const std::vector<backup::Outcome>& outcomes, const QString& folder,
               const char* failure) {
        progress_.finish();
        if (json_) {
            printJson(jsonoutput::jobOutcomes(folder, outcomes));
        }
        QString lastError;
        QStringList retried;
        for (const backup::Outcome& outcome : outcomes) {
            if (outcome.retried) {
                retried << outcome.slot.text();
            }
            if (!outcome.warning.isEmpty()) {
                printError("nvbman-cli: " + outcome.slot.text() + " " + outcome.warning);
            }
            if (outcome.error.isEmpty()) {
                if (!json_) {
                    out() << outcome.slot.text() << ' '
                          << (outcome.removed
                                  ? QStringLiteral("deleted")
                                  : QDir::toNativeSeparators(QDir(folder).filePath(outcome.file)))
                          << '\n';
                }
            } else {
                lastError = outcome.error;
                printError("nvbman-cli: " + outcome.slot.text() + " " + failure + ": " +
                           outcome.error);
            }
        }
        if (!retried.isEmpty()) {
            printError("nvbman-cli: " + messages_.retriedText(retried.join(", ")));
        }
        if (!lastError.isEmpty()) {
            failure_ = {QStringLiteral("items-failed"), lastError};
            printError(lastError);
            return Failure;
        }
        return Success;
    }

    const QCommandLineParser& parser_;
    const QCommandLineOption& inOption_;
    const QCommandLineOption& outOption_;
    bool replace_;
    bool noSafetyCopy_;
    bool json_;
    bool verify_;
    bool dryRun_;
    bool exact_;
    bool force_;
    bool verbose_;
    QString logPath_;
    QString periodGiven_;
    int logListener_ = 0;
    bool retried_ = false;    // a single item's transfer was tried twice
    QJsonObject result_;      // --json: what the command found or did
    CommandFailure failure_;  // why a command that returned Failure failed
    safety::Store store_;
    MsgStr messages_;
    TerminalProgress progress_;
    EkKbdDrv& driver_ = EkKbdDrv::instance(mls850::kModel);
    int input_ = 0;
    int output_ = 0;
    std::optional<platform::KeyboardSession> session_;
    std::unique_ptr<QFile> logFile_;

    KeyboardLink link() { return {driver_, input_, output_}; }

public:
    // The command has ended: the keyboard itself must not have failed meanwhile.
    void finish() {
        if (session_) {
            session_->finish();
        }
    }

    // Why the command failed, when it returned Failure without an exception.
    const CommandFailure& failure() const { return failure_; }

    // --json: one object on stdout, whatever happened: the command's own object (or what it
    // found before it failed) with "error": null, or {"code", "text"} of the failure.
    void printResult(const std::optional<CommandFailure>& failure) {
        QJsonObject object = result_;
        object["error"] =
            failure ? QJsonValue(QJsonObject{{"code", failure->code}, {"text", failure->text}})
                    : QJsonValue();
        out() << jsonoutput::line(object) << '\n';
        out().flush();
    }

    const MsgStr& messages() const { return messages_; }
};

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("nvbman-cli");
    QCoreApplication::setApplicationVersion(NVBMAN_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const CliOptions options;
    parser.addOptions(options.all());
    parser.addPositionalArgument("command",
                                 "devices, find, list, import, send, delete, backup, restore, "
                                 "verify, show, replaced, put-back, copy, move, swap, rename, "
                                 "history, undo or redo.",
                                 "COMMAND [ARGS...]");

    if (!parser.parse(app.arguments())) {
        const QString text = "nvbman-cli: " + parser.errorText() + " (try --help)";
        printError(text);
        if (app.arguments().contains("--" + options.json.names().constFirst())) {
            out() << jsonoutput::line({{"error", QJsonObject{{"code", "usage"}, {"text", text}}}})
                  << '\n';
        }
        return BadUsage;
    }
    if (parser.isSet(helpOption)) {
        out() << parser.helpText();
        return Success;
    }
    if (parser.isSet(versionOption)) {
        out() << "nvbman-cli " << QCoreApplication::applicationVersion() << '\n';
        return Success;
    }

    // The software keyboard is always there, so every command can be tried without the
    // instrument; its memory is kept between runs.
    kbdsim::BuiltInKeyboard builtInKeyboard;

    // Ctrl+C stops the command at the next message, with its ports closed and nothing partial
    // kept; a second Ctrl+C ends the program at once. A terminal that closes (SIGHUP) or a
    // polite kill (SIGTERM) stops the same way, so what the stop leaves behind (a song slot
    // emptied by a send) is still said.
    for (const int stop : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(stop, [](int received) {
            platform::Cancellation::request();
            std::signal(received, SIG_DFL);
        });
    }
    // A file larger than the user's limit is a write error to report, not a silent death.
    std::signal(SIGXFSZ, SIG_IGN);

    Cli cli(parser, options);
    int status = Failure;
    std::optional<CommandFailure> failure;
    try {
        status = cli.run(parser.positionalArguments());
        cli.finish();
        if (status != Success) {
            failure = cli.failure();
        }
    } catch (const UsageError& e) {
        failure = CommandFailure{"usage", "nvbman-cli: " + e.text + " (try --help)"};
        printError(failure->text);
        status = BadUsage;
    } catch (...) {
        failure = CommandFailure{currentErrorCode(), currentErrorText(cli.messages())};
        printError(failure->text);
        status = Failure;
    }
    if (parser.isSet(options.json)) {
        cli.printResult(failure);
    }
    return status;
}
