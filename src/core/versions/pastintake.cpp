#include "pastintake.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <map>

#include "backup/keyboardbackup.h"
#include "data/ekdatafile.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbtransfer.h"
#include "versionstore.h"

namespace versions {
namespace {

const QString kKeptCopies = QStringLiteral("kept copies");
const QString kThePast = QStringLiteral("the past");

// The change that kept each copy, by the copy's number.
std::map<safety::CopyId, safety::Change> changesKeeping(const safety::Store& kept) {
    std::map<safety::CopyId, safety::Change> found;
    try {
        const safety::History history(kept.folder());
        for (const auto& changes : {history.undoable(), history.redoable()}) {
            for (const safety::Change& change : changes) {
                for (const safety::Step& step : change.steps) {
                    if (step.before != 0) {
                        found.emplace(step.before, change);
                    }
                }
            }
        }
    } catch (const platform::SystemError&) {
        // A history that cannot be read: the copies are taken in as of no known keyboard.
    }
    return found;
}

QString problemOf(const QString& path, const MsgStr& messages) {
    return QDir::toNativeSeparators(path) + ": " + currentErrorText(messages);
}

void takeInKeptCopies(Store& store, const safety::Store& kept, const MsgStr& messages,
                      Intake& intake) {
    std::vector<safety::Copy> copies;
    try {
        copies = kept.copies();
    } catch (const platform::SystemError&) {
        intake.problems << problemOf(QDir(kept.folder()).filePath("index.json"), messages);
        return;
    }
    const auto keeping = changesKeeping(kept);
    const QDateTime recordedSince = store.createdAt();
    for (const safety::Copy& copy : copies) {
        if (recordedSince.isValid() && copy.time >= recordedSince) {
            continue;  // its fetch was recorded as it happened
        }
        EkDataFile item(copy.type);
        try {
            kept.loadChecked(copy, item);
        } catch (...) {
            intake.problems << problemOf(kept.filePath(copy), messages);
            continue;
        }
        Version version;
        version.slot = copy.slot;
        version.name = copy.name;
        version.at = copy.time;
        version.how = How::Fetched;
        version.confirmed = true;
        const auto change = keeping.find(copy.id);
        if (change != keeping.end()) {
            version.keyboard = change->second.keyboard;
            version.source = "kept before " + safety::titleOf(change->second);
        } else {
            version.source = QString("kept copy %1").arg(copy.id);
        }
        store.record(version, &item);
        ++intake.keptCopies;
    }
}

void takeInBackup(Store& store, const QString& folder, const MsgStr& messages,
                  Intake& intake) {
    const QString what = "backup " + QDir(folder).canonicalPath();
    if (store.wasTakenIn(what)) {
        return;
    }
    backup::Manifest manifest;
    try {
        manifest = backup::Manifest::read(folder);
    } catch (...) {
        intake.problems << problemOf(QDir(folder).filePath(backup::kManifestName), messages);
        return;
    }
    QDateTime made = QDateTime::fromString(manifest.time, Qt::ISODate);
    if (!made.isValid()) {
        // A manifest of the first format has no time: its file's is the nearest known.
        made = QFileInfo(QDir(folder).filePath(backup::kManifestName)).lastModified().toUTC();
    }
    if (store.createdAt().isValid() && made >= store.createdAt()) {
        return;  // its fetches were recorded as they happened
    }
    for (const backup::ManifestEntry& entry : manifest.entries) {
        const QString path = QDir(folder).filePath(entry.file);
        EkDataFile item(entry.type);
        try {
            const QString sha256 = transfer::loadPlainFile(path, item);
            if (!entry.sha256.isEmpty() && sha256 != entry.sha256) {
                throw platform::SystemError(platform::ErrorCode::KeptCopyChanged, {path});
            }
        } catch (...) {
            intake.problems << problemOf(path, messages);
            continue;
        }
        Version version;
        version.slot = entry.slot;
        version.name = entry.name;
        version.at = made;
        version.how = How::Fetched;
        version.source = "backup " + QDir::toNativeSeparators(folder);
        version.confirmed = true;
        store.record(version, &item);
        ++intake.items;
    }
    store.markTakenIn(what);
    ++intake.backups;
}

}  // namespace

Intake takeInThePast(Store& store, const safety::Store& kept, const QStringList& folders,
                     const MsgStr& messages) {
    Intake intake;
    if (store.wasTakenIn(kThePast)) {
        return intake;
    }
    if (!store.wasTakenIn(kKeptCopies)) {
        store.inOneTransaction([&] {
            takeInKeptCopies(store, kept, messages, intake);
            store.markTakenIn(kKeptCopies);
        });
    }
    for (const QString& folder : folders) {
        QDirIterator manifests(folder, {backup::kManifestName}, QDir::Files,
                               QDirIterator::Subdirectories);
        while (manifests.hasNext()) {
            const QString folder = QFileInfo(manifests.next()).absolutePath();
            store.inOneTransaction([&] { takeInBackup(store, folder, messages, intake); });
        }
    }
    store.markTakenIn(kThePast);
    return intake;
}

}  // namespace versions
