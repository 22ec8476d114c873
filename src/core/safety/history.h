#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "platform/filelock.h"
#include "safetystore.h"

class EkData;
class EkDataFile;
class MsgStr;

// The history of what the program changed on the keyboard, for Undo and Redo: each change
// (a send, a delete, a restore, a copy...) as the slots it touched, the kept copy of what each
// held before and a fingerprint of what the change left there. Kept beside the kept copies
// ("history.json"), shared by the window and the command-line tool, the last kMaxChanges.
namespace safety {

inline constexpr int kMaxChanges = 50;

// One slot of a change.
struct Step {
    SlotAddress slot;
    CopyId before = 0;  // the kept copy of what the slot held; 0: it was empty
    // itemFingerprint of what the change left in the slot; empty: it left the slot empty.
    // Unknown when the change stopped midway at this slot (nothing can then be said of it).
    std::optional<QString> after;
};

struct Change {
    std::int64_t id = 0;
    // The keyboard it was made on (MidiService::keyboardIdentity): an undo puts back what it
    // replaced on that keyboard only. Empty for a change recorded before the program told
    // keyboards apart; such a change is offered on every keyboard, where the check that each
    // slot still holds what the change left there is what guards it.
    QString keyboard;
    // What was done, in words the window and the tool put together: "send", "delete",
    // "put-back", "copy", "move", "swap", "rename", "restore", "undo", "redo".
    QString action;
    QStringList subjects;  // the slots or the folder it was done with, in order
    QDateTime time;        // UTC
    std::vector<Step> steps;
    // Written before its first message to the keyboard and not finished yet: under way while
    // its program holds the lock named by `owner`, cut short (the program was killed, the power
    // failed) when no one does. Undo takes it back like any other change.
    bool underWay = false;
    QString owner;  // a name of its own, for the lock its program holds while it runs
    // The user has been told that it was cut short.
    bool noticed = false;
};

// "Send to tone:3", "Swap song:0 with song:1", "Restore from \"/home/me/backup\"".
QString titleOf(const Change& change);
QJsonObject toJson(const Change& change);

// A fingerprint of an item as the keyboard holds it (SHA-256 of its type, name and data),
// so that a slot fetched later can be told to be the same item or not.
QString itemFingerprint(const EkDataFile& item);

class History {
public:
    explicit History(QString folder = Store::defaultFolder());

    // Newest first: every change, or with `keyboard` those that can be taken back on it (its
    // own and those of no known keyboard). Throws platform::SystemError when the file is damaged.
    std::vector<Change> undoable(const QString& keyboard = {}) const;
    std::vector<Change> redoable(const QString& keyboard = {}) const;
    // Every kept copy an undo or a redo would put back: the store never prunes them.
    std::set<CopyId> copiesInUse() const;
    // Throws platform::SystemError when the history cannot be read: a command checks this
    // before its first change, so that a change is never made that cannot be recorded.
    void check() const { read(); }

    // A new change: on top of the undoable ones, and nothing of its keyboard is redoable any
    // more (another keyboard's redo still puts back what that keyboard held). A change written
    // under way before (an `id` given by begun()) is replaced by its finished self.
    void recorded(Change change);
    // A change about to send its first message to the keyboard (or one more slot of it), as
    // under way: on top of the undoable ones, its id given on the first call and kept after.
    void begun(Change& change);
    // The changes cut short on `keyboard` that the user has not been told of: under way, and
    // their program gone. Marked as told when `markNoticed`.
    std::vector<Change> cutShort(const QString& keyboard, bool markNoticed);
    // Whether a change written under way is still under way: its program holds its lock.
    bool isRunning(const Change& change) const;
    // `done` (undoable when `undoing`, else redoable) was taken back by `reverse`, which
    // becomes redoable (or undoable again). When `done` is no longer in the history (someone
    // took it back meanwhile, or the file was replaced), `reverse` is recorded as a new change:
    // what the keyboard was given can always be undone, and is never listed twice.
    void reversed(std::int64_t done, Change reverse, bool undoing);

    // The lock a change's program holds while the change is under way.
    QString ownerLock(const QString& owner) const;

private:
    struct Stacks {
        std::vector<Change> undo;
        std::vector<Change> redo;
        std::int64_t lastId = 0;
    };
    Stacks read() const;
    void write(const Stacks& stacks) const;
    // The number of a new change. Numbers only tell changes apart; when they would run out the
    // changes kept are numbered again from 1, in order.
    static std::int64_t nextId(Stacks& stacks);
    static void putOnTop(std::vector<Change>& stack, Change change);

    QString folder_;
};

// Records one command's change while it runs: keeps a copy of what each slot held before it
// is replaced and notes what the command left there. Written into the history by commit(), or
// by the destructor when the command stopped midway, so that what it did can still be undone.
class ChangeRecord {
public:
    // `keyboard`: MidiService::keyboardIdentity of the keyboard changed. Throws the history's
    // errors when it cannot be read: nothing has been changed yet.
    ChangeRecord(Store& store, QString keyboard, QString action, QStringList subjects);
    ~ChangeRecord();
    ChangeRecord(const ChangeRecord&) = delete;
    ChangeRecord& operator=(const ChangeRecord&) = delete;

    Store& store() { return store_; }

    // Keeps `item`, what `slot` holds now, before it is replaced. Once per slot: a second
    // try of a transfer does not keep the item twice. Throws the store's errors.
    Copy keep(EkDataFile& item, const SlotAddress& slot, Why why, const QString& replacedBy = {});
    // The copy kept of `slot` by this change, if any.
    std::optional<Copy> keptOf(const SlotAddress& slot) const;

    // The change is about to send its first message for `slot` (after keeping what it holds):
    // the change is written into the history as under way first, so that a program killed
    // midway leaves a change that undo can take back. Throws the history's errors.
    void intend(const SlotAddress& slot);
    // The change left `item` in `slot` (null: left it empty).
    void left(const SlotAddress& slot, const EkDataFile* item);

    // Into the history when it changed anything; throws the history's errors.
    void commit();
    // Takes the change out for History::reversed (an undo or a redo): commit() then writes
    // nothing.
    Change take();

    // For a command that stopped: which copies hold what it replaced or emptied (a
    // KeptByChange text, its reason the failure's), none when it kept nothing.
    std::optional<platform::CodedText> keptCopies() const;

private:
    Step& stepOf(const SlotAddress& slot);

    Store& store_;
    Change change_;
    std::vector<Copy> kept_;
    // The slots whose step is in the history as under way.
    std::vector<SlotAddress> written_;
    bool committed_ = false;
    // Held while the change is under way; no one holds it once its program is gone.
    std::unique_ptr<platform::FileLock> ownerLock_;
};

// What the user is told of a change cut short: which slots it was changing, which copies hold
// what they held before, and that undo puts them back.
QString cutShortText(const Change& change, const Store& store, const MsgStr& messages);

}  // namespace safety
