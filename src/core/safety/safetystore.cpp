#include "safetystore.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <filesystem>
#include <map>
#include <set>
#include <system_error>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "history.h"
#include "msg/msgstr.h"
#include "platform/filelock.h"
#include "platform/regularfile.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"

namespace safety {
namespace {

constexpr int kIndexFormat = 1;
// Another program's change of a file of the store takes a moment; longer than this, it is stuck.
constexpr std::chrono::milliseconds kStorePatience{10000};
const char* const kIndexName = "index.json";
// Far above the list of any real store (a copy's entry is a few hundred bytes).
constexpr qint64 kMaxIndexBytes = 64 * 1024 * 1024;

[[noreturn]] void damagedIndex(const QString& path, platform::CodedText reason) {
    throw platform::SystemError(platform::CodedText{platform::ErrorCode::KeptListUnreadable,
                                                    {QDir::toNativeSeparators(path)}}
                                    .because(std::move(reason)));
}

Why whyOf(const QString& text) {
    for (const Why why : {Why::Delete, Why::Restore, Why::Edit, Why::Undo}) {
        if (text == whyText(why)) {
            return why;
        }
    }
    return Why::Send;
}

}  // namespace

StoreLock::StoreLock(const QString& folder, const QString& lockName, platform::ErrorCode held)
    : lock_(QDir(folder).filePath(lockName)) {
    lock_.lockOrThrow(
        [&] { return platform::SystemError(held, {QDir::toNativeSeparators(folder)}); },
        kStorePatience);
}

QJsonObject readOwnJson(const QString& path, int format, qint64 maxBytes,
                        platform::ErrorCode unreadable, platform::ErrorCode notOurs) {
    const auto damaged = [&](platform::CodedText reason) {
        return platform::SystemError(
            platform::CodedText{unreadable, {QDir::toNativeSeparators(path)}}.because(
                std::move(reason)));
    };
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) {
        return {};
    }
    QByteArray content;
    try {
        content = platform::readRegularFile(path, maxBytes);
    } catch (const platform::SystemError& e) {
        throw damaged(e.coded());
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(content, &error);
    if (document.isNull()) {
        throw damaged(platform::CodedText::service(error.errorString()));
    }
    const QJsonObject root = document.object();
    if (root.value("format").toInt() != format) {
        throw damaged({notOurs});
    }
    return root;
}

QString sha256Of(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::FileError(platform::ErrorCode::CannotRead, path, file.errorString());
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return QString::fromLatin1(hash.result().toHex());
}

QString whyText(Why why) {
    switch (why) {
        case Why::Delete:
            return QStringLiteral("delete");
        case Why::Restore:
            return QStringLiteral("restore");
        case Why::Edit:
            return QStringLiteral("edit");
        case Why::Undo:
            return QStringLiteral("undo");
        case Why::Send:
            break;
    }
    return QStringLiteral("send");
}

Store::Store(QString folder) : folder_(std::move(folder)) {}

QString Store::defaultFolder() {
    // Shared by the window and the command-line tool (whose application names differ).
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/NvbMan/replaced");
}

QString Store::filePath(const Copy& copy) const {
    return QDir(folder_).filePath(copy.file);
}

std::vector<Copy> Store::copies() const {
    const QString path = QDir(folder_).filePath(kIndexName);
    const QJsonObject root =
        readOwnJson(path, kIndexFormat, kMaxIndexBytes, platform::ErrorCode::KeptListUnreadable,
                    platform::ErrorCode::NotOurKeptList);
    if (root.isEmpty()) {
        return {};
    }
    if (!root.value("copies").isArray()) {
        damagedIndex(path, {platform::ErrorCode::NotOurKeptList});
    }
    std::vector<Copy> copies;
    std::set<CopyId> ids;
    for (const QJsonValue& value : root.value("copies").toArray()) {
        const QJsonObject entry = value.toObject();
        const auto slot = SlotAddress::parse(entry.value("slot").toString());
        const QString name = entry.value("file").toString();
        if (!slot || name.isEmpty() || name.contains('/') || name.startsWith('.')) {
            damagedIndex(path, {platform::ErrorCode::KeptEntryNoSlot});
        }
        const CopyId id = entry.value("id").toInteger();
        if (id < 1 || id > kMaxCopyId || !ids.insert(id).second) {
            damagedIndex(path, {platform::ErrorCode::KeptEntryNoNumber});
        }
        copies.push_back(
            {id, *slot, entry.value("name").toString(), std::uint16_t(entry.value("type").toInt()),
             std::uint32_t(entry.value("size").toInteger()), entry.value("sha256").toString(),
             QDateTime::fromString(entry.value("time").toString(), Qt::ISODate),
             whyOf(entry.value("why").toString()), entry.value("replacedBy").toString(), name});
    }
    std::sort(copies.begin(), copies.end(),
              [](const Copy& a, const Copy& b) { return a.id > b.id; });
    return copies;
}

std::optional<Copy> Store::find(CopyId id) const {
    for (const Copy& copy : copies()) {
        if (copy.id == id) {
            return copy;
        }
    }
    return std::nullopt;
}

QJsonObject toJson(const Copy& copy) {
    return QJsonObject{{"id", qint64(copy.id)},
                       {"slot", copy.slot.text()},
                       {"name", copy.name},
                       {"type", copy.type},
                       {"size", qint64(copy.size)},
                       {"sha256", copy.sha256},
                       {"time", copy.time.toString(Qt::ISODateWithMs)},
                       {"why", whyText(copy.why)},
                       {"replacedBy", copy.replacedBy},
                       {"file", copy.file}};
}

void Store::loadChecked(const Copy& copy, EkDataFile& item) const {
    const QString path = filePath(copy);
    if (transfer::loadPlainFile(path, item) != copy.sha256) {
        throw platform::SystemError(platform::ErrorCode::KeptCopyChanged, {path});
    }
}

void Store::writeIndex(const std::vector<Copy>& copies) const {
    QJsonArray entries;
    for (const Copy& copy : copies) {
        entries.append(toJson(copy));
    }
    platform::saveFile(QDir(folder_).filePath(kIndexName),
                       QJsonDocument(QJsonObject{{"format", kIndexFormat}, {"copies", entries}})
                           .toJson(QJsonDocument::Indented));
}

void Store::prune(std::vector<Copy>& copies) const {
    // The copies an undo or a redo of the history would put back stay; a history that cannot
    // be read keeps every copy until it can.
    std::set<CopyId> inUse;
    try {
        inUse = History(folder_).copiesInUse();
    } catch (const platform::SystemError&) {
        return;
    }
    // Newest first: the first copy of each slot is the one never pruned.
    std::map<QString, CopyId> newestOfSlot;
    std::int64_t bytes = 0;
    for (const Copy& copy : copies) {
        newestOfSlot.try_emplace(copy.slot.text(), copy.id);
        bytes += copy.size;
    }
    for (auto it = copies.end(); it != copies.begin();) {
        --it;
        if (int(copies.size()) <= kMaxCopies && bytes <= kMaxBytes) {
            break;
        }
        if (newestOfSlot[it->slot.text()] == it->id || inUse.count(it->id) > 0) {
            continue;
        }
        bytes -= it->size;
        QFile::remove(filePath(*it));
        it = copies.erase(it);
    }
}

Copy Store::add(EkDataFile& item, const SlotAddress& slot, Why why, const QString& replacedBy) {
    std::error_code failure;
    std::filesystem::create_directories(QFile::encodeName(folder_).toStdString(), failure);
    if (failure) {
        // The system's own reason: a read-only file system, no space left, a file in the way.
        throw platform::FileError(platform::ErrorCode::CannotKeepCopiesIn,
                                  QDir::toNativeSeparators(folder_),
                                  QString::fromStdString(failure.message()));
    }
    StoreLock lock(folder_, "index.lock", platform::ErrorCode::KeptListHeld);
    std::vector<Copy> all = copies();
    if (!all.empty() && all.front().id >= kMaxCopyId) {
        // Numbered afresh, oldest first: the files keep their names, the index says which is
        // which. Reached only by an index edited by hand.
        CopyId next = CopyId(all.size());
        for (Copy& kept : all) {
            kept.id = next--;
        }
    }
    Copy copy;
    copy.id = all.empty() ? 1 : all.front().id + 1;
    copy.slot = slot;
    copy.name = transfer::keyboardText(item.name());
    copy.type = item.type();
    copy.size = item.size();
    copy.time = QDateTime::currentDateTimeUtc();
    copy.why = why;
    copy.replacedBy = replacedBy;
    copy.file = QString::number(copy.id) + '-' + transfer::importFileName(item.type(), item.name());
    NvbFileStream(filePath(copy), NvbFileStream::Create).write(item);
    copy.sha256 = sha256Of(filePath(copy));
    all.insert(all.begin(), copy);
    prune(all);
    try {
        writeIndex(all);
    } catch (...) {
        QFile::remove(filePath(copy));
        throw;
    }
    return copy;
}

bool Store::remove(CopyId id) {
    StoreLock lock(folder_, "index.lock", platform::ErrorCode::KeptListHeld);
    std::vector<Copy> all = copies();
    const auto found =
        std::find_if(all.begin(), all.end(), [id](const Copy& copy) { return copy.id == id; });
    if (found == all.end()) {
        return false;
    }
    const QString path = filePath(*found);
    all.erase(found);
    writeIndex(all);
    QFile::remove(path);
    return true;
}

QString keptCopyText(const Copy& copy, const Store& store, const MsgStr& messages) {
    return messages.keptCopyText(copy.name, copy.id,
                                 QDir::toNativeSeparators(store.filePath(copy)));
}

}  // namespace safety
