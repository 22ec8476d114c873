#include "commandcontext.h"

#include <unistd.h>

#include <QDir>
#include <QRegularExpression>

#include "ekmidi/midilogtext.h"
#include "jsonoutput.h"
#include "kbddrv/mls850layout.h"
#include "msg/errortext.h"
#include "platform/midilog.h"
#include "platform/midiservice.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "versions/recorder.h"
#include "versions/versionstore.h"

namespace cli {

namespace {

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

}  // namespace

std::optional<lists::Format> CommandContext::shareFormat() const {
    const QString word = options_.format;
    if (word.isEmpty()) {
        return std::nullopt;
    }
    const auto format = lists::formatNamed(word);
    if (!format || *format == lists::Format::Pdf) {
        throw UsageError("--format is csv or html, not '" + word + "'");
    }
    if (output_.json()) {
        throw UsageError("--format and --json do not go together");
    }
    return format;
}

CommandContext::CommandContext(const OptionValues& options, CommandOutput& output)
    : options_(options),
      output_(output),
      progress_(!options.quiet && isatty(STDERR_FILENO) != 0),
      driver_(EkKbdDrv::instance(mls850::kModel)) {
    driver_.attachObserver(&progress_);
    if (options_.verbose) {
        driver_.setRetryListener([this](RetryReason reason) {
            progress_.finish();  // the bar comes back with the next step
            output_.error(reason == RetryReason::AnswerLost
                              ? "nvbman-cli: a request's answer was lost; asking again."
                              : "nvbman-cli: the keyboard does not show the change; making it "
                                "again.");
        });
        progress_.setRetryNote([this](const SlotAddress& slot) {
            progress_.finish();  // the bar comes back with the next step
            output_.error("nvbman-cli: " + slot.text() +
                          ": an answer was lost; trying the item again from its start.");
        });
    }
    if (options_.verbose || !options_.logPath.isEmpty()) {
        startMidiLog();
    }
}

CommandContext::~CommandContext() {
    progress_.finish();
    driver_.detachObserver(&progress_);
    driver_.setRetryListener({});
    if (logListener_ != 0) {
        auto& log = platform::MidiLog::instance();
        log.removeListener(logListener_);
        log.setRecording(wasRecording_);  // as the command found it
    }
}

void CommandContext::chooseDevices() {
    auto& service = platform::MidiService::instance();
    const QStringList inputs = service.inputDevices();
    const QStringList outputs = service.outputDevices();
    platform::Settings stored;
    if (!options_.in || !options_.out) {
        platform::SettingsStore store;
        if (store.hasRunBefore()) {
            stored = store.load();
        }
    }
    input_ = options_.in ? resolveDevice(*options_.in, inputs, "input")
                         : service.storedInput(stored.inputDevice, stored.inputDeviceName);
    outputDevice_ = options_.out
                        ? resolveDevice(*options_.out, outputs, "output")
                        : service.storedOutput(stored.outputDevice, stored.outputDeviceName);
    // From here to the command's end no other program of this user talks to the keyboard.
    session_.emplace(outputDevice_);
}

void CommandContext::takeKeyboard() {
    if (!session_) {
        chooseDevices();
    }
}

void CommandContext::getList() {
    takeKeyboard();
    progress_.start("Get list", driver_.progressTotal());
    driver_.getList(input_, outputDevice_);
    progress_.finish();
}

void CommandContext::getSlots(const std::vector<SlotAddress>& wanted) {
    takeKeyboard();
    std::vector<EkData*> slots;
    for (const SlotAddress& address : wanted) {
        slots.push_back(slotOf(address).slot);
    }
    driver_.getSlots(input_, outputDevice_, slots);
}

SlotInTree CommandContext::slotOf(const SlotAddress& wanted) {
    SlotInTree found = findSlot(driver_, wanted);
    if (found.slot == nullptr) {
        throw platform::SystemError("The keyboard has no slot " + wanted.text().toStdString() +
                                    ".");
    }
    return found;
}

ops::Target CommandContext::target() {
    return {link(), store_, !options_.noSafetyCopy, &progress_};
}

void CommandContext::requireSafetyCopies(const QString& command) const {
    if (options_.noSafetyCopy) {
        throw UsageError(command + " always keeps what it replaces (no --no-safety-copy)");
    }
}

int CommandContext::report(const std::vector<backup::Outcome>& outcomes, const QString& folder,
                           const QString& notDone) {
    progress_.finish();
    output_.setObject(jsonoutput::jobOutcomes(folder, outcomes, messages_));
    for (const backup::Outcome& outcome : outcomes) {
        // An item of a dump whose address names no slot has none; its text says where it was.
        const QString slot = outcome.slot.kind.isEmpty() ? QString() : outcome.slot.text() + ' ';
        if (outcome.warning) {
            output_.error("nvbman-cli: " + slot + messages_.codedText(*outcome.warning));
        }
        if (!outcome.failed()) {
            output_.line(outcome.slot.text() + ' ' +
                         (outcome.removed
                              ? QStringLiteral("deleted")
                              : QDir::toNativeSeparators(QDir(folder).filePath(outcome.file))));
        } else {
            output_.error("nvbman-cli: " + slot + notDone + ": " +
                          messages_.codedText(*outcome.error));
        }
    }
    const backup::JobSummary summary(outcomes);
    if (!summary.retried.isEmpty()) {
        output_.error("nvbman-cli: " + messages_.retriedText(summary.retried.join(", ")));
    }
    if (summary.lastError) {
        return fail(QStringLiteral("items-failed"), messages_.codedText(*summary.lastError));
    }
    return Success;
}

int CommandContext::fail(const QString& code, const QString& text) {
    progress_.finish();
    output_.error(text);
    return failed({code, text});
}

int CommandContext::failed(const CommandFailure& failure) {
    failure_ = failure;
    return Failure;
}

void CommandContext::finish() {
    if (session_) {
        session_->finish();
    }
    if (versions_ && versions_->problem()) {
        output_.error("nvbman-cli: warning: the keyboard's past was not recorded: " +
                      messages_.codedText(*versions_->problem()));
    }
}

KeyboardLink CommandContext::link() {
    KeyboardLink link{driver_, input_, outputDevice_};
    if (!versions_) {
        versions_ = std::make_shared<versions::Recorder>(keyboardIdentity(link), source_,
                                                         versions::Store::defaultFolder());
    }
    versions::attach(link, versions_);
    return link;
}

QString CommandContext::keyboard() const {
    return platform::MidiService::instance().keyboardIdentity(outputDevice_);
}

void CommandContext::startMidiLog() {
    if (!options_.logPath.isEmpty()) {
        logFile_ = std::make_unique<QFile>(options_.logPath);
        if (!logFile_->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
            throw platform::FileError(platform::ErrorCode::CannotWrite, options_.logPath,
                                      logFile_->errorString());
        }
    }
    auto& log = platform::MidiLog::instance();
    wasRecording_ = log.isRecording();
    log.setRecording(true);
    logListener_ = log.addListener([this](const platform::MidiLog::Entry& entry) {
        const QString line = midilogtext::lineOf(entry);
        if (options_.verbose) {
            progress_.finish();  // the bar comes back with the next step
            output_.error("nvbman-cli: " + line);
        }
        if (logFile_) {
            logFile_->write((line + '\n').toUtf8());
            logFile_->flush();
        }
    });
}

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

SlotAddress slotArgument(const QString& text) {
    const auto wanted = SlotAddress::parse(text);
    if (!wanted) {
        throw UsageError("'" + text + "' is not a slot (tone:N, dsp:N, reg:B.N, song:N, rhythm:N)");
    }
    return *wanted;
}

bool looksLikeSlot(const QString& text) {
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral("[a-z]+:[0-9.]+")));
    return shape.match(text).hasMatch();
}

}  // namespace cli
