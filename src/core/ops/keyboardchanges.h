#pragma once

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

#include "backup/batchjobs.h"
#include "backup/jobtypes.h"
#include "backup/keyboardbackup.h"
#include "organise/slotedits.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbtransfer.h"
#include "target.h"

// Every change the program makes to the keyboard's memory, for the window and the command-line
// tool alike. Each runs the whole of what makes a change safe, in this order: keep a copy of
// what it will replace or empty, change the slot, confirm that the keyboard shows the change,
// and record the change in the history so that undo can take it back. A front end reads the
// user's selection or arguments, fetches the slots it names (a list, or EkKbdDrv::getSlots),
// calls one of these and says the outcome. One slot is a list of one.
namespace versions {
class Store;
struct Version;
}  // namespace versions

namespace ops {

// The user stopped a send after a song slot had been emptied (its old song deleted, the new
// one not yet whole): said as SongSlotEmptied is, with the copy that holds the old song.
class SongEmptiedByStop : public transfer::SongSlotEmptied {
public:
    SongEmptiedByStop(const transfer::SongSlotEmptied& emptied, std::optional<safety::Copy> kept)
        : transfer::SongSlotEmptied(emptied), kept_(std::move(kept)) {}
    const std::optional<safety::Copy>& kept() const { return kept_; }

private:
    std::optional<safety::Copy> kept_;
};

// Sends each placed file into its slot (batch::placeFiles placed them) as one change named
// `action`; with `verify` each slot is fetched again and compared. One outcome per placement,
// naming the copy kept of what its slot held. The user's stop during a song's send throws
// SongEmptiedByStop.
std::vector<backup::Outcome> send(const Target& target,
                                  const std::vector<batch::Placement>& placements, bool verify,
                                  const QString& action = QStringLiteral("send"));

// A kept copy read for putting back, into the slot it came from: exactly the bytes whose hash
// the store checks. Throws the store's errors: read it before any traffic.
batch::Placement keptPlacement(const safety::Store& store, const safety::Copy& copy);
// Sends the kept copy so read back into its slot as one change "put-back". NoSuchSlot when the
// keyboard has no such slot.
backup::Outcome putBack(const Target& target, const batch::Placement& kept, bool verify);
// A version of a slot read back from the keyboard's past and checked, to put back into its
// slot with putBack. Throws VersionItemMissing or VersionItemDamaged.
batch::Placement versionPlacement(const versions::Store& store, const versions::Version& version);

// Deletes each song or user rhythm, keeping a copy of it first.
std::vector<backup::Outcome> remove(const Target& target, const std::vector<SlotAddress>& slots);

// Restores the backup in `folder` as one change (see backup::restoreKeyboard).
std::vector<backup::Outcome> restore(const Target& target, const backup::Manifest& manifest,
                                     const QString& folder, backup::Extras extras,
                                     const std::vector<backup::Comparison>* plan = nullptr);
// The copies a restore kept since `started`, newest first: what a restore that stopped had
// replaced already. Empty when the store's list cannot be read (it says so when opened).
std::vector<safety::Copy> copiesKeptSince(const safety::Store& store, const QDateTime& started);

// An outcome's error as the user is told it: with where the slot's old item is kept when the
// slot may no longer hold it (a song slot emptied by a failed send, a change the keyboard did
// not show).
QString failureText(const backup::Outcome& outcome, const safety::Store& store,
                    const MsgStr& messages);

// Copy, move or swap between two slots of one kind, refused first by organise::checkEdit.
void edit(const Target& target, organise::Edit edit, const SlotAddress& from,
          const SlotAddress& to);
// Renames the item in `slot`, refused first by organise::checkRename.
void rename(const Target& target, const SlotAddress& slot, const QString& name);

// The newest change on the target's keyboard that undo (`undoing`) or redo takes back; none
// when there is none. Throws the history's errors.
std::optional<safety::Change> latestChange(const Target& target, bool undoing);
// Takes `change` back (organise::reverseChange): its slots must have been fetched.
void takeBack(const Target& target, const safety::Change& change, bool undoing, bool force);

}  // namespace ops
