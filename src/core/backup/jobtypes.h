#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "platform/errorcatalog.h"

// What every job over several slots (import of several slots, backup, restore, batch send and
// delete) reports: each item's outcome, the progress over the whole job, and the summary that the
// window and the command-line tool both say when it ends.
class MsgStr;

namespace backup {

// What became of one slot: saved or restored when it has no `error`, else the reason it was
// not, coded, for each front end to say in its language (MsgStr::codedText).
// `retried`: the first try lost the keyboard's answer and the item was tried once more.
struct Outcome {
    Outcome(SlotAddress slot = {}, QString file = {}, std::optional<platform::CodedText> error = {},
            QString code = {})
        : slot(std::move(slot)),
          file(std::move(file)),
          error(std::move(error)),
          code(this->error && code.isEmpty() ? kSystemCode : std::move(code)) {}

    bool failed() const { return error.has_value(); }
    // Whether it failed because the keyboard stopped answering (or the MIDI service failed), so
    // that the job's later items would meet the same.
    bool lostTheLink() const {
        return code == QLatin1String("timeout") || code == QLatin1String("midi") ||
               code == QLatin1String("unconfirmed") || code == QLatin1String(kStoppedCode);
    }

    // The code of a failure the program found before any transfer (no such slot, an empty
    // one): the command-line tool's code for any other failure of the system.
    static constexpr const char* kSystemCode = "system";
    // An item not tried because the job stopped (the keyboard stopped answering before it).
    static constexpr const char* kStoppedCode = "stopped";

    SlotAddress slot;
    QString file;
    std::optional<platform::CodedText> error;
    // Why it failed, as a word scripts can rely on ("timeout", "not-shown", "file", "system",
    // "stopped"...: the command-line tool's failure codes); empty when the item was done.
    QString code;
    bool retried = false;
    // Done, but with something the user should know (a file sent whose hash could not be
    // checked); none when none.
    std::optional<platform::CodedText> warning;
    // A restore: the slot held the item already, so nothing was sent.
    bool identical = false;
    // The number of the copy kept of what the item replaced (safety::Store); 0 when none.
    std::int64_t keptCopy = 0;
    // An exact restore: the keyboard's song or rhythm that the backup lacks was deleted.
    bool removed = false;
    // A send into a song slot failed after the slot's old song was deleted: the slot is empty
    // now, its old song kept as `keptCopy`.
    bool emptied = false;
    // The keyboard did not show the change though it was made again and again (the slot holds
    // what the error says), or did not answer whether it shows it (the slot may hold either):
    // what it held before is kept as `keptCopy`.
    bool notShown = false;
};

// A failure's reason as `messages` say it; empty when there is none.
QString reasonText(const std::optional<platform::CodedText>& error, const MsgStr& messages);

// Follows a whole job with one total: the bytes of every item it moves.
class JobProgress {
public:
    virtual ~JobProgress() = default;
    virtual void jobStarted(std::int64_t totalBytes) = 0;
    virtual void itemStarted(const SlotAddress& slot, const QString& file) = 0;
    // Bytes moved so far over the whole job.
    virtual void jobAdvanced(std::int64_t doneBytes) = 0;
    // The item's first try lost an answer: it starts once more from its beginning.
    virtual void itemRetried(const SlotAddress& /*slot*/) {}
};

// What a job's outcomes say as a whole.
struct JobSummary {
    explicit JobSummary(const std::vector<Outcome>& outcomes);

    int done = 0;         // items without an error
    int failed = 0;       // items with one
    int identical = 0;    // a restore found the item there already
    int kept = 0;         // items whose replaced content was kept as a copy
    QStringList retried;  // the slots tried a second time, as SLOT is written
    std::optional<platform::CodedText> lastError;  // the last failed item's reason
};

}  // namespace backup
