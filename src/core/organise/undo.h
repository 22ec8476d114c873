#pragma once

#include <QStringList>

#include "backup/keyboardbackup.h"
#include "kbddrv/keyboardlink.h"
#include "platform/systemerror.h"
#include "safety/history.h"

// Undo and Redo of the changes in the history: each slot a change touched gets back what it
// held before (from the change's kept copy, or emptied when it was empty), and what it holds
// now is kept in turn, so that the undo can itself be redone.
namespace organise {

// Refuses an undo (or redo) because a slot no longer holds what the change left there: another
// program or the keyboard's own panel changed it since. Nothing was changed.
class ChangedSince : public platform::SystemError {
public:
    ChangedSince(const QString& title, const QStringList& slots);
    QStringList slots;
};

// The slots `change` touched, for listing them before reverseChange.
std::vector<SlotAddress> slotsOf(const safety::Change& change);

// Takes `change` back: the newest undoable one when `undoing`, else the newest redoable one.
// Checks first, before any write: every kept copy is there with its bytes unchanged
// (platform::SystemError, FileError), and every slot still holds what the change left there
// (ChangedSince, unless `force`). The slots must have been listed. A slot that holds the
// wanted item already is not written. A failure midway says which copies hold what the undo
// had replaced; the part done is then a change of its own in the history.
void reverseChange(const KeyboardLink& link, safety::Store& store, const safety::Change& change,
                   bool undoing, bool force, backup::JobProgress* progress);

}  // namespace organise
