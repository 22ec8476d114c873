#include "versionstore.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimeZone>
#include <QVariant>
#include <algorithm>
#include <atomic>
#include <limits>
#include <tuple>

#include "data/ekdatafile.h"
#include "library/libraryindex.h"
#include "library/owndatabase.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"

namespace versions {
namespace {

// The layout of the table below.
constexpr int kFormat = 1;
constexpr const char* kItemsFolder = "items";
// Item files are spread over folders by their hash's first characters, so that no folder
// holds more than a few thousand.
constexpr int kSpreadChars = 2;

std::atomic<int> connections{0};

constexpr std::pair<How, const char*> kHowWords[] = {
    {How::Fetched, "fetched"}, {How::Sent, "sent"}, {How::Emptied, "emptied"}};

const char* const kColumns =
    "id, keyboard, slot, type, name, size, sha256, at, how, source, confirmed";

// The slots in the keyboard's order: tones, DSP settings, registrations, songs, rhythms.
int kindRank(const QString& kind) {
    static const QStringList kinds{"tone", "dsp", "reg", "song", "rhythm"};
    const qsizetype rank = kinds.indexOf(kind);
    return rank < 0 ? int(kinds.size()) : int(rank);
}

bool inSlotOrder(const Version& a, const Version& b) {
    return std::tuple(kindRank(a.slot.kind), a.slot.bank, a.slot.number) <
           std::tuple(kindRank(b.slot.kind), b.slot.bank, b.slot.number);
}

[[noreturn]] void failed(const QSqlQuery& query, const QString& path) {
    throw platform::FileError(platform::ErrorCode::CannotWrite, QDir::toNativeSeparators(path),
                              query.lastError().text());
}

}  // namespace

QString howText(How how) {
    for (const auto& [each, word] : kHowWords) {
        if (each == how) {
            return QString::fromLatin1(word);
        }
    }
    return {};
}

std::optional<How> howNamed(const QString& word) {
    for (const auto& [each, text] : kHowWords) {
        if (word == QLatin1String(text)) {
            return each;
        }
    }
    return std::nullopt;
}

Store::Store(QString folder)
    : folder_(std::move(folder)), connection_(QString("nvbman-versions-%1").arg(++connections)) {
    library::openOwnDatabase(
        connection_, QDir(folder_).filePath(kTableFile), kFormat,
        {"CREATE TABLE versions (id INTEGER PRIMARY KEY, keyboard TEXT NOT NULL, "
         "slot TEXT NOT NULL, type INTEGER NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, "
         "sha256 TEXT NOT NULL, at INTEGER NOT NULL, how TEXT NOT NULL, source TEXT NOT NULL, "
         "confirmed INTEGER NOT NULL)",
         "CREATE INDEX versions_by_slot ON versions (keyboard, slot, at)",
         "CREATE INDEX versions_by_item ON versions (sha256)",
         "CREATE TABLE taken_in (what TEXT PRIMARY KEY, at INTEGER NOT NULL)",
         // From here on versions are recorded as they are made: only an older past is taken in.
         "INSERT INTO taken_in VALUES ('created', "
         "CAST((julianday('now') - 2440587.5) * 86400000 AS INTEGER))",
         "PRAGMA user_version = 1"},
        platform::ErrorCode::VersionsUnreadable, platform::ErrorCode::VersionsOfNewerProgram);
}

Store::~Store() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

QString Store::defaultFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/NvbMan/versions");
}

QString Store::itemPath(const QString& sha256) const {
    return QDir(folder_).filePath(QString("%1/%2/%3%4")
                                      .arg(QLatin1String(kItemsFolder), sha256.left(kSpreadChars),
                                           sha256, QLatin1String(NvbFileStream::kSuffix)));
}

Version Store::record(Version version, const EkDataFile* item) {
    // The item's file and its row in one writer's turn: a prune in another program cannot take
    // the file away between the two.
    writing([&] { insertVersion(version, item); });
    return version;
}

void Store::insertVersion(Version& version, const EkDataFile* item) {
    if (item != nullptr) {
        version.sha256 = library::Index::itemHash(*item);
        version.type = item->type();
        version.size = item->size();
        version.name = transfer::keyboardText(item->name());
        const QString path = itemPath(version.sha256);
        const QFileInfo file(path);
        // An item's file is never written twice, nor through a link someone put in its place.
        if (file.isSymLink()) {
            throw platform::FileError(platform::ErrorCode::CannotWrite,
                                      QDir::toNativeSeparators(path),
                                      QStringLiteral("a symbolic link"));
        }
        if (!file.exists()) {
            QDir().mkpath(file.absolutePath());
            EkDataFile copy(item->type());
            copy.adopt(*item);
            copy.words() = item->words();
            NvbFileStream(path, NvbFileStream::Create).write(copy);
        }
    } else {
        version.sha256.clear();
    }
    QSqlQuery insert(QSqlDatabase::database(connection_, false));
    insert.prepare(
        "INSERT INTO versions (keyboard, slot, type, name, size, sha256, at, how, source, "
        "confirmed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    // A null text would be stored as NULL: the columns hold empty ones.
    const auto text = [](const QString& value) {
        return QVariant(value.isNull() ? QStringLiteral("") : value);
    };
    for (const QVariant& value :
         {text(version.keyboard), QVariant(version.slot.text()), QVariant(int(version.type)),
          text(version.name), QVariant(qint64(version.size)), text(version.sha256),
          QVariant(version.at.toMSecsSinceEpoch()), QVariant(howText(version.how)),
          text(version.source), QVariant(version.confirmed ? 1 : 0)}) {
        insert.addBindValue(value);
    }
    if (!insert.exec()) {
        failed(insert, QDir(folder_).filePath(kTableFile));
    }
    version.id = insert.lastInsertId().toLongLong();
}

void Store::inOneTransaction(const std::function<void()>& work) {
    writing(work);
}

void Store::writing(const std::function<void()>& work) {
    if (writing_) {
        work();  // inside a turn already
        return;
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const QString table = QDir(folder_).filePath(kTableFile);
    // IMMEDIATE: the write lock from the start (waiting for another writer up to the busy
    // time-out), not at the first write.
    QSqlQuery begin(db);
    if (!begin.exec("BEGIN IMMEDIATE")) {
        failed(begin, table);
    }
    writing_ = true;
    try {
        work();
    } catch (...) {
        writing_ = false;
        QSqlQuery(db).exec("ROLLBACK");
        throw;
    }
    writing_ = false;
    QSqlQuery commit(db);
    if (!commit.exec("COMMIT")) {
        QSqlQuery(db).exec("ROLLBACK");
        failed(commit, table);
    }
}

std::vector<Version> Store::select(const QString& where, const QVariantList& values) const {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(QString("SELECT %1 FROM versions WHERE %2").arg(QLatin1String(kColumns), where));
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        throw platform::SystemError(
            platform::ErrorCode::VersionsUnreadable,
            {QDir::toNativeSeparators(QDir(folder_).filePath(kTableFile)), query.lastError().text()});
    }
    std::vector<Version> found;
    while (query.next()) {
        const auto slot = SlotAddress::parse(query.value(2).toString());
        const auto how = howNamed(query.value(8).toString());
        if (!slot || !how) {
            continue;  // a row of a later program's: not ours to read
        }
        found.push_back({query.value(0).toLongLong(), query.value(1).toString(), *slot,
                         std::uint16_t(query.value(3).toUInt()), query.value(4).toString(),
                         std::uint32_t(query.value(5).toLongLong()), query.value(6).toString(),
                         QDateTime::fromMSecsSinceEpoch(query.value(7).toLongLong(), QTimeZone::utc()),
                         *how, query.value(9).toString(), query.value(10).toInt() != 0});
    }
    return found;
}

std::vector<Version> Store::ofSlot(const QString& keyboard, const SlotAddress& slot) const {
    return select("keyboard IN (?, '') AND slot = ? ORDER BY at DESC, id DESC",
                  {keyboard, slot.text()});
}

std::vector<Version> Store::ofItem(const QString& sha256) const {
    return select("sha256 = ? ORDER BY at DESC, id DESC", {sha256});
}

std::vector<Version> Store::asOf(const QString& keyboard, const QDateTime& when) const {
    // One look-up per slot through the index: a keyboard has a few dozen slots, and a slot
    // may have thousands of versions.
    QSqlQuery slotQuery(QSqlDatabase::database(connection_, false));
    slotQuery.prepare("SELECT DISTINCT slot FROM versions WHERE keyboard IN (?, '')");
    slotQuery.addBindValue(keyboard);
    QStringList names;
    if (slotQuery.exec()) {
        while (slotQuery.next()) {
            names << slotQuery.value(0).toString();
        }
    }
    std::vector<Version> found;
    for (const QString& slot : names) {
        const std::vector<Version> newest =
            select("keyboard IN (?, '') AND slot = ? AND at <= ? ORDER BY at DESC, id DESC "
                   "LIMIT 1",
                   {keyboard, slot, when.toMSecsSinceEpoch()});
        found.insert(found.end(), newest.begin(), newest.end());
    }
    std::sort(found.begin(), found.end(), inSlotOrder);
    return found;
}

std::vector<Version> Store::latest(const QString& keyboard) const {
    return asOf(keyboard, QDateTime::fromMSecsSinceEpoch(std::numeric_limits<qint64>::max() / 2));
}

QStringList Store::keyboards() const {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    QStringList found;
    if (query.exec("SELECT DISTINCT keyboard FROM versions ORDER BY keyboard")) {
        while (query.next()) {
            found << query.value(0).toString();
        }
    }
    return found;
}

bool Store::wasTakenIn(const QString& what) const {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT 1 FROM taken_in WHERE what = ?");
    query.addBindValue(what);
    return query.exec() && query.next();
}

QDateTime Store::createdAt() const {
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    if (query.exec("SELECT at FROM taken_in WHERE what = 'created'") && query.next()) {
        return QDateTime::fromMSecsSinceEpoch(query.value(0).toLongLong(), QTimeZone::utc());
    }
    return {};
}

void Store::markTakenIn(const QString& what) {
    QSqlQuery insert(QSqlDatabase::database(connection_, false));
    insert.prepare("INSERT OR REPLACE INTO taken_in (what, at) VALUES (?, ?)");
    insert.addBindValue(what);
    insert.addBindValue(QDateTime::currentMSecsSinceEpoch());
    if (!insert.exec()) {
        failed(insert, QDir(folder_).filePath(kTableFile));
    }
}

std::optional<Version> Store::find(std::int64_t id) const {
    const std::vector<Version> found = select("id = ?", {qint64(id)});
    return found.empty() ? std::nullopt : std::optional(found.front());
}

void Store::loadItem(const Version& version, EkDataFile& item) const {
    const QString path = itemPath(version.sha256);
    const QStringList said{QString::number(version.id), version.slot.text(),
                           QDir::toNativeSeparators(path)};
    if (!QFileInfo(path).isFile()) {
        throw platform::SystemError(platform::ErrorCode::VersionItemMissing, said);
    }
    try {
        transfer::loadPlainFile(path, item);
    } catch (const platform::SystemError&) {
        throw platform::SystemError(platform::ErrorCode::VersionItemDamaged, said);
    }
    // A file cut short holds fewer data bytes than its header gives: no item to hash.
    if (item.words().size() * 2 < item.size() ||
        library::Index::itemHash(item) != version.sha256) {
        throw platform::SystemError(platform::ErrorCode::VersionItemDamaged, said);
    }
    // An item whose name is not in its data (its file's header holds it) takes the version's;
    // one whose data holds it keeps what the hash was checked against.
    if (EkDataFile::nameOffsetInData(item.type()) < 0) {
        item.storeName(version.name.toLatin1().toStdString());
    }
}

Store::Pruned Store::prune(const QDateTime& before) {
    Pruned pruned;
    writing([&] { pruned = pruneWhileWriting(before); });
    return pruned;
}

Store::Pruned Store::pruneWhileWriting(const QDateTime& before) {
    Pruned pruned;
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery forget(db);
    forget.prepare(
        "DELETE FROM versions WHERE at < ? AND id NOT IN "
        "(SELECT MAX(id) FROM versions GROUP BY keyboard, slot, sha256)");
    forget.addBindValue(before.toMSecsSinceEpoch());
    if (!forget.exec()) {
        failed(forget, QDir(folder_).filePath(kTableFile));
    }
    pruned.versions = forget.numRowsAffected();
    QSet<QString> named;
    QSqlQuery items(db);
    if (!items.exec("SELECT DISTINCT sha256 FROM versions")) {
        failed(items, QDir(folder_).filePath(kTableFile));
    }
    while (items.next()) {
        named.insert(items.value(0).toString());
    }
    QDirIterator files(QDir(folder_).filePath(kItemsFolder), {QString("*") + NvbFileStream::kSuffix},
                       QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QFileInfo file = files.nextFileInfo();
        if (!named.contains(file.completeBaseName()) && QFile::remove(file.filePath())) {
            ++pruned.items;
            pruned.bytes += file.size();
        }
    }
    return pruned;
}

std::int64_t Store::itemBytes() const {
    std::int64_t bytes = 0;
    QDirIterator files(QDir(folder_).filePath(kItemsFolder), QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        bytes += files.nextFileInfo().size();
    }
    return bytes;
}

}  // namespace versions
