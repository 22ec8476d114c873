#pragma once

#include <QFile>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "backup/keyboardbackup.h"
#include "clioptions.h"
#include "commandoutput.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"
#include "lists/itemlist.h"
#include "msg/msgstr.h"
#include "ops/target.h"
#include "platform/keyboardsession.h"
#include "safety/safetystore.h"
#include "terminalprogress.h"

namespace versions {
class Recorder;
}

namespace cli {

// A mistake in the command line: said with "(try --help)", exit status 2.
class UsageError {
public:
    explicit UsageError(QString text) : text(std::move(text)) {}
    QString text;
};

// What every command works with: the options, the keyboard (devices, session, driver), the
// progress bar, the kept copies, the message table and the output. One per command run.
class CommandContext {
public:
    CommandContext(const OptionValues& options, CommandOutput& output);
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    const OptionValues& options() const { return options_; }
    // --format's CSV or HTML for a list to print or share; none without it. A UsageError for
    // another word, or beside --json.
    std::optional<lists::Format> shareFormat() const;
    CommandOutput& output() { return output_; }
    TerminalProgress& progress() { return progress_; }
    safety::Store& store() { return store_; }
    const MsgStr& messages() const { return messages_; }
    EkKbdDrv& driver() { return driver_; }

    // The devices chosen and the keyboard held for the rest of the command (once; getList and
    // getSlots do it too). What is read before this may change before the keyboard is held.
    void takeKeyboard();
    // The whole listing of the keyboard (the devices chosen first).
    void getList();
    // Only what a command on given slots needs: the devices, the keyboard's kind and those
    // slots (a handful of requests instead of the whole listing's).
    void getSlots(const std::vector<SlotAddress>& wanted);
    // The listed slot, or a failure when the keyboard has none such.
    SlotInTree slotOf(const SlotAddress& wanted);
    // The chosen keyboard; what it moves is recorded as versions of its slots.
    KeyboardLink link();
    // Which keyboard the command talks to, as its versions and history know it.
    QString keyboard() const;
    // What the command is, as its versions say where they came from ("send a.nvb tone:3").
    void setSource(const QString& source) { source_ = source; }

    // What a change of the keyboard runs against: this keyboard, the kept copies (none with
    // --no-safety-copy), the message table and the progress bar.
    ops::Target target();
    // An edit keeps what it replaces, always: it is what undo puts back.
    void requireSafetyCopies(const QString& command) const;

    // A job's items, one line each ("SLOT PATH", "SLOT deleted"; those that failed on stderr
    // with `notDone`), and what the job as a whole says: Failure when an item failed.
    int report(const std::vector<backup::Outcome>& outcomes, const QString& folder,
               const QString& notDone);
    // The command fails with this code and text, said as the last line on stderr.
    int fail(const QString& code, const QString& text);
    // The command fails so; what it has to say is said already.
    int failed(const CommandFailure& failure);
    // Why the command failed, when it returned Failure without an exception.
    const CommandFailure& failure() const { return failure_; }

    // The command has ended: the keyboard itself must not have failed meanwhile.
    void finish();

private:
    // The devices of --in/--out, else those of the settings store (by name when the numbering
    // has changed since), else 0. One enumeration per command: every open below opens the
    // device of that enumeration by its name.
    void chooseDevices();
    // The MIDI log's lines on stderr (--verbose) and in a file (--log).
    void startMidiLog();

    const OptionValues& options_;
    CommandOutput& output_;
    TerminalProgress progress_;
    safety::Store store_;
    MsgStr messages_;
    EkKbdDrv& driver_;
    int input_ = 0;
    int outputDevice_ = 0;
    std::optional<platform::KeyboardSession> session_;
    CommandFailure failure_;
    int logListener_ = 0;
    bool wasRecording_ = false;
    std::unique_ptr<QFile> logFile_;
    QString source_;
    std::shared_ptr<versions::Recorder> versions_;
};

// A keyboard's text as a terminal may show it: a control character (a newline would split a
// table row, an escape sequence would reach the terminal) is written as \xNN. JSON output
// escapes them itself.
QString printable(const QString& text);

// A command's SLOT argument; a usage error when it is none.
SlotAddress slotArgument(const QString& text);

// "tone:12" is a mistyped slot, not a folder (write "./tone:12" for a folder of that name).
bool looksLikeSlot(const QString& text);

}  // namespace cli
