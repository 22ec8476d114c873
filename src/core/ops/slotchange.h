#pragma once

#include <QString>
#include <optional>

#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"
#include "safety/history.h"

class EkDataFile;
class NvbStreamObserver;

namespace ops {

// What one slot of a change is to become, and why.
struct SlotChange {
    // What the slot is to hold; null empties it (a song or user rhythm slot).
    EkDataFile* wanted = nullptr;
    safety::Why why = safety::Why::Send;
    // What takes the place of the item kept, as Replaced Items says it (a file's path); may be
    // empty.
    QString replacedBy;
    // The slot is fetched back after the send and compared with what was sent.
    bool verify = false;
    // Nothing is sent when the slot holds `wanted` already (nor emptied when empty).
    bool unlessSame = false;
    // The fetch of what the slot holds stays off the progress: a send's progress counts the new
    // item's bytes alone.
    bool quietFetch = false;
};

// What the slot held when the change began, when its caller fetched it already (an edit
// fetches every item it moves before its first write; a restore compares first): null when
// empty. Without it, changeSlot asks the keyboard what the slot holds and fetches that.
struct Held {
    EkDataFile* item = nullptr;
};

// How one slot's change went.
struct SlotChanged {
    bool unchanged = false;  // it held what it was to hold: nothing was sent
};

// Carries one slot through the steps that keep the user's data safe, in this order:
//  keep    what the slot holds is kept in `record` before anything can replace it;
//  intent  the change is written into the history as under way right before its first message
//          that changes the slot, so that a program killed midway leaves a change that undo
//          takes back;
//  change  `wanted` is sent into the slot, or the slot emptied;
//  confirm the send and the deletion end only once the keyboard shows the change (one it does
//          not show goes again; one it never answers is ChangeUnconfirmed or DeleteUnconfirmed);
//          with `verify` the slot is also fetched back and compared;
//  record  what the slot holds now is noted, so that undo knows whether it changed since.
// Without a record (the user keeps no copies) only the change and its confirmation run. Every
// step can run again for the same slot (a retry after a lost answer): nothing is kept twice.
// `progress` hears the fetch and the send. A failure goes on to the caller, with what was kept
// in the record (keptCopyOf).
SlotChanged changeSlot(const KeyboardLink& link, safety::ChangeRecord* record,
                       const SlotInTree& where, const SlotChange& change,
                       NvbStreamObserver* progress, std::optional<Held> held = std::nullopt);

// The copy `record` kept of `slot`, also when its change failed afterwards: 0 when none (or no
// record).
safety::CopyId keptCopyOf(const safety::ChangeRecord* record, const SlotAddress& slot);

// Keeps what a slot held before a change of several slots writes anything, when the change
// must keep every item it moves before its first write (an item that only moves is still
// somewhere else on the keyboard, but that copy goes with the next write). changeSlot then
// finds it kept.
void keepBefore(safety::ChangeRecord& record, const SlotAddress& slot, Held held, safety::Why why,
                const QString& replacedBy = {});

}  // namespace ops
