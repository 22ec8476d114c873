#pragma once

#include <QCoreApplication>
#include <functional>
#include <optional>

#include "kbddrv/slotaddress.h"
#include "organise/slotedits.h"
#include "windowparts.h"

class QAction;

// The window's Edit menu: Undo and Redo of the history's changes, and copy, move, swap and
// rename on the keyboard. Each runs in the command frame over the operations layer and is one
// change for Undo.
class EditCommands {
    Q_DECLARE_TR_FUNCTIONS(TPcLinkForm)
public:
    // `undo` and `redo`: the actions whose captions name the change they take back.
    EditCommands(WindowParts& parts, QAction* undo, QAction* redo)
        : parts_(parts), undo_(undo), redo_(redo) {}

    // Undo's and Redo's captions name the change they would take back now (another program may
    // have changed the history since).
    void updateUndoActions();
    // Undo (`undoing`) or Redo of the newest change of this keyboard. A slot changed since is
    // asked about; `force` takes it back without asking (what it holds is kept). `done` hears
    // at the end whether the change was taken back.
    using Done = std::function<void(bool taken)>;
    void takeBackLatest(bool undoing, bool force = false, const Done& done = {});
    // Copy, move or swap two keyboard slots, or rename one, keeping what they replace.
    void editSlots(organise::Edit edit, const SlotAddress& from, const SlotAddress& to);
    void renameSlot(const SlotAddress& slot, const QString& name);

    // Edit > Copy To..., Move To..., Swap With...: asks for the other slot of the same kind.
    void askAndEditSelectedSlot(organise::Edit edit);
    void askAndRenameSelectedSlot();

private:
    // The keyboard list's selected slot; null (and said) when none or a folder is selected.
    std::optional<SlotAddress> selectedKbdSlot();
    // Throws ListFirst when the keyboard has not been listed (nothing to change yet).
    void requireListed() const;

    WindowParts& parts_;
    QAction* undo_;
    QAction* redo_;
};
