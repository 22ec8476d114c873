#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <span>

#include "platform/errorcatalog.h"

// Every text the program shows about a failure or a running command, in Japanese or English:
// one text per exception code of each exception class, the status text of each keyboard command
// and the word for a folder in the keyboard pane. The language is chosen once, from the user's
// locale identifier: Japanese for 1041, English for anything else.
class MsgStr {
public:
    // The commands whose status text is shown while they run.
    enum Command : std::int32_t { List = 0, Send = 1, Receive = 2, Delete = 3 };

    // Takes the user's default locale identifier from the platform.
    MsgStr();
    explicit MsgStr(int localeId);

    bool isJapanese() const { return japanese_; }

    // Each returns the text at that index of its group, or an empty text outside the group.
    QString sysExErrorText(std::int32_t code) const;
    QString kbdDrvErrorText(std::int32_t code) const;
    QString streamErrorText(std::int32_t code) const;
    QString operateErrorText(std::int32_t code) const;
    QString statusText(std::int32_t command) const;
    QString folderText(std::int32_t index = 0) const;
    // After the user stopped a command; `songSlotEmptied` when a stopped send into a song slot
    // had already deleted the old song there.
    QString cancelledText(bool songSlotEmptied = false) const;
    // Said after the failure of a send that had already deleted the slot's old song.
    QString songSlotEmptiedText() const;
    // Asked after a failed send emptied a song slot whose old song was kept.
    QString putBackQuestion() const;
    // Names the items of a whole-keyboard job that needed a second try.
    QString retriedText(const QString& slots) const;
    // Added to the status text when a request's answer was lost and it was asked again, or a
    // change the keyboard did not show was made again.
    QString retryNote(bool changeMadeAgain = false) const;
    // A comparison with a backup: a slot's verdict (0 identical, 1 different, 2 missing on the
    // keyboard, 3 missing in the folder, 4 not compared), the summary when every slot is
    // identical, and the heading of those that are not.
    static constexpr int kVerdictCount = 5;
    QString verdictText(int verdict) const;
    QString compareSameText(int slots) const;
    QString compareDifferHeading(int differing, int slots) const;
    // An item a whole-keyboard job did not try after the keyboard stopped answering.
    QString jobStoppedText() const;
    // Asked before a backup into a folder that holds one already.
    QString replaceBackupQuestion(const QString& folder) const;
    // The whole-keyboard backup and restore. The restore's question says that what it replaces
    // is kept when `keepsCopies`; its detail counts the slots not sent (the same already) and
    // the items kept; after a restore that stopped, the user is asked to look at what it kept.
    QString restoreQuestion(int items, const QString& folder, bool keepsCopies) const;
    QString restoreDetail(int identical, int kept) const;
    QString stoppedRestoreQuestion(int kept) const;
    // The plan a restore shows before it asks: per slot by its comparison's verdict (in the
    // order of backup::Verdict), and the counts.
    QString restorePlanText(int verdict) const;
    QString restorePlanSummary(int replaced, int filled, int identical) const;
    QString jobDoneText(bool restore, int items) const;
    QString jobFailedHeading(bool restore) const;
    // Several selected items in one Import, Send or Delete: how many were done, and the heading
    // of the list of those that failed.
    QString batchDoneText(Command command, int items) const;
    QString batchFailedHeading(Command command) const;
    // A file dropped onto the PC list meets one of the same name in the folder.
    QString replaceFileQuestion(const QString& name) const;

    // A change of the history, by the action it keeps ("send", "copy"...) and its subjects:
    // "Copy tone:0 to tone:1".
    QString changeTitle(const QString& action, const QStringList& subjects) const;
    // Edit > Undo and Redo, naming the change they take back (none: the plain caption).
    QString undoActionText(bool undo, const QString& title) const;
    // Edit > Copy To..., Move To..., Swap With... (in this order) ask for the other slot.
    enum class EditPrompt { CopyTo, MoveTo, SwapWith };
    QString editPrompt(EditPrompt prompt, const QString& slot) const;
    QString renamePrompt(const QString& slot) const;
    // An undo refused because `slots` changed since the change `title`: asks whether to take it
    // back all the same.
    QString changedSinceQuestion(const QStringList& slots, const QString& title) const;
    QString nothingToTakeBack(bool undo) const;

    // The argument of ErrorCode::Stopped after a stopped send had emptied a song slot.
    static constexpr const char* kStoppedSongSlotEmptied = "emptied";
    // A failure by its code (platform/errorcatalog.h), the message table's own among them at
    // any depth of its reasons.
    QString codedText(const platform::CodedText& text) const;
    // The message table's own coded texts (KeyboardRefused... KeptByChange); empty for any
    // other code. platform::errorText says them through this.
    QString ownText(const platform::CodedText& text) const;
    // Where the item a failed or stopped command replaced is kept: one copy, or the copies of a
    // change (each named by keptCopyEntry).
    QString keptCopyText(const QString& name, std::int64_t id, const QString& file) const;
    QString keptByChangeText(const QStringList& copies) const;
    // A change cut short (its program ended during it): its title, the slots it was changing,
    // and the entries of the copies that hold what they held (keptCopyEntry), none when they
    // were empty.
    QString cutShortText(const QString& title, const QStringList& slots,
                         const QStringList& copies) const;
    QString keptCopyEntry(std::int64_t id, const QString& slot, const QString& name) const;

private:
    using Group = std::span<const char* const>;

    QString pick(Group japanese, Group english, std::int32_t index) const;

    bool japanese_;
};
