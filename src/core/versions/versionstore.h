#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "kbddrv/slotaddress.h"

class EkDataFile;

// The keyboard's past: every item the program saw in a slot or put there, as a version of that
// slot, so that a user can ask what a slot held before, put a keyboard back as it was on a
// date, and see what changed since.
//
// A version is a row of a table ("versions.sqlite" in the data folder's "versions" folder);
// its item is stored once by its content, as a ".nvb" file named by its hash (the library's
// itemHash) below "items". Files, not rows, hold the items: a version table that is lost or
// damaged leaves every item readable, a file is written whole or not at all and never
// replaced, and a backup of an unchanged keyboard adds rows only.
namespace versions {

// How the program came to know what the slot held.
enum class How {
    Fetched,  // read from the keyboard (import, export, Check On PC, a backup, before a change)
    Sent,     // sent and shown by the keyboard (send, restore, put-back, edits, undo, redo)
    Emptied,  // deleted, and the keyboard shows the slot empty
};

// The word of `how` in the table and the command-line tool's output ("fetched", "sent",
// "emptied"), and back.
QString howText(How how);
std::optional<How> howNamed(const QString& word);

struct Version {
    std::int64_t id = 0;
    // As the history of changes tells keyboards apart; empty for a version from before the
    // program told them apart (a backup's, a kept copy's), which belongs to every keyboard.
    QString keyboard;
    SlotAddress slot;
    std::uint16_t type = 0;
    QString name;  // the item's own name, as the keyboard keeps it
    std::uint32_t size = 0;
    QString sha256;  // the item's hash; empty when the slot was seen empty
    QDateTime at;    // UTC
    How how = How::Fetched;
    QString source;  // what the program was doing: "Send to tone:3", "backup /home/..."
    bool confirmed = false;  // the keyboard showed it (a fetch, or a confirmed change)

    bool holdsItem() const { return !sha256.isEmpty(); }
};

class Store {
public:
    // The user's versions; `folder` elsewhere for tests. Throws platform::SystemError
    // (VersionsUnreadable, VersionsOfNewerProgram) when the table cannot be used.
    explicit Store(QString folder = defaultFolder());
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    static QString defaultFolder();
    QString folder() const { return folder_; }

    // Records a version; with `item` (what the slot holds) its file is written first unless an
    // identical item's is there already. Returns the version as stored (its id, its hash).
    Version record(Version version, const EkDataFile* item);

    // Runs `work` (records) as one transaction: a store filled with many versions at once
    // (the past taken in) writes its table once.
    void inOneTransaction(const std::function<void()>& work);

    // Every version of one slot of one keyboard, newest first.
    std::vector<Version> ofSlot(const QString& keyboard, const SlotAddress& slot) const;
    // Every version of one item, on any keyboard and in any slot, newest first: where and when
    // an item (a file's, say) was on a keyboard.
    std::vector<Version> ofItem(const QString& sha256) const;
    // The newest version of each slot of `keyboard` at or before `when`, in slot order; a slot
    // with none then is left out.
    std::vector<Version> asOf(const QString& keyboard, const QDateTime& when) const;
    // The newest version of every slot of `keyboard`.
    std::vector<Version> latest(const QString& keyboard) const;
    // The keyboards with versions.
    QStringList keyboards() const;
    std::optional<Version> find(std::int64_t id) const;

    // Whether what the store took in once (the kept copies, a backup folder) is marked so.
    bool wasTakenIn(const QString& what) const;
    void markTakenIn(const QString& what);
    // When the store was made: what came after is recorded as it happened.
    QDateTime createdAt() const;

    // The item of a version, checked against its hash and given the version's name. Throws
    // platform::SystemError VersionItemMissing or VersionItemDamaged (naming the file).
    void loadItem(const Version& version, EkDataFile& item) const;
    QString itemPath(const QString& sha256) const;
    // What pruning left out.
    struct Pruned {
        int versions = 0;
        int items = 0;
        std::int64_t bytes = 0;
    };
    // Forgets the versions older than `before`, except the newest version of each item in
    // each slot (a slot's past keeps every item it held), then the item files no version names
    // any more.
    Pruned prune(const QDateTime& before);

    // What the item files take on disk, in bytes.
    std::int64_t itemBytes() const;

private:
    std::vector<Version> select(const QString& where, const QVariantList& values) const;
    void insertVersion(Version& version, const EkDataFile* item);
    Pruned pruneWhileWriting(const QDateTime& before);
    // Runs `work` holding the table's write lock from its start (one turn; nested calls join
    // the turn they are in).
    void writing(const std::function<void()>& work);

    QString folder_;
    QString connection_;
    bool writing_ = false;
};

// The versions table's file name in a store's folder.
inline constexpr const char* kTableFile = "versions.sqlite";

}  // namespace versions
