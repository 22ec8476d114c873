#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

class EkDataFile;
class MsgStr;

// An index of the user's keyboard files: every item of every ".nvb" and ".syx" file under the
// folders the user keeps them in, with its type, name, size and the SHA-256 of its data, kept in
// an SQLite database in the data folder. Scans are incremental: a file whose size and time are
// those the index holds is not read again. The index is only a cache of the files: a damaged
// database is set aside and built again from them.
namespace library {

// One item of a file.
struct Entry {
    QString path;   // the file's absolute path
    int index = 0;  // the item's place in the file (0 for a ".nvb" file)
    std::uint16_t type = 0;
    QString name;  // as the keyboard keeps it, 8 characters
    std::uint32_t size = 0;
    QString sha256;  // of the item's type, size and data (itemHash)
    QDateTime modified;
    int copies = 1;  // the items of the index with this hash, this one included
};

// What a scan did.
struct ScanSummary {
    int files = 0;         // keyboard files found under the folders
    int read = 0;          // of those, read because they were new or had changed
    int removed = 0;       // files the index held that are gone
    QStringList problems;  // folders or files that could not be read, each with the reason
    QStringList folders;   // every folder walked, the scanned ones and those below them
};

class Index {
public:
    // Opens the index at `databasePath` (created when missing). Throws platform::SystemError
    // when it can neither be opened nor built anew.
    explicit Index(const QString& databasePath = defaultPath());
    ~Index();
    Index(const Index&) = delete;
    Index& operator=(const Index&) = delete;

    static QString defaultPath();

    // Brings the index up to date with `folders` (none: those scanned before), each with
    // everything below it (symbolic links
    // are not followed, so a loop of them is walked once): new and changed files are read,
    // files gone are dropped, files under other folders are left as they are. The problems are
    // worded by `messages`. `stop`, asked between files, ends the scan early with what it has
    // done kept.
    ScanSummary scan(const QStringList& folders, const MsgStr& messages,
                     const std::function<bool()>& stop = {});
    // The folders scanned so far, which a scan without folders of its own goes over again.
    QStringList folders() const;
    // What a scan of the whole library goes over: `preferred` (the preferences' library
    // folders) and, after them, the folders scanned before (another program may have added some).
    QStringList foldersWith(const QStringList& preferred) const;
    // Leaves `folder` out of the index: it is not scanned again and its files are dropped
    // (those of other folders it holds too are kept).
    void forgetFolder(const QString& folder);

    // The items whose name contains `text` (in any case), of `type` when given, by path.
    std::vector<Entry> find(const QString& text, std::optional<std::uint16_t> type = {}) const;
    // The items with this hash: the files that hold that very item.
    std::vector<Entry> holding(const QString& sha256) const;
    // Whether the index holds an item of `type` and `size`: only such an item can be the same
    // as a keyboard item of that type and size.
    bool holdsShape(std::uint16_t type, std::uint32_t size) const;
    // The items of `type` and `size` named `name`.
    std::vector<Entry> named(std::uint16_t type, std::uint32_t size, const QString& name) const;
    // The items found more than once (in several files, or twice in one dump), by hash.
    std::vector<Entry> duplicates() const;

    // The hash the index keeps of an item: SHA-256 over its type (2 bytes), size (4 bytes) and
    // data bytes, so the same item has one hash in a ".nvb" and a ".syx" file.
    static QString itemHash(const EkDataFile& item);
    // The hashes of a keyboard file's items (a ".nvb" file's one item, a dump's every item), in
    // the file's order. Throws the file's errors.
    static QStringList hashesOf(const QString& path);

private:
    void open();
    void createTables();
    std::vector<Entry> select(const QString& where, const QVariantList& values) const;

    QString path_;
    QString connection_;
    QSqlDatabase database_;
};

}  // namespace library
