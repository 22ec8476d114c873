#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "platform/errorcatalog.h"
#include "platform/filelock.h"

class EkData;
class EkDataFile;
class MsgStr;
class NvbStreamObserver;

// The safety copies of what a Send replaces and what a Delete removes on the keyboard (and
// every other change; see history.h), so that
// nothing the program does to the keyboard is without a way back: a folder of ".nvb" files with
// an index ("index.json"), shared by the window and the command-line tool of the user
// (~/.local/share/NvbMan/replaced). Each copy is written whole or not at all; the oldest copies
// go beyond kMaxCopies or kMaxBytes, never the newest copy of a slot nor one that an undo or a
// redo of the history would put back.
namespace safety {

// The object of one of the program's own JSON files (the kept copies' list, the history): read
// as a regular file of at most `maxBytes` (never through a link, never waiting on a FIFO or
// reading a device without end), its "format" checked. An absent file gives an empty object.
// Any fault throws platform::SystemError `unreadable` (with the path) because of the reason,
// `notOurs` when the format is another.
QJsonObject readOwnJson(const QString& path, int format, qint64 maxBytes,
                        platform::ErrorCode unreadable, platform::ErrorCode notOurs);

inline constexpr int kMaxCopies = 200;
inline constexpr std::int64_t kMaxBytes = 20 * 1024 * 1024;

// What replaced the kept item: a send (put-back too), a delete, a restore of a backup, a copy,
// move, swap or rename on the keyboard (an edit), or an undo or redo.
enum class Why { Send, Delete, Restore, Edit, Undo };

// A copy's number: 64 bits, so that numbering never wraps round onto an older copy's.
using CopyId = std::int64_t;
// The largest number JSON (a double) keeps exactly: beyond it, the index is numbered afresh.
inline constexpr CopyId kMaxCopyId = (CopyId{1} << 53) - 1;

struct Copy {
    CopyId id = 0;
    SlotAddress slot;
    QString name;  // the item's own name, 8 characters as the keyboard keeps them
    std::uint16_t type = 0;
    std::uint32_t size = 0;
    QString sha256;  // of the ".nvb" file, hexadecimal
    QDateTime time;  // when the copy was made (UTC)
    Why why = Why::Send;
    QString replacedBy;  // for a send: the file that replaced the item
    QString file;        // the copy's file name inside the store's folder
};

class Store {
public:
    // The user's store; `folder` elsewhere for tests.
    explicit Store(QString folder = defaultFolder());
    static QString defaultFolder();

    QString folder() const { return folder_; }
    // Newest first. Throws platform::SystemError when the index is damaged.
    std::vector<Copy> copies() const;
    std::optional<Copy> find(CopyId id) const;
    QString filePath(const Copy& copy) const;
    // Reads the copy's item for sending back, from its own regular file (never through a
    // symbolic link); throws platform::SystemError when those bytes are no longer the ones
    // that were kept (the SHA-256 differs), FileError when the file cannot be read.
    void loadChecked(const Copy& copy, EkDataFile& item) const;

    // Keeps `item` as the copy of what `slot` held; returns it. Throws platform::SystemError
    // (or FileError) when it cannot be written: the caller then changes nothing.
    Copy add(EkDataFile& item, const SlotAddress& slot, Why why, const QString& replacedBy = {});
    // Removes a copy and its file; false when there is none of that id.
    bool remove(CopyId id);

private:
    void writeIndex(const std::vector<Copy>& copies) const;
    void prune(std::vector<Copy>& copies) const;

    QString folder_;
};

// Holds one file of the store's folder for one change of it: two programs of the user (a
// window and a script on two keyboards) may change the store at the same time. Throws
// platform::SystemError with the code `held` when another holds it longer than a change takes,
// FileError with the system's reason when it cannot be had.
class StoreLock {
public:
    StoreLock(const QString& folder, const QString& lockName, platform::ErrorCode held);

private:
    platform::FileLock lock_;
};

// The SHA-256 of a file, hexadecimal; throws FileError when it cannot be read.
QString sha256Of(const QString& path);

// A copy as one JSON object, as the index keeps it: id, slot (as SLOT is written, "song:0"),
// name, type, size, sha256, time, why, replacedBy and file (its name in the store).
QJsonObject toJson(const Copy& copy);

// The text of `why` in the index and the command-line tool's output ("send", "delete").
QString whyText(Why why);

// What the user is told when a song slot was emptied by a failed send whose old song was kept.
QString keptCopyText(const Copy& copy, const Store& store, const MsgStr& messages);

}  // namespace safety
