#include "keyboardbackup.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <algorithm>
#include <numeric>
#include <optional>

#include "batchjobs.h"
#include "data/ekdatafile.h"
#include "jobitem.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "ops/slotchange.h"
#include "platform/cancellation.h"
#include "platform/filelock.h"
#include "platform/keyboardsession.h"
#include "platform/regularfile.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbstream.h"
#include "stream/nvbtransfer.h"
#include "sysex/ekexception.h"

namespace backup {
namespace {

// The manifest's format written; the first one (no time, program or hashes) is still read.
constexpr int kFormat = 2;
constexpr int kFirstFormat = 1;
constexpr qsizetype kSha256HexLength = 64;
// A manifest of every slot is about 10 KB; one of this size is no manifest of ours.
constexpr qint64 kMaxManifestBytes = 1024 * 1024;
// The hidden folder a backup is made in, inside the target folder.
constexpr const char* kStagePrefix = ".nvbman-backup-";
// Hex digits of the folder's hash in the name of its backup lock.
constexpr qsizetype kLockHashLength = 16;
constexpr int kKeyboardSlots = mls850::kToneSlots + mls850::kDspSlots +
                               mls850::kBanks * mls850::kRegistrationsPerBank + mls850::kSongSlots +
                               mls850::kRhythmSlots;

[[noreturn]] void damaged(const QString& folder, platform::ErrorCode reason,
                          const QStringList& args = {}) {
    throw platform::SystemError(platform::CodedText{platform::ErrorCode::ManifestUnusable,
                                                    {QDir::toNativeSeparators(folder)}}
                                    .because({reason, args}));
}

// A manifest names files inside its own folder only: a plain name, never a path.
bool isPlainFileName(const QString& name) {
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/') &&
           !name.contains('\\') && !name.contains(QChar(0));
}

}  // namespace

Manifest Manifest::read(const QString& folder) {
    transfer::requireFolder(folder);
    const QString path = QDir(folder).filePath(kManifestName);
    // A manifest of the whole keyboard is a few kilobytes: anything far larger is refused
    // before it is parsed, rather than read into memory and worked through for hours.
    const QByteArray content = platform::readRegularFile(path, kMaxManifestBytes);
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(content, &parseError);
    if (document.isNull()) {
        damaged(folder, platform::ErrorCode::ServiceText, {parseError.errorString()});
    }
    const QJsonObject root = document.object();
    const int format = root.value("format").toInt();
    if (format != kFormat && format != kFirstFormat) {
        damaged(folder, platform::ErrorCode::NotOurManifest);
    }
    if (!root.value("items").isArray()) {
        damaged(folder, platform::ErrorCode::ManifestHasNoItems);
    }
    const QJsonArray items = root.value("items").toArray();
    if (items.size() > kKeyboardSlots) {
        damaged(folder, platform::ErrorCode::ManifestTooManyItems,
                {QString::number(items.size()), QString::number(kKeyboardSlots)});
    }
    Manifest manifest;
    manifest.model = root.value("model").toString();
    manifest.time = root.value("time").toString();
    manifest.program = root.value("program").toString();
    QSet<QString> slotsNamed;
    for (const QJsonValue& value : items) {
        const QJsonObject item = value.toObject();
        const auto slot = SlotAddress::parse(item.value("slot").toString());
        if (!slot) {
            damaged(folder, platform::ErrorCode::ManifestNotASlot, {item.value("slot").toString()});
        }
        if (slotsNamed.contains(slot->text())) {
            damaged(folder, platform::ErrorCode::ManifestSlotTwice, {slot->text()});
        }
        slotsNamed.insert(slot->text());
        ManifestEntry entry{*slot,
                            item.value("file").toString(),
                            std::uint16_t(item.value("type").toInt()),
                            std::uint32_t(item.value("size").toInteger()),
                            item.value("name").toString(),
                            {}};
        if (!isPlainFileName(entry.file)) {
            damaged(folder, platform::ErrorCode::ManifestForeignFile, {entry.file});
        }
        // Format 2 must give each file's SHA-256. A format-1 manifest has none, but one that
        // still carries them (a later manifest whose format was edited back) is checked all
        // the same.
        static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{%1}$").arg(kSha256HexLength));
        const QJsonValue sha256 = item.value("sha256");
        if (format == kFormat || !sha256.isUndefined()) {
            entry.sha256 = sha256.toString();
            if (!hex.match(entry.sha256).hasMatch()) {
                damaged(folder, platform::ErrorCode::ManifestNoFingerprint, {entry.file});
            }
        }
        manifest.entries.push_back(entry);
    }
    return manifest;
}

void Manifest::write(const QString& folder) const {
    QJsonArray items;
    for (const ManifestEntry& entry : entries) {
        items.append(QJsonObject{{"slot", entry.slot.text()},
                                 {"file", entry.file},
                                 {"type", entry.type},
                                 {"size", qint64(entry.size)},
                                 {"name", entry.name},
                                 {"sha256", entry.sha256}});
    }
    const QJsonObject root{{"format", kFormat},
                           {"model", model},
                           {"time", time},
                           {"program", program},
                           {"items", items}};
    platform::saveFile(QDir(folder).filePath(kManifestName),
                       QJsonDocument(root).toJson(QJsonDocument::Indented));
}

bool holdsBackup(const QString& folder) {
    return QFileInfo(QDir(folder).filePath(kManifestName)).exists();
}

namespace {

// Moves `name` from `from` into `to`, replacing nothing: false when it could not.
bool moveFile(const QDir& from, const QDir& to, const QString& name) {
    return QFile::rename(from.filePath(name), to.filePath(name));
}

// Puts a finished backup from `stage` into `folder`. Whatever stands in the way (the old
// backup, a file of the same name) goes into a folder of its own first, so that nothing is
// overwritten on the way; the old backup is deleted only at the end, when asked to.
void moveIntoPlace(const QDir& stage, const QDir& target, const Manifest& manifest,
                   bool dropOldBackup) {
    QStringList oldBackup;
    if (holdsBackup(target.path())) {
        oldBackup << kManifestName;
        try {
            for (const ManifestEntry& entry : Manifest::read(target.path()).entries) {
                oldBackup << entry.file;
            }
        } catch (const platform::SystemError&) {
            // A damaged old manifest: its files cannot be told; they stay as they are.
        }
    }
    QStringList incoming{kManifestName};
    for (const ManifestEntry& entry : manifest.entries) {
        incoming << entry.file;
    }
    const QString asideName =
        ".nvbman-replaced-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss-zzz");
    QDir aside(target.filePath(asideName));
    QStringList displaced;
    for (const QString& name : incoming + oldBackup) {
        if (displaced.contains(name) || !QFileInfo::exists(target.filePath(name))) {
            continue;
        }
        if (!target.mkpath(asideName) || !moveFile(target, aside, name)) {
            throw platform::SystemError(platform::ErrorCode::MoveAsideFailed,
                                        {QDir::toNativeSeparators(target.filePath(name))});
        }
        displaced << name;
    }
    // The manifest last: until it is there, the folder holds no half backup.
    incoming.removeAll(kManifestName);
    incoming << kManifestName;
    for (const QString& name : incoming) {
        if (!moveFile(stage, target, name)) {
            throw platform::SystemError(platform::ErrorCode::MoveIntoFailed,
                                        {QDir::toNativeSeparators(target.path()), name});
        }
    }
    if (dropOldBackup) {
        for (const QString& name : oldBackup) {
            aside.remove(name);
        }
    }
    if (aside.exists() && aside.isEmpty()) {
        target.rmdir(asideName);
    }
}

// The lock of backups into `folder`, in the user's runtime folder (the backup folder itself
// stays as the user left it).
QString backupLockPath(const QString& folder) {
    const QByteArray where = QFileInfo(folder).canonicalFilePath().toUtf8();
    const QByteArray hash =
        QCryptographicHash::hash(where, QCryptographicHash::Sha1).toHex().left(kLockHashLength);
    return QDir(platform::userRuntimeFolder())
        .filePath("nvbman-backup-" + QString::fromLatin1(hash) + ".lock");
}

// Removes the staging folders that backups killed midway left in `folder`.
void removeLeftStages(const QDir& folder) {
    const QStringList left = folder.entryList({QString(kStagePrefix) + "*"},
                                              QDir::Dirs | QDir::Hidden | QDir::NoSymLinks);
    for (const QString& name : left) {
        QDir(folder.filePath(name)).removeRecursively();
    }
}

}  // namespace

std::vector<Outcome> backupKeyboard(const KeyboardLink& link, const QString& folder,
                                    JobProgress* progress, OldBackup oldBackup) {
    transfer::requireFolder(folder);
    const bool replacing = holdsBackup(folder);
    if (replacing && oldBackup != OldBackup::Replace) {
        throw platform::SystemError(platform::ErrorCode::BackupExists,
                                    {QDir::toNativeSeparators(folder)});
    }
    // One backup into a folder at a time: then a staging folder found there is one that a
    // backup killed midway left behind.
    platform::FileLock folderLock(backupLockPath(folder));
    folderLock.lockOrThrow([&] {
        return platform::SystemError(platform::ErrorCode::BackupUnderWay,
                                     {QDir::toNativeSeparators(folder)});
    });
    removeLeftStages(QDir(folder));
    // Made in a hidden folder of the target's own file system, so that it moves into place in
    // one rename per file; removed again unless it moved.
    QTemporaryDir stage(QDir(folder).filePath(QString(kStagePrefix) + "XXXXXX"));
    if (!stage.isValid()) {
        throw platform::FileError(platform::ErrorCode::CannotCreateFolderIn,
                                  QDir::toNativeSeparators(folder), stage.errorString());
    }
    std::vector<std::pair<SlotAddress, SlotInTree>> present;
    std::int64_t total = 0;
    for (auto& [address, where] : allSlots(link.driver)) {
        if (where.slot != nullptr && where.slot->isPresent()) {
            total += where.slot->size();
            present.emplace_back(address, where);
        }
    }
    JobRun run(progress, total);
    Manifest manifest{transfer::keyboardText(link.driver.root().name()),
                      {},
                      QDateTime::currentDateTimeUtc().toString(Qt::ISODate),
                      QStringLiteral("NvbMan %1").arg(QCoreApplication::applicationVersion())};
    std::vector<Outcome> outcomes;
    // The staging folder is the backup's own and new: only the job's own names count.
    FreshFileNames names;
    int failures = 0;
    // Plain references, not a structured binding: the item's transfer below captures them, and
    // clang 14 (the fuzz build) refuses to capture a binding.
    for (const auto& entry : present) {
        const SlotAddress& address = entry.first;
        const SlotInTree& where = entry.second;
        EkData& slot = *where.slot;
        // Two slots may carry the same name: each gets a file of its own.
        const QString file = names.take(transfer::importFileName(slot.type(), slot.name()));
        const Outcome outcome =
            run.item(address, file, slot.size(), [&](NvbStreamObserver* itemProgress) {
                transfer::importSlot(where, stage.path(), link, itemProgress, file);
            });
        if (!outcome.failed()) {
            manifest.entries.push_back({address, file, slot.type(), slot.size(),
                                        transfer::keyboardText(slot.name()),
                                        safety::sha256Of(QDir(stage.path()).filePath(file))});
        } else {
            ++failures;
        }
        outcomes.push_back(outcome);
    }
    const auto nothingKept = [&](platform::CodedText reason) {
        return platform::SystemError(platform::CodedText{platform::ErrorCode::NothingKept,
                                                         {QDir::toNativeSeparators(folder)}}
                                         .because(std::move(reason)));
    };
    if (run.linkLost()) {
        // The keyboard or the MIDI service went away: what was saved is no backup of it.
        const auto failed = std::find_if(outcomes.begin(), outcomes.end(),
                                         [](const Outcome& o) { return o.failed(); });
        const platform::CodedText stopped{
            platform::ErrorCode::StoppedAfterItems,
            {QString::number(manifest.entries.size()), QString::number(present.size())}};
        throw nothingKept(failed != outcomes.end() ? stopped.because(*failed->error)
                                                   : stopped.because({}));
    }
    if (manifest.entries.empty() && !present.empty()) {
        throw nothingKept(platform::CodedText{platform::ErrorCode::NoItemSaved}.because(
            outcomes.front().error.value_or(platform::CodedText{})));
    }
    if (replacing && failures > 0) {
        throw nothingKept({platform::ErrorCode::BackupNotReplaced,
                           {QString::number(failures), QString::number(present.size())}});
    }
    try {
        manifest.write(stage.path());
    } catch (const platform::SystemError& e) {
        throw nothingKept(e.coded());
    }
    try {
        moveIntoPlace(QDir(stage.path()), QDir(folder), manifest, replacing);
    } catch (const platform::SystemError&) {
        // Half moved: the rest stays where it is, for the user to find.
        stage.setAutoRemove(false);
        throw;
    }
    return outcomes;
}

std::vector<SlotAddress> slotsNotInBackup(EkKbdDrv& driver, const Manifest& manifest) {
    std::vector<SlotAddress> extra;
    for (const auto& [address, where] : allSlots(driver)) {
        const bool deletable = address.canBeEmptied();
        // A named reference: Debian 12's clang 14 cannot capture a structured binding in a lambda.
        const SlotAddress& slot = address;
        const bool inBackup =
            std::any_of(manifest.entries.begin(), manifest.entries.end(),
                        [&](const ManifestEntry& entry) { return entry.slot == slot; });
        if (deletable && !inBackup && where.slot != nullptr && where.slot->isPresent()) {
            extra.push_back(address);
        }
    }
    return extra;
}

namespace {

// What an item the backup puts back does to the song and rhythm memory: the bytes it takes
// beyond those of the item its slot holds now (negative when it frees some).
std::int64_t growthOf(EkKbdDrv& driver, const ManifestEntry& entry) {
    const SlotInTree where = findSlot(driver, entry.slot);
    if (where.slot == nullptr) {
        return 0;  // not sent: its outcome says there is no such slot
    }
    const bool held = where.slot != nullptr && where.slot->isPresent();
    return std::int64_t(entry.size) - (held ? where.slot->size() : 0);
}

// The order a restore changes the slots in: songs and rhythms share one memory, so those that
// free memory go before those that take it (a song of 12,000 bytes that becomes 11,000 before
// one of 9,000 that becomes 10,000, in a memory that holds both only that way round). Tones,
// DSP settings and registrations take none of it and keep the backup's order, ahead of them.
std::vector<std::size_t> restoreOrder(EkKbdDrv& driver, const Manifest& manifest) {
    std::vector<std::size_t> order(manifest.entries.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    std::vector<std::int64_t> growth(order.size(), 0);
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (manifest.entries[i].slot.canBeEmptied()) {
            growth[i] = growthOf(driver, manifest.entries[i]);
        }
    }
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const bool aShared = manifest.entries[a].slot.canBeEmptied();
        const bool bShared = manifest.entries[b].slot.canBeEmptied();
        if (aShared != bShared) {
            return !aShared;
        }
        return growth[a] < growth[b];
    });
    return order;
}

}  // namespace

void checkRestoreFits(EkKbdDrv& driver, const Manifest& manifest, Extras extras) {
    std::int64_t atTheEnd = 0;
    for (const auto& [address, where] : allSlots(driver)) {
        if (address.canBeEmptied() && where.slot != nullptr && where.slot->isPresent()) {
            atTheEnd += where.slot->size();
        }
    }
    for (const ManifestEntry& entry : manifest.entries) {
        if (entry.slot.canBeEmptied()) {
            atTheEnd += growthOf(driver, entry);
        }
    }
    if (extras == Extras::Delete) {
        for (const SlotAddress& slot : slotsNotInBackup(driver, manifest)) {
            atTheEnd -= findSlot(driver, slot).slot->size();
        }
    }
    if (atTheEnd > mls850::kSongRhythmMemory) {
        throw platform::SystemError(
            platform::ErrorCode::RestoreDoesNotFit,
            {QString::number(atTheEnd), QString::number(mls850::kSongRhythmMemory)});
    }
}

std::vector<Outcome> restoreKeyboard(const KeyboardLink& link, const Manifest& manifest,
                                     const QString& folder, JobProgress* progress,
                                     safety::ChangeRecord* record, Extras extras,
                                     const std::vector<Comparison>* comparedJustBefore) {
    const auto seenIdentical = [&](const SlotAddress& slot) {
        return comparedJustBefore != nullptr &&
               std::any_of(comparedJustBefore->begin(), comparedJustBefore->end(),
                           [&](const Comparison& comparison) {
                               return comparison.slot == slot &&
                                      comparison.verdict == Verdict::Identical;
                           });
    };
    // Each slot's item travels twice at most: fetched to compare (and kept), then replaced.
    const auto bytesMoved = [&](const ManifestEntry& entry) {
        if (seenIdentical(entry.slot)) {
            return std::uint32_t(0);
        }
        const SlotInTree where = findSlot(link.driver, entry.slot);
        const bool held = where.slot != nullptr && where.slot->isPresent();
        return std::uint32_t(entry.size + (held ? where.slot->size() : 0));
    };
    // An exact restore deletes first what the backup lacks: it only frees memory.
    const std::vector<SlotAddress> extraSlots = extras == Extras::Delete
                                                    ? slotsNotInBackup(link.driver, manifest)
                                                    : std::vector<SlotAddress>{};
    checkRestoreFits(link.driver, manifest, extras);
    const std::vector<std::size_t> order = restoreOrder(link.driver, manifest);
    std::int64_t total = 0;
    for (const ManifestEntry& entry : manifest.entries) {
        total += bytesMoved(entry);
    }
    std::vector<Outcome> removed;
    bool linkLost = false;
    if (!extraSlots.empty()) {
        removed = batch::deleteSlots(link, extraSlots, record, progress);
        for (Outcome& outcome : removed) {
            outcome.removed = !outcome.failed();
            linkLost = linkLost || outcome.lostTheLink();
        }
    }
    JobRun run(progress, total);
    if (linkLost) {
        run.stop();
    }
    // Said in the backup's order, whatever the order the slots were changed in.
    std::vector<std::optional<Outcome>> outcomeOf(manifest.entries.size());
    for (const std::size_t index : order) {
        const ManifestEntry& entry = manifest.entries[index];
        std::optional<Outcome>& said = outcomeOf[index];
        const SlotInTree where = findSlot(link.driver, entry.slot);
        const std::uint32_t bytes = bytesMoved(entry);
        bool identical = seenIdentical(entry.slot);
        if (identical) {
            said = Outcome{entry.slot, entry.file};
            said->identical = true;
            continue;
        }
        Outcome outcome =
            run.item(entry.slot, entry.file, bytes, [&](NvbStreamObserver* itemProgress) {
                if (where.slot == nullptr) {
                    throw platform::SystemError(platform::ErrorCode::NoSuchSlot,
                                                {entry.slot.text()});
                }
                // The file itself, never a link leading out of the folder, and exactly the
                // bytes whose hash is checked are sent.
                EkDataFile item(DataType::NoType);
                const QString path = QDir(folder).filePath(entry.file);
                const QString sha256 = transfer::loadPlainFile(path, item);
                if (!entry.sha256.isEmpty() && sha256 != entry.sha256) {
                    throw platform::SystemError(platform::ErrorCode::ChangedSinceBackup,
                                                {QDir::toNativeSeparators(path)});
                }
                // What the slot holds is fetched first, to compare: an identical item is not
                // sent again.
                ops::SlotChange change;
                change.wanted = &item;
                change.why = safety::Why::Restore;
                change.replacedBy = path;
                change.unlessSame = true;
                identical = ops::changeSlot(link, record, where, change, itemProgress).unchanged;
            });
        outcome.identical = identical && !outcome.failed();
        outcome.keptCopy = ops::keptCopyOf(record, entry.slot);
        if (!outcome.failed() && !identical && entry.sha256.isEmpty()) {
            outcome.warning =
                platform::CodedText{platform::ErrorCode::SentWithoutCheck, {entry.file}};
        }
        said = outcome;
    }
    std::vector<Outcome> outcomes;
    for (std::optional<Outcome>& outcome : outcomeOf) {
        outcomes.push_back(std::move(*outcome));
    }
    outcomes.insert(outcomes.end(), removed.begin(), removed.end());
    return outcomes;
}

std::vector<Comparison> compareWithBackup(const KeyboardLink& link, const Manifest& manifest,
                                          const QString& folder, JobProgress* progress) {
    const std::vector<std::pair<SlotAddress, SlotInTree>> slots = allSlots(link.driver);
    const auto entryOf = [&](const SlotAddress& slot) -> const ManifestEntry* {
        for (const ManifestEntry& entry : manifest.entries) {
            if (entry.slot == slot) {
                return &entry;
            }
        }
        return nullptr;
    };
    std::int64_t total = 0;
    for (const auto& [address, where] : slots) {
        if (where.slot != nullptr && where.slot->isPresent() && entryOf(address) != nullptr) {
            total += where.slot->size();
        }
    }
    JobRun run(progress, total);
    std::vector<Comparison> comparisons;
    for (const ManifestEntry& entry : manifest.entries) {
        if (findSlot(link.driver, entry.slot).slot == nullptr) {
            comparisons.push_back(
                {entry.slot, entry.file, Verdict::NotCompared,
                 platform::CodedText{platform::ErrorCode::NoSuchSlot, {entry.slot.text()}}});
        }
    }
    for (const auto& entryPair : slots) {
        const SlotAddress& address = entryPair.first;
        const SlotInTree& where = entryPair.second;
        const ManifestEntry* entry = entryOf(address);
        const bool onKeyboard = where.slot != nullptr && where.slot->isPresent();
        if (entry == nullptr) {
            if (onKeyboard) {
                comparisons.push_back({address, {}, Verdict::MissingInFolder, {}});
            }
            continue;
        }
        const QString path = QDir(folder).filePath(entry->file);
        if (!QFileInfo::exists(path)) {
            comparisons.push_back({address, entry->file, Verdict::MissingInFolder, {}});
            continue;
        }
        if (!onKeyboard) {
            comparisons.push_back({address, entry->file, Verdict::MissingOnKeyboard, {}});
            continue;
        }
        EkDataFile fromFile(DataType::NoType);
        EkDataFile fromKeyboard(DataType::NoType);
        const Outcome outcome = run.item(
            address, entry->file, where.slot->size(), [&](NvbStreamObserver* itemProgress) {
                transfer::loadFile(path, fromFile);
                transfer::fetchItem(where, link, itemProgress, fromKeyboard);
            });
        Comparison comparison{address, entry->file, Verdict::NotCompared, outcome.error,
                              outcome.retried};
        if (!outcome.failed()) {
            comparison.verdict = transfer::sameItem(fromFile, fromKeyboard) ? Verdict::Identical
                                                                            : Verdict::Different;
        }
        comparisons.push_back(comparison);
    }
    return comparisons;
}

}  // namespace backup
