#include "itemtags.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>
#include <algorithm>
#include <atomic>

#include "owndatabase.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"

namespace library {
namespace {

// The layout of the tables below, and of an exported file.
constexpr int kFormat = 1;
// An exported file larger than this is no file of ours (tags of a hundred thousand items
// take a few megabytes).
constexpr qint64 kMaxExportBytes = 64 * 1024 * 1024;

std::atomic<int> connections{0};

bool hasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.category() == QChar::Other_Control; });
}

// A text as a message can show it: control characters written as \xNN.
QString shown(const QString& text) {
    QString result;
    for (const QChar c : text) {
        result += c.category() == QChar::Other_Control
                      ? QString("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                      : QString(c);
    }
    return result;
}


void run(QSqlQuery& query, const QString& path) {
    if (!query.exec()) {
        throw platform::FileError(platform::ErrorCode::CannotWrite, QDir::toNativeSeparators(path),
                                  query.lastError().text());
    }
}

}  // namespace

TagStore::TagStore(const QString& databasePath)
    : path_(databasePath), connection_(QString("nvbman-tags-%1").arg(++connections)) {
    open();
}

TagStore::~TagStore() {
    QSqlDatabase::database(connection_, false).close();
    QSqlDatabase::removeDatabase(connection_);
}

QString TagStore::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/NvbMan/tags.sqlite");
}

QSqlDatabase TagStore::database() const {
    return QSqlDatabase::database(connection_, false);
}

void TagStore::open() {
    openOwnDatabase(connection_, path_, kFormat,
                    {"CREATE TABLE tags (sha256 TEXT NOT NULL, tag TEXT NOT NULL, "
                     "PRIMARY KEY (sha256, tag))",
                     "CREATE INDEX tags_by_tag ON tags (tag COLLATE NOCASE)",
                     "CREATE TABLE notes (sha256 TEXT PRIMARY KEY, note TEXT NOT NULL)",
                     "PRAGMA user_version = 1"},
                    platform::ErrorCode::TagsUnreadable, platform::ErrorCode::TagsOfNewerProgram);
}

QString TagStore::checkedTag(const QString& tag) {
    const QString trimmed = tag.trimmed();
    if (hasControl(trimmed)) {
        throw platform::SystemError(platform::ErrorCode::TagHasControl, {shown(trimmed)});
    }
    if (trimmed.isEmpty()) {
        throw platform::SystemError(platform::ErrorCode::TagEmpty);
    }
    if (trimmed.size() > kMaxTagLength) {
        throw platform::SystemError(platform::ErrorCode::TagTooLong,
                                    {trimmed, QString::number(kMaxTagLength)});
    }
    return trimmed;
}

void TagStore::checkNote(const QString& note) {
    if (hasControl(note)) {
        throw platform::SystemError(platform::ErrorCode::TagHasControl, {shown(note)});
    }
}

ItemTags TagStore::of(const QString& sha256) const {
    ItemTags item{sha256, {}, {}};
    QSqlQuery tags(database());
    tags.prepare("SELECT tag FROM tags WHERE sha256 = ? ORDER BY tag COLLATE NOCASE");
    tags.addBindValue(sha256);
    if (tags.exec()) {
        while (tags.next()) {
            item.tags << tags.value(0).toString();
        }
    }
    QSqlQuery note(database());
    note.prepare("SELECT note FROM notes WHERE sha256 = ?");
    note.addBindValue(sha256);
    if (note.exec() && note.next()) {
        item.note = note.value(0).toString();
    }
    return item;
}

void TagStore::change(const QStringList& sha256s, const QStringList& added,
                      const QStringList& removed, const std::optional<QString>& note) {
    QStringList adding;
    for (const QString& tag : added) {
        adding << checkedTag(tag);
    }
    QStringList removing;
    for (const QString& tag : removed) {
        removing << checkedTag(tag);
    }
    if (note) {
        checkNote(*note);
    }
    QSqlDatabase db = database();
    db.transaction();
    try {
        for (const QString& sha256 : sha256s) {
            for (const QString& tag : removing) {
                QSqlQuery remove(db);
                remove.prepare("DELETE FROM tags WHERE sha256 = ? AND tag = ? COLLATE NOCASE");
                remove.addBindValue(sha256);
                remove.addBindValue(tag);
                run(remove, path_);
            }
            for (const QString& tag : adding) {
                // A tag it has in another case stays as it was first written.
                QSqlQuery add(db);
                add.prepare(
                    "INSERT INTO tags (sha256, tag) SELECT ?, ? WHERE NOT EXISTS (SELECT 1 FROM "
                    "tags WHERE sha256 = ? AND tag = ? COLLATE NOCASE)");
                add.addBindValue(sha256);
                add.addBindValue(tag);
                add.addBindValue(sha256);
                add.addBindValue(tag);
                run(add, path_);
            }
            if (note) {
                QSqlQuery set(db);
                if (note->trimmed().isEmpty()) {
                    set.prepare("DELETE FROM notes WHERE sha256 = ?");
                    set.addBindValue(sha256);
                } else {
                    set.prepare("INSERT OR REPLACE INTO notes (sha256, note) VALUES (?, ?)");
                    set.addBindValue(sha256);
                    set.addBindValue(*note);
                }
                run(set, path_);
            }
        }
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit()) {
        throw platform::FileError(platform::ErrorCode::CannotWrite, QDir::toNativeSeparators(path_),
                                  db.lastError().text());
    }
}

QStringList TagStore::withTag(const QString& tag) const {
    QStringList found;
    QSqlQuery query(database());
    query.prepare("SELECT DISTINCT sha256 FROM tags WHERE tag = ? COLLATE NOCASE ORDER BY sha256");
    query.addBindValue(tag.trimmed());
    if (query.exec()) {
        while (query.next()) {
            found << query.value(0).toString();
        }
    }
    return found;
}

QStringList TagStore::withText(const QString& words) const {
    const QStringList wanted = words.split(' ', Qt::SkipEmptyParts);
    QStringList found;
    for (const ItemTags& item : all()) {
        const QString text = item.tags.join(' ') + ' ' + item.note;
        if (std::all_of(wanted.begin(), wanted.end(), [&](const QString& word) {
                return text.contains(word, Qt::CaseInsensitive);
            })) {
            found << item.sha256;
        }
    }
    return found;
}

std::vector<ItemTags> TagStore::all() const {
    QStringList hashes;
    QSqlQuery query(database());
    if (query.exec("SELECT sha256 FROM tags UNION SELECT sha256 FROM notes ORDER BY sha256")) {
        while (query.next()) {
            hashes << query.value(0).toString();
        }
    }
    std::vector<ItemTags> items;
    for (const QString& sha256 : hashes) {
        items.push_back(of(sha256));
    }
    return items;
}

QStringList TagStore::allTags() const {
    QStringList found;
    QSqlQuery query(database());
    if (query.exec("SELECT DISTINCT tag FROM tags")) {
        while (query.next()) {
            if (!found.contains(query.value(0).toString(), Qt::CaseInsensitive)) {
                found << query.value(0).toString();
            }
        }
    }
    std::sort(found.begin(), found.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return found;
}

void TagStore::narrow(std::vector<Entry>& entries, const QString& tag,
                      const QString& words) const {
    if (tag.trimmed().isEmpty() && words.trimmed().isEmpty()) {
        return;
    }
    QStringList wanted = tag.trimmed().isEmpty() ? withText(words) : withTag(tag);
    if (!tag.trimmed().isEmpty() && !words.trimmed().isEmpty()) {
        const QStringList holdingWords = withText(words);
        wanted.removeIf([&](const QString& sha256) { return !holdingWords.contains(sha256); });
    }
    std::erase_if(entries, [&](const Entry& entry) { return !wanted.contains(entry.sha256); });
}

QString TagStore::tagsText(const QStringList& sha256s) const {
    QStringList tags;
    for (const QString& sha256 : sha256s) {
        for (const QString& tag : of(sha256).tags) {
            if (!tags.contains(tag, Qt::CaseInsensitive)) {
                tags << tag;
            }
        }
    }
    std::sort(tags.begin(), tags.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return tags.join(QStringLiteral(", "));
}

void TagStore::exportTo(const QString& path) const {
    QJsonArray items;
    for (const ItemTags& item : all()) {
        QJsonObject entry{{"sha256", item.sha256}, {"tags", QJsonArray::fromStringList(item.tags)}};
        if (!item.note.isEmpty()) {
            entry["note"] = item.note;
        }
        items.append(entry);
    }
    const QJsonObject root{{"format", kFormat}, {"items", items}};
    platform::saveFile(path, QJsonDocument(root).toJson(QJsonDocument::Indented));
}

int TagStore::importFrom(const QString& path) {
    const QString shownPath = QDir::toNativeSeparators(path);
    const auto refuse = [&](const QString& why) {
        throw platform::SystemError(platform::ErrorCode::TagFileUnusable, {shownPath, why});
    };
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        refuse(file.errorString());
    }
    if (file.size() > kMaxExportBytes) {
        refuse(QStringLiteral("too large"));
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        refuse(error.errorString());
    }
    const QJsonObject root = document.object();
    if (root.value("format").toInt() != kFormat || !root.value("items").isArray()) {
        refuse(QStringLiteral("format %1").arg(root.value("format").toInt()));
    }
    // Every entry is checked before anything changes.
    struct Taken {
        QString sha256;
        QStringList tags;
        QString note;
    };
    std::vector<Taken> taken;
    for (const QJsonValue value : root.value("items").toArray()) {
        const QJsonObject entry = value.toObject();
        const QString sha256 = entry.value("sha256").toString();
        if (sha256.size() != 64 || !std::all_of(sha256.begin(), sha256.end(), [](QChar c) {
                return c.isDigit() || (c >= 'a' && c <= 'f');
            })) {
            refuse(QStringLiteral("an item without its SHA-256"));
        }
        Taken item{sha256, {}, entry.value("note").toString()};
        for (const QJsonValue tag : entry.value("tags").toArray()) {
            item.tags << checkedTag(tag.toString());
        }
        checkNote(item.note);
        taken.push_back(item);
    }
    for (const Taken& item : taken) {
        const bool noNote = of(item.sha256).note.isEmpty() && !item.note.isEmpty();
        change({item.sha256}, item.tags, {}, noNote ? std::optional(item.note) : std::nullopt);
    }
    return int(taken.size());
}

}  // namespace library
