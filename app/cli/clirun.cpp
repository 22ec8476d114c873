#include "clirun.h"

#include <optional>

#include <QCommandLineParser>
#include <QCoreApplication>

#include "clioptions.h"
#include "commandcontext.h"
#include "commandtable.h"
#include "completion.h"
#include "msg/errortext.h"
#include "platform/manualpage.h"
#include "platform/midiservice.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "safety/history.h"

namespace cli {

namespace {

const char* const kIntroduction = "Manages the music data of an MLS-850 keyboard over MIDI.\n\n";

const char* const kClosing = R"HELP(
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

// A number of frames PipeWire may be asked for, or none.
std::optional<int> periodFrom(const QString& text) {
    bool isNumber = false;
    const int frames = text.toInt(&isNumber);
    if (!isNumber || frames < 0 || frames > platform::kMaxPipeWirePeriod) {
        return std::nullopt;
    }
    return frames;
}

// --period, else NVBMAN_PIPEWIRE_PERIOD, else the preferences' value. A wrong --period is the
// command line's fault; a wrong variable is said, naming it, and passed over: a command that
// talks to no JACK client (show, history) has no use for it, and none fails for it.
int periodRequest(const QString& given, CommandOutput& output) {
    if (!given.isEmpty()) {
        if (const auto frames = periodFrom(given)) {
            return *frames;
        }
        throw UsageError(QString("'%1' is no period (0 to %2 frames)")
                             .arg(given)
                             .arg(platform::kMaxPipeWirePeriod));
    }
    const QString variable = qEnvironmentVariable("NVBMAN_PIPEWIRE_PERIOD");
    if (!variable.isEmpty()) {
        if (const auto frames = periodFrom(variable)) {
            return *frames;
        }
        output.error(QString("nvbman-cli: NVBMAN_PIPEWIRE_PERIOD '%1' is no period (0 to %2 "
                             "frames); the preferences' period is asked for instead.")
                         .arg(variable)
                         .arg(platform::kMaxPipeWirePeriod));
    }
    return platform::SettingsStore().loadOrDefaults().pipeWirePeriod;
}

// The command the positional arguments name, run with the rest of them.
int runCommand(CommandContext& context, const QStringList& positional) {
    const QString name = positional.value(0);
    const Command* command = findCommand(name);
    if (command == nullptr) {
        throw UsageError(name.isEmpty() ? "no command given" : "unknown command '" + name + "'");
    }
    const QStringList arguments = positional.mid(1);
    if (arguments.size() < command->leastArguments) {
        throw UsageError("missing argument");
    }
    if (arguments.size() > command->mostArguments) {
        throw UsageError("unexpected argument '" + arguments[command->mostArguments] + "'");
    }
    return command->run(context, arguments);
}

}  // namespace

OptionValues::OptionValues(const QCommandLineParser& parser, const CliOptions& options)
    : in(parser.isSet(options.in) ? std::optional(parser.value(options.in)) : std::nullopt),
      out(parser.isSet(options.out) ? std::optional(parser.value(options.out)) : std::nullopt),
      quiet(parser.isSet(options.quiet)),
      verbose(parser.isSet(options.verbose)),
      logPath(parser.value(options.log)),
      replace(parser.isSet(options.replace)),
      noSafetyCopy(parser.isSet(options.noSafetyCopy)),
      verify(parser.isSet(options.verify)),
      dryRun(parser.isSet(options.dryRun)),
      exact(parser.isSet(options.exact)),
      force(parser.isSet(options.force)),
      oneFile(parser.isSet(options.oneFile)),
      period(parser.value(options.period)),
      format(parser.value(options.format)),
      note(parser.isSet(options.note) ? std::optional(parser.value(options.note)) : std::nullopt),
      tag(parser.value(options.tag)),
      text(parser.value(options.text)),
      asOf(parser.value(options.asOf)),
      since(parser.value(options.since)),
      until(parser.value(options.until)),
      prune(parser.isSet(options.prune)),
      olderThan(parser.value(options.olderThan)) {}

namespace {

// A change that a program killed midway left under way is said once, by the next command,
// before anything else: the keyboard may hold neither what it held nor what it was given.
void sayChangesCutShort(CommandContext& context) {
    try {
        safety::History history(context.store().folder());
        for (const safety::Change& change : history.cutShort({}, true)) {
            context.output().error(
                "nvbman-cli: " + safety::cutShortText(change, context.store(), context.messages()));
        }
    } catch (const platform::SystemError&) {
        // A history that cannot be read is said by the command that needs it.
    }
}

}  // namespace

namespace {

// "tag FILE -pads" takes a tag away: a word of one dash after the tag command is no option.
// Such words go after "--", where the parser leaves every word to the command.
QStringList tagEditsAsArguments(const QStringList& commandLine, const CliOptions& options) {
    QStringList valueOptions;
    for (const QCommandLineOption& option : options.all()) {
        if (!option.valueName().isEmpty()) {
            valueOptions << "--" + option.names().constFirst();
        }
    }
    qsizetype command = -1;
    for (qsizetype i = 1; i < commandLine.size() && command < 0; ++i) {
        const QString& word = commandLine[i];
        if (word == QLatin1String("--")) {
            return commandLine;
        }
        if (valueOptions.contains(word)) {
            ++i;  // its value
        } else if (!word.startsWith('-')) {
            command = i;
        }
    }
    if (command < 0 || commandLine[command] != QLatin1String("tag")) {
        return commandLine;
    }
    QStringList kept = commandLine.mid(0, command + 1);
    QStringList edits;
    for (qsizetype i = command + 1; i < commandLine.size(); ++i) {
        const QString& word = commandLine[i];
        if (word.size() > 1 && word.startsWith('-') && !word.startsWith(QLatin1String("--"))) {
            edits << word;
        } else {
            kept << word;
        }
    }
    if (edits.isEmpty()) {
        return commandLine;
    }
    return kept + QStringList{"--"} + edits;
}

}  // namespace

int run(const QStringList& commandLine, CommandOutput& output) {
    if (commandLine.value(1) == QLatin1String(kCompleteWord)) {
        // The shell's question: nothing runs, nothing is read but the tables.
        const QStringList words = commandLine.mid(2);
        const QStringList candidates =
            completions(words.mid(0, words.size() - 1), words.value(words.size() - 1));
        output.print(candidates.isEmpty() ? QString() : candidates.join('\n') + '\n');
        return Success;
    }
    QCommandLineParser parser;
    parser.setApplicationDescription(kIntroduction + commandsHelp() + kClosing);
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const CliOptions options;
    parser.addOptions(options.all());
    parser.addPositionalArgument("command", commandNames(), "COMMAND [ARGS...]");

    const bool json = commandLine.contains("--" + options.json.names().constFirst());
    output.setJson(json);
    if (!parser.parse(tagEditsAsArguments(commandLine, options))) {
        const CommandFailure failure{"usage",
                                     "nvbman-cli: " + parser.errorText() + " (try --help)"};
        output.error(failure.text);
        if (json) {
            output.printObject(failure);
        }
        return BadUsage;
    }
    if (parser.isSet(helpOption)) {
        output.print(parser.helpText() + "\nThe user manual: " + platform::manualPage(false) +
                     "\n");
        return Success;
    }
    if (parser.isSet(versionOption)) {
        output.print("nvbman-cli " + QCoreApplication::applicationVersion() + '\n');
        return Success;
    }

    const OptionValues values(parser, options);
    int status = Failure;
    std::optional<CommandFailure> failure;
    std::optional<CommandContext> context;
    bool said = false;
    try {
        context.emplace(values, output);
        context->setSource(parser.positionalArguments().join(' '));
        sayChangesCutShort(*context);
        // Before the first enumeration: the MIDI system's clients ask for it as they open.
        platform::MidiService::instance().setPeriodRequest(periodRequest(values.period, output));
        status = runCommand(*context, parser.positionalArguments());
        context->finish();
        if (status != Success) {
            // The command has said why already.
            failure = context->failure();
            said = true;
        }
    } catch (const UsageError& e) {
        failure = CommandFailure{"usage", "nvbman-cli: " + e.text + " (try --help)"};
        status = BadUsage;
    } catch (...) {
        failure = CommandFailure{currentErrorCode(), currentErrorText(MsgStr())};
        status = Failure;
    }
    if (status != Success && failure != std::nullopt && !said) {
        if (context) {
            context->progress().finish();
        }
        output.error(failure->text);
    }
    if (json) {
        output.printObject(failure);
    }
    return status;
}

}  // namespace cli
