#include "libraryindex.h"

#include <dirent.h>

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <atomic>
#include <cerrno>

#include "data/ekdatafile.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "syx/syxdump.h"

namespace library {

namespace {

constexpr const char* kDriver = "QSQLITE";
// How long an open waits for another program that is writing the index (a second scan).
constexpr const char* kWaitForOthers = "QSQLITE_BUSY_TIMEOUT=10000";
// The layout of the tables below; an index of another layout is built again.
constexpr int kFormat = 1;
constexpr int kHashBytesOfType = 2;
constexpr int kHashBytesOfSize = 4;
constexpr int kByteBits = 8;

std::atomic<int> connections{0};

struct FileStamp {
    qint64 size = 0;
    qint64 modified = 0;  // ms since the epoch
};

QString escapedForLike(QString text) {
    text.replace('\\', "\\\\").replace('%', "\\%").replace('_', "\\_");
    return '%' + text + '%';
}

// The items of a keyboard file: its one item, or a dump's whole items.
std::vector<std::unique_ptr<EkDataFile>> itemsOf(const QString& path) {
    std::vector<std::unique_ptr<EkDataFile>> items;
    if (syx::isDumpFile(path)) {
        for (const syx::DumpedItem& found : syx::readDumpFile(path).items) {
            auto item = std::make_unique<EkDataFile>(DataType::NoType);
            found.fill(*item);
            items.push_back(std::move(item));
        }
        return items;
    }
    auto item = std::make_unique<EkDataFile>(DataType::NoType);
    NvbFileStream(path, NvbFileStream::OpenRead).read(*item);
    items.push_back(std::move(item));
    return items;
}

bool isKeyboardFile(const QString& path) {
    return path.endsWith(QLatin1String(NvbFileStream::kSuffix), Qt::CaseInsensitive) ||
           syx::isDumpFile(path);
}


// The names in `folder` that are not valid UTF-8 (made on another system, or by a program that
// wrote raw bytes), decoded with replacement characters for saying them. Qt's directory walk
// leaves such entries out without a word, and no path Qt can build opens them; hidden ones
// are left out as the walk leaves them out.
QStringList namesNotInEncoding(const QString& folder) {
    QStringList names;
    DIR* entries = ::opendir(QFile::encodeName(folder).constData());
    if (entries == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(entries)) {
        const QByteArrayView name(entry->d_name);
        if (!name.startsWith('.') && !QUtf8StringView(name).isValidUtf8()) {
            names << QString::fromUtf8(name);
        }
    }
    ::closedir(entries);
    return names;
}

}  // namespace

QString Index::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/NvbMan/library.sqlite");
}

Index::Index(const QString& databasePath)
    : path_(databasePath), connection_(QString("nvbman-library-%1").arg(++connections)) {
    open();
}

Index::~Index() {
    database_.close();
    database_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

void Index::open() {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    database_ = QSqlDatabase::addDatabase(kDriver, connection_);
    database_.setDatabaseName(path_);
    database_.setConnectOptions(kWaitForOthers);
    const auto usable = [this] {
        if (!database_.open()) {
            return false;
        }
        QSqlQuery check(database_);
        if (!check.exec("PRAGMA quick_check") || !check.next() ||
            check.value(0).toString() != QLatin1String("ok")) {
            return false;
        }
        QSqlQuery format(database_);
        if (!format.exec("PRAGMA user_version") || !format.next()) {
            return false;
        }
        if (format.value(0).toInt() == kFormat) {
            return true;
        }
        // Version 0 is a new, empty file; one with tables of its own is another program's.
        QSqlQuery tables(database_);
        return format.value(0).toInt() == 0 &&
               tables.exec("SELECT count(*) FROM sqlite_master") && tables.next() &&
               tables.value(0).toInt() == 0;
    };
    if (!usable()) {
        // Only a cache of the files: set aside, for whoever wants to look, and built again.
        database_.close();
        const QString aside =
            path_ + ".damaged-" + QDateTime::currentDateTimeUtc().toString("yyyyMMddTHHmmss");
        if (QFileInfo::exists(path_) && !QFile::rename(path_, aside)) {
            QFile::remove(path_);
        }
        if (!database_.open()) {
            throw platform::FileError(platform::ErrorCode::CannotOpen, path_,
                                      database_.lastError().text());
        }
    }
    // A scan on another thread (or in another program) writes while the window reads: with a
    // write-ahead log readers see the last committed state instead of waiting for the writer.
    QSqlQuery("PRAGMA journal_mode=WAL", database_);
    createTables();
}

void Index::createTables() {
    QSqlQuery query(database_);
    for (const char* statement :
         {"CREATE TABLE IF NOT EXISTS files (path TEXT PRIMARY KEY, size INTEGER NOT NULL, "
          "modified INTEGER NOT NULL)",
          "CREATE TABLE IF NOT EXISTS items (path TEXT NOT NULL, idx INTEGER NOT NULL, "
          "type INTEGER NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, "
          "sha256 TEXT NOT NULL, PRIMARY KEY (path, idx))",
          "CREATE INDEX IF NOT EXISTS items_by_hash ON items (sha256)",
          "CREATE INDEX IF NOT EXISTS items_by_shape ON items (type, size, name)",
          "CREATE TABLE IF NOT EXISTS folders (path TEXT PRIMARY KEY)"}) {
        if (!query.exec(statement)) {
            throw platform::FileError(platform::ErrorCode::CannotWrite, path_,
                                      query.lastError().text());
        }
    }
    query.exec(QString("PRAGMA user_version = %1").arg(kFormat));
}

QStringList Index::hashesOf(const QString& path) {
    QStringList hashes;
    for (const auto& item : itemsOf(path)) {
        hashes << itemHash(*item);
    }
    return hashes;
}

QString Index::itemHash(const EkDataFile& item) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray head;
    for (int i = kHashBytesOfType - 1; i >= 0; --i) {
        head.append(char((item.type() >> (kByteBits * i)) & 0xFF));
    }
    for (int i = kHashBytesOfSize - 1; i >= 0; --i) {
        head.append(char((item.size() >> (kByteBits * i)) & 0xFF));
    }
    hash.addData(head);
    QByteArray data(qsizetype(item.size()), Qt::Uninitialized);
    for (std::uint32_t i = 0; i < item.size(); ++i) {
        data[qsizetype(i)] = char(item.dataByte(i));
    }
    hash.addData(data);
    return QString::fromLatin1(hash.result().toHex());
}

ScanSummary Index::scan(const QStringList& folders, const MsgStr& messages,
                        const std::function<bool()>& stop) {
    ScanSummary summary;
    QHash<QString, FileStamp> known;
    {
        QSqlQuery query("SELECT path, size, modified FROM files", database_);
        while (query.next()) {
            known.insert(query.value(0).toString(),
                         {query.value(1).toLongLong(), query.value(2).toLongLong()});
        }
    }
    QSqlQuery dropItems(database_);
    dropItems.prepare("DELETE FROM items WHERE path = ?");
    QSqlQuery dropFile(database_);
    dropFile.prepare("DELETE FROM files WHERE path = ?");
    QSqlQuery addItem(database_);
    addItem.prepare(
        "INSERT INTO items (path, idx, type, name, size, sha256) "
        "VALUES (?, ?, ?, ?, ?, ?)");
    QSqlQuery stampFile(database_);
    stampFile.prepare("INSERT OR REPLACE INTO files (path, size, modified) VALUES (?, ?, ?)");
    // Every write is checked: a scan that stored nothing must not say it scanned (a database
    // held by another program, a full disk). What it wrote so far is rolled back.
    const auto run = [this](QSqlQuery& query) {
        if (!query.exec()) {
            const QString reason = query.lastError().text();
            database_.rollback();
            throw platform::FileError(platform::ErrorCode::CannotWrite, path_, reason);
        }
    };
    const auto forget = [&](const QString& path) {
        dropItems.addBindValue(path);
        run(dropItems);
        dropFile.addBindValue(path);
        run(dropFile);
    };

    const QStringList roots = folders.isEmpty() ? this->folders() : folders;
    if (!database_.transaction()) {
        throw platform::FileError(platform::ErrorCode::CannotWrite, path_,
                                  database_.lastError().text());
    }
    QSqlQuery addFolder(database_);
    addFolder.prepare("INSERT OR IGNORE INTO folders (path) VALUES (?)");
    QSet<QString> seen;
    // The program's own data (kept copies, the built-in keyboard, this index) is never a file
    // of the user's, wherever the data folder lies: a kept copy counted as a backup would say
    // an item is on the PC when only a copy that is pruned holds it.
    const QString ownData =
        QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/NvbMan")) +
        '/';
    const auto isOwnData = [&ownData](const QString& path) {
        return (QDir::cleanPath(path) + '/').startsWith(ownData);
    };
    const auto sayNamesNotInEncoding = [&](const QString& folder) {
        for (const QString& name : namesNotInEncoding(folder)) {
            summary.problems << platform::errorText(
                {platform::ErrorCode::NameNotInEncoding,
                 {QDir::toNativeSeparators(folder + '/' + name)}},
                messages.isJapanese());
        }
    };
    for (const QString& given : roots) {
        const QString folder = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
        if (!QFileInfo(folder).isDir()) {
            summary.problems << platform::errorText(
                {platform::ErrorCode::NotAFolder, {QDir::toNativeSeparators(folder)}},
                messages.isJapanese());
            continue;
        }
        summary.folders << folder;
        sayNamesNotInEncoding(folder);
        addFolder.addBindValue(folder);
        run(addFolder);
        // Symbolic links are not followed: a link back up the tree would make the walk endless.
        // Hidden files and folders are left out: a library over the home folder would
        // otherwise take in the desktop's trash, caches and the program's own kept copies.
        QDirIterator walk(folder, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                          QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            if (stop && stop()) {
                if (!database_.commit()) {
                    throw platform::FileError(platform::ErrorCode::CannotWrite, path_,
                                              database_.lastError().text());
                }
                return summary;
            }
            const QString path = walk.next();
            const QFileInfo info = walk.fileInfo();
            if (isOwnData(path)) {
                continue;
            }
            if (info.isDir()) {
                if (!info.isReadable() && !info.isSymLink()) {
                    summary.problems << platform::errorText(
                        {platform::ErrorCode::CannotRead,
                         {QDir::toNativeSeparators(path), qt_error_string(EACCES)}},
                        messages.isJapanese());
                } else if (!info.isSymLink()) {
                    summary.folders << path;
                    sayNamesNotInEncoding(path);
                }
                continue;
            }
            // A file under two of the folders (one inside the other) is one file.
            if (info.isSymLink() || !isKeyboardFile(path) || seen.contains(path)) {
                continue;
            }
            ++summary.files;
            seen.insert(path);
            const FileStamp stamp{info.size(), info.lastModified().toMSecsSinceEpoch()};
            const auto was = known.constFind(path);
            if (was != known.constEnd() && was->size == stamp.size &&
                was->modified == stamp.modified) {
                continue;
            }
            ++summary.read;
            forget(path);
            decltype(itemsOf(path)) items;
            try {
                items = itemsOf(path);
            } catch (...) {
                if (!QFileInfo::exists(path)) {
                    // Gone while the scan ran: no longer a file of the user's.
                    --summary.files;
                    seen.remove(path);
                    continue;
                }
                // Kept with no items, so that it is not read again until it changes.
                summary.problems << QDir::toNativeSeparators(path) + ": " +
                                        currentErrorText(messages);
            }
            for (std::size_t i = 0; i < items.size(); ++i) {
                const EkDataFile& item = *items[i];
                addItem.addBindValue(path);
                addItem.addBindValue(int(i));
                addItem.addBindValue(int(item.type()));
                addItem.addBindValue(transfer::keyboardText(item.name()));
                addItem.addBindValue(qint64(item.size()));
                addItem.addBindValue(itemHash(item));
                run(addItem);
            }
            stampFile.addBindValue(path);
            stampFile.addBindValue(stamp.size);
            stampFile.addBindValue(stamp.modified);
            run(stampFile);
        }
        // The files of this folder the index knew and the walk did not find are gone.
        const QString prefix = folder.endsWith('/') ? folder : folder + '/';
        for (auto it = known.constBegin(); it != known.constEnd(); ++it) {
            if (it.key().startsWith(prefix) && !seen.contains(it.key())) {
                forget(it.key());
                ++summary.removed;
            }
        }
    }
    if (!database_.commit()) {
        throw platform::FileError(platform::ErrorCode::CannotWrite, path_,
                                  database_.lastError().text());
    }
    return summary;
}

QStringList Index::folders() const {
    QStringList found;
    QSqlQuery query("SELECT path FROM folders ORDER BY path", database_);
    while (query.next()) {
        found << query.value(0).toString();
    }
    return found;
}

QStringList Index::foldersWith(const QStringList& preferred) const {
    QStringList all = preferred;
    for (const QString& known : folders()) {
        if (!all.contains(known)) {
            all << known;
        }
    }
    return all;
}

void Index::forgetFolder(const QString& given) {
    const QString folder = QDir::cleanPath(QFileInfo(given).absoluteFilePath());
    const QString under = folder.endsWith('/') ? folder : folder + '/';
    QStringList kept;
    for (const QString& other : folders()) {
        if (other != folder && other.startsWith(folder + '/')) {
            kept << other;
        }
    }
    database_.transaction();
    QSqlQuery query(database_);
    query.prepare("DELETE FROM folders WHERE path = ?");
    query.addBindValue(folder);
    query.exec();
    // Compared here, not with LIKE: SQLite's LIKE ignores the case, file names do not.
    QSqlQuery files("SELECT path FROM files", database_);
    QStringList gone;
    while (files.next()) {
        const QString path = files.value(0).toString();
        if (!path.startsWith(under)) {
            continue;
        }
        const bool keep = std::any_of(kept.cbegin(), kept.cend(), [&](const QString& other) {
            return path.startsWith(other + '/');
        });
        if (!keep) {
            gone << path;
        }
    }
    for (const QString& path : gone) {
        for (const char* statement :
             {"DELETE FROM items WHERE path = ?", "DELETE FROM files WHERE path = ?"}) {
            query.prepare(statement);
            query.addBindValue(path);
            query.exec();
        }
    }
    if (!database_.commit()) {
        throw platform::FileError(platform::ErrorCode::CannotWrite, path_,
                                  database_.lastError().text());
    }
}

std::vector<Entry> Index::select(const QString& where, const QVariantList& values) const {
    QSqlQuery query(database_);
    // The copies of each item found are counted once per item, not once per row: a row's own
    // count would read every copy again, the square of the copies in all.
    query.prepare(
        "WITH chosen AS (SELECT items.path AS path, idx, type, name, items.size AS size, sha256, "
        "files.modified AS modified FROM items JOIN files ON files.path = items.path WHERE " +
        where +
        "), counts AS (SELECT sha256, COUNT(*) AS copies FROM items "
        "WHERE sha256 IN (SELECT sha256 FROM chosen) GROUP BY sha256) "
        "SELECT chosen.path, idx, type, name, chosen.size, chosen.sha256, modified, copies "
        "FROM chosen JOIN counts ON counts.sha256 = chosen.sha256 ORDER BY chosen.path, idx");
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    std::vector<Entry> entries;
    if (!query.exec()) {
        throw platform::FileError(platform::ErrorCode::CannotRead, path_, query.lastError().text());
    }
    while (query.next()) {
        entries.push_back({query.value(0).toString(), query.value(1).toInt(),
                           std::uint16_t(query.value(2).toInt()), query.value(3).toString(),
                           std::uint32_t(query.value(4).toLongLong()), query.value(5).toString(),
                           QDateTime::fromMSecsSinceEpoch(query.value(6).toLongLong()),
                           query.value(7).toInt()});
    }
    return entries;
}

std::vector<Entry> Index::find(const QString& text, std::optional<std::uint16_t> type) const {
    if (type) {
        return select("name LIKE ? ESCAPE '\\' AND type = ?", {escapedForLike(text), int(*type)});
    }
    return select("name LIKE ? ESCAPE '\\'", {escapedForLike(text)});
}

std::vector<Entry> Index::holding(const QString& sha256) const {
    return select("sha256 = ?", {sha256});
}

bool Index::holdsShape(std::uint16_t type, std::uint32_t size) const {
    QSqlQuery query(database_);
    query.prepare("SELECT 1 FROM items WHERE type = ? AND size = ? LIMIT 1");
    query.addBindValue(int(type));
    query.addBindValue(qint64(size));
    if (!query.exec()) {
        throw platform::FileError(platform::ErrorCode::CannotRead, path_, query.lastError().text());
    }
    return query.next();
}

std::vector<Entry> Index::named(std::uint16_t type, std::uint32_t size, const QString& name) const {
    return select("type = ? AND items.size = ? AND name = ?", {int(type), qint64(size), name});
}

std::vector<Entry> Index::duplicates() const {
    return select("sha256 IN (SELECT sha256 FROM items GROUP BY sha256 HAVING COUNT(*) > 1)", {});
}

}  // namespace library
