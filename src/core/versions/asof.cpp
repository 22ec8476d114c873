#include "asof.h"

#include <QDir>
#include <QFileInfo>
#include <QTimeZone>

#include "backup/jobitem.h"
#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "safety/safetystore.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"

namespace versions {

AsOfBackup writeAsOf(const Store& store, const QString& keyboard, const QDateTime& when,
                     const QString& folder) {
    const std::vector<Version> known = store.asOf(keyboard, when);
    if (known.empty()) {
        throw platform::SystemError(platform::ErrorCode::NoVersionsThen,
                                    {when.toLocalTime().toString(Qt::ISODate)});
    }
    AsOfBackup result;
    result.manifest.time = when.toUTC().toString(Qt::ISODate);
    backup::FreshFileNames names(folder);
    for (const Version& version : known) {
        if (!version.holdsItem()) {
            result.emptyThen.push_back(version);
            continue;
        }
        EkDataFile item(version.type);
        try {
            store.loadItem(version, item);
        } catch (const platform::SystemError& error) {
            // Said by name; the other slots are put back all the same.
            result.unusable.emplace_back(version, error.coded());
            continue;
        }
        const QString file = names.take(version.slot.text().replace(':', '_') + NvbFileStream::kSuffix);
        const QString path = QDir(folder).filePath(file);
        NvbFileStream(path, NvbFileStream::CreateNew).write(item);
        result.manifest.entries.push_back({version.slot, file, version.type, version.size,
                                           version.name, safety::sha256Of(path)});
        result.versionOfFile.emplace(file, version);
    }
    result.manifest.write(folder);
    return result;
}

QString changeText(Change change) {
    switch (change) {
        case Change::Added:
            return QStringLiteral("added");
        case Change::Changed:
            return QStringLiteral("changed");
        case Change::Removed:
            return QStringLiteral("removed");
        case Change::Unknown:
            break;
    }
    return QStringLiteral("unknown");
}

std::vector<SlotChangeSince> changesBetween(const Store& store, const QString& keyboard,
                                            const QDateTime& since, const QDateTime& until) {
    std::map<QString, Version> before;
    for (const Version& version : store.asOf(keyboard, since)) {
        before.emplace(version.slot.text(), version);
    }
    std::vector<SlotChangeSince> changes;
    for (const Version& after : store.asOf(keyboard, until)) {
        const auto then = before.find(after.slot.text());
        if (then == before.end()) {
            changes.push_back({after.slot, Change::Unknown, std::nullopt, after});
            continue;
        }
        const Version& old = then->second;
        if (old.sha256 == after.sha256 && old.name == after.name) {
            continue;
        }
        const Change change = !old.holdsItem()    ? Change::Added
                              : !after.holdsItem() ? Change::Removed
                                                   : Change::Changed;
        changes.push_back({after.slot, change, old, after});
    }
    return changes;
}

QDateTime lastBackupTime(const Store& store, const QString& keyboard) {
    QDateTime newest;
    for (const Version& version : store.latest(keyboard)) {
        for (const Version& older : store.ofSlot(keyboard, version.slot)) {
            if (older.source.startsWith(QLatin1String("backup")) &&
                (!newest.isValid() || older.at > newest)) {
                newest = older.at;
                break;  // newest first: the slot's latest backup
            }
        }
    }
    return newest;
}

QDateTime timeNamed(const QString& when) {
    if (QFileInfo(when).isDir()) {
        try {
            const QDateTime made = QDateTime::fromString(backup::Manifest::read(when).time, Qt::ISODate);
            if (made.isValid()) {
                return made;
            }
        } catch (const platform::SystemError&) {
            // Said below as a WHEN that is none.
        }
    } else if (const QDateTime moment = QDateTime::fromString(when, Qt::ISODate);
               when.contains('T') && moment.isValid()) {
        return moment.toUTC();
    } else if (const QDate day = QDate::fromString(when, Qt::ISODate);
               !when.contains('T') && day.isValid()) {
        // A day means all of it: what the keyboard held when it ended.
        return day.endOfDay(QTimeZone::systemTimeZone()).toUTC();
    }
    throw platform::SystemError(platform::ErrorCode::VersionTimeUnusable, {when});
}

}  // namespace versions
