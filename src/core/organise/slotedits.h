#pragma once

#include <QString>

#include "backup/keyboardbackup.h"
#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"
#include "safety/history.h"

// Organising the keyboard in place: an item copied, moved or swapped between two slots of one
// kind, or renamed where it lies. Every edit fetches what it needs first, keeps a copy of
// everything it will replace or empty (in its ChangeRecord, so the edit is one change in the
// history), and only then writes: a stop at any message leaves each item where it was, in
// its new place, or in a kept copy, never lost. The slots must have been listed (getSlots or a
// list) before; the checks refuse bad input before any traffic.
namespace organise {

enum class Edit { Copy, Move, Swap };

// The action word the history keeps ("copy", "move", "swap").
QString actionOf(Edit edit);

// Throws platform::SystemError when `edit` cannot take `from` to `to`: a slot the keyboard does
// not have, the same slot twice, slots of two kinds, a move of a tone, DSP setting or
// registration (their slots are never empty), nothing in `from` to copy or move.
void checkEdit(EkKbdDrv& driver, Edit edit, const SlotAddress& from, const SlotAddress& to);

// Copy: `to` gets the item of `from`. Move: the same, then `from` is emptied. Swap: each gets
// the other's item (with an empty song or rhythm slot, a move). Runs checkEdit first.
void editSlots(const KeyboardLink& link, Edit edit, const SlotAddress& from, const SlotAddress& to,
               safety::ChangeRecord& record, backup::JobProgress* progress);

// Throws platform::SystemError unless `name` can be an item's name on the keyboard: 1 to 8
// characters from space to '}', not only spaces.
void checkName(const QString& name);
// checkName, and the slot must hold an item whose type keeps its name in its data (a
// registration's name is not its own to change).
void checkRename(EkKbdDrv& driver, const SlotAddress& slot, const QString& name);

// Fetches the item, keeps it, and sends it back under `name` (padded with spaces to 8).
void renameSlot(const KeyboardLink& link, const SlotAddress& slot, const QString& name,
                safety::ChangeRecord& record, backup::JobProgress* progress);

}  // namespace organise
