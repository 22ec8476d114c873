#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "jobtypes.h"
#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"

class EkKbdDrv;
namespace safety {
class ChangeRecord;
}

// Saving every item of the keyboard into one folder and putting them back, for the window's
// "Back Up Keyboard..." and "Restore Keyboard..." and the command-line tool's backup and
// restore. A backup folder holds one ".nvb" file per saved slot and a manifest,
// "nvbman-backup.json", that says which slot each file came from:
//
//   {"format": 2, "model": "MLS-850", "time": "2026-12-07T21:04:05Z", "program": "NvbMan 1.0.0",
//    "items": [{"slot": "tone:3", "file": "TON_Piano   .nvb", "type": 2, "size": 60,
//               "name": "Piano   ", "sha256": "9f86d0..."}, ...]}
//
// Format 1 (the same without time, program and sha256) is still read. A restore sends no file
// whose SHA-256 differs from the manifest's, and a comparison fetches every slot again and says
// how it stands against the backup.
//
// Both jobs run after a list fetch (they work on the driver's tree) and go on past an item that
// fails: each item's outcome says what became of it. An item whose answer was lost (a time-out:
// on a busy machine the MIDI service drops a message now and then) is tried once more from its
// start; when the keyboard fails to answer that too, or the device is gone, the job stops and
// the items it did not reach say so, rather than spending a time-out on each. Only the user's
// cancel stops a whole job with an exception (platform::Cancelled goes on to the caller).
namespace backup {

inline constexpr const char* kManifestName = "nvbman-backup.json";

struct ManifestEntry {
    SlotAddress slot;
    QString file;  // a file name inside the backup folder
    std::uint16_t type = 0;
    std::uint32_t size = 0;
    QString name;    // the keyboard's name of the item, 8 characters as the keyboard keeps them
    QString sha256;  // of the file, in lowercase hex; empty in a format-1 manifest
};

struct Manifest {
    QString model;
    std::vector<ManifestEntry> entries;
    QString time;     // when the backup was made, ISO 8601 in UTC; empty in format 1
    QString program;  // the program and version that made it; empty in format 1

    // Throws platform::SystemError when the folder has no manifest, it cannot be read, or it is
    // damaged: not our format, an entry that names no slot, or a file outside the folder.
    static Manifest read(const QString& folder);
    // Written through a temporary file: a failed write leaves an older manifest intact.
    void write(const QString& folder) const;
};

// What a backup does with the backup its folder holds already.
enum class OldBackup { Refuse, Replace };
// What a restore does with the songs and rhythms the keyboard holds but the backup does not:
// keep them, or delete them (each kept as a copy first), an exact restore.
enum class Extras { Keep, Delete };

// Whether `folder` holds a backup already (its manifest).
bool holdsBackup(const QString& folder);

// Imports every slot that holds data into `folder` (files named as an import names them; two
// items of the same name get " (2)", " (3)" before ".nvb") and writes the manifest of the
// saved ones.
//
// The backup is made in a hidden folder inside `folder` and moved into place only when the job
// has ended: a cancel or a failure leaves `folder` as it was. A folder that holds a backup
// already is refused unless `oldBackup` is Replace; the old backup is then removed only after the
// new one is in place, and only when every item of the new one was saved. A file of the same name
// that is no part of the old backup is kept in a folder ".nvbman-replaced-TIME" beside the backup.
// Throws platform::SystemError when `folder` is not a folder, holds a backup already, or the
// backup cannot be completed (the text says that nothing was kept).
std::vector<Outcome> backupKeyboard(const KeyboardLink& link, const QString& folder,
                                    JobProgress* progress, OldBackup oldBackup = OldBackup::Refuse);

// How a slot stands against a backup.
enum class Verdict {
    Identical,          // the keyboard holds what the file holds, byte for byte
    Different,          // both hold an item, and they differ
    MissingOnKeyboard,  // the backup has an item for the slot, the keyboard's slot is empty
    MissingInFolder,    // the keyboard holds an item the backup lacks (or its file is gone)
    NotCompared,        // `error` says why: the file could not be read, the keyboard failed...
};

struct Comparison {
    SlotAddress slot;
    QString file;  // the backup's file for the slot; empty when the manifest names none
    Verdict verdict = Verdict::NotCompared;
    std::optional<platform::CodedText> error;  // why it was not compared
    bool retried = false;
};

// Sends every item of the manifest back into the slot it came from, losing nothing the keyboard
// holds: each slot that holds an item is fetched first and compared with the backup's; one that
// holds the same item already is not sent again (`identical`), one that holds another is kept
// as a copy in `record` before it is replaced (`keptCopy`; no copy when `record` is null; the
// record makes the whole restore one change to undo), an empty one is filled. A file that no
// longer has the SHA-256 the manifest gives, or that is no regular file of its own (a symbolic
// link, say), is not sent (its outcome says why); one sent without a hash to check (a format-1
// manifest) carries a warning. The keyboard's songs and rhythms that the backup lacks stay,
// unless `extras` is Delete: then they are kept and deleted (`removed`) first, since they only
// free memory. Songs and rhythms share one memory, so the items are sent in the order that
// fits: tones, DSP settings and registrations as the backup lists them, then the songs and
// rhythms that free memory before those that take it. A restore whose songs and rhythms cannot
// fit in any order is refused before anything is changed (platform::SystemError
// RestoreDoesNotFit, with the bytes needed and the memory's size). The outcomes follow the
// backup's order, the deleted extras last. With `comparedJustBefore` (compareWithBackup's
// answer, which the user has just seen as the plan), the slots it found identical are not
// fetched again.
std::vector<Outcome> restoreKeyboard(const KeyboardLink& link, const Manifest& manifest,
                                     const QString& folder, JobProgress* progress,
                                     safety::ChangeRecord* record, Extras extras = Extras::Keep,
                                     const std::vector<Comparison>* comparedJustBefore = nullptr);

// Throws platform::SystemError RestoreDoesNotFit when the songs and rhythms the keyboard would
// hold once `manifest` is restored (with `extras`) exceed its song and rhythm memory, whatever
// the order; from the driver's tree (a listing), without traffic. restoreKeyboard checks it
// first; a front end that shows the plan checks it before it asks.
void checkRestoreFits(EkKbdDrv& driver, const Manifest& manifest, Extras extras);

// The songs and rhythms the keyboard holds that `manifest` has no item for: what an exact
// restore deletes.
std::vector<SlotAddress> slotsNotInBackup(EkKbdDrv& driver, const Manifest& manifest);

// Fetches every slot that the keyboard or the manifest has an item for, in the keyboard's order,
// and compares it with the backup's file. Changes nothing on the keyboard or in the folder.
// Runs after a list fetch, and stops like a backup when the keyboard stops answering.
std::vector<Comparison> compareWithBackup(const KeyboardLink& link, const Manifest& manifest,
                                          const QString& folder, JobProgress* progress);

}  // namespace backup
