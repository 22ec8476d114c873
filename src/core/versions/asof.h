#pragma once

#include <QDateTime>
#include <QString>
#include <map>
#include <vector>

#include "backup/keyboardbackup.h"
#include "platform/errorcatalog.h"
#include "versionstore.h"

// The keyboard as it was: from the versions known at a time, a backup the restore job takes as
// any other (the same comparison, kept copies, confirmation and one undo step), and what
// changed between two times.
namespace versions {

struct AsOfBackup {
    backup::Manifest manifest;                     // the items to put back, in `folder`
    std::map<QString, Version> versionOfFile;      // by the manifest's file name
    std::vector<Version> emptyThen;                // slots seen empty then: left as they are
    std::vector<std::pair<Version, platform::CodedText>> unusable;  // items missing or damaged
};

// Writes into `folder` (new and empty, the caller's) the items `keyboard` held at `when` as the
// store knows them, with a backup manifest of them. Slots with no version then are not in it;
// a slot seen empty then is listed, not emptied. Throws NoVersionsThen when nothing is known.
AsOfBackup writeAsOf(const Store& store, const QString& keyboard, const QDateTime& when,
                     const QString& folder);

// What became of a slot between two times.
enum class Change { Added, Changed, Removed, Unknown };
QString changeText(Change change);

struct SlotChangeSince {
    SlotAddress slot;
    Change change = Change::Unknown;
    std::optional<Version> before;  // the newest at the first time; none when unknown then
    Version after;                  // the newest at the second time
};

// Every slot whose newest version at `until` differs from the one at `since` (by item, or
// empty against holding one); a slot first known after `since` is Unknown before.
std::vector<SlotChangeSince> changesBetween(const Store& store, const QString& keyboard,
                                            const QDateTime& since, const QDateTime& until);

// The newest time a backup of `keyboard` recorded versions at (where "what changed" starts
// by default); invalid when none did.
QDateTime lastBackupTime(const Store& store, const QString& keyboard);

// WHEN as the user writes it: an ISO 8601 date (its end, local time) or date and time (local
// time unless it names a zone), or a backup folder (the time its manifest gives). Throws
// VersionTimeUnusable.
QDateTime timeNamed(const QString& when);

}  // namespace versions
