// The window's Edit menu: Undo and Redo of the history's changes, and copy, move, swap and
// rename on the keyboard. Each runs in the command frame, on the core's organise:: jobs.

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>

#include "backup/history.h"
#include "commandframe.h"
#include "data/datatypes.h"
#include "kbddrv/ekkbddrv.h"
#include "panes/kbdpanemodel.h"
#include "msg/operateexception.h"
#include "ops/keyboardchanges.h"
#include "organise/slotedits.h"
#include "organise/undo.h"
#include "panes/kbdpane.h"
#include "panes/pcpane.h"
#include "pclinkform.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"

void TPcLinkForm::updateUndoActions() {
    // Another program (the command-line tool) may have changed the history since.
    const safety::History history(safetyStore_.folder());
    const QString keyboard = keyboardIdentity(keyboardLink());
    for (const bool undo : {true, false}) {
        QString title;
        try {
            const auto changes = undo ? history.undoable(keyboard) : history.redoable(keyboard);
            if (!changes.empty()) {
                title = messages_.changeTitle(changes.front().action, changes.front().subjects);
            }
        } catch (const platform::SystemError&) {
            // A damaged history: the command says so when it is chosen.
        }
        QAction* reverse = action(undo ? Act::Undo : Act::Redo);
        reverse->setText(messages_.undoActionText(undo, title));
        reverse->setToolTip(reverse->text().remove('&'));
    }
}

bool TPcLinkForm::takeBackLatest(bool undoing, bool force) {
    std::optional<QString> changedSince;  // the question, when a slot changed since
    const bool done = frame_->run(MsgStr::Send, [&] {
        // Read with the keyboard held: no other program changes it, nor its history, now.
        const auto latest = ops::latestChange(changeTarget(nullptr), undoing);
        if (!latest) {
            throw platform::SystemError(messages_.nothingToTakeBack(undoing).toStdString());
        }
        const safety::Change& change = *latest;
        listKeyboard();
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Send));
        try {
            ops::takeBack(changeTarget(&progress), change, undoing, force);
        } catch (const organise::ChangedSince& refusal) {
            changedSince = messages_.changedSinceQuestion(
                refusal.slots, messages_.changeTitle(change.action, change.subjects));
            return;  // asked below, once the frame has ended
        }
        KbdUpdateActionExecute();
    });
    updateUndoActions();
    if (done && changedSince) {
        if (QMessageBox::question(this, windowTitle(), *changedSince) == QMessageBox::Yes) {
            return takeBackLatest(undoing, true);
        }
        return false;
    }
    return done;
}

bool TPcLinkForm::editSlots(organise::Edit edit, const SlotAddress& from, const SlotAddress& to) {
    const bool done = frame_->run(MsgStr::Send, [&] {
        if (!driver_.isConnected()) {
            throw OperateException(OperateException::ListFirst);
        }
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Send));
        ops::edit(changeTarget(&progress), edit, from, to);
        KbdUpdateActionExecute();
    });
    updateUndoActions();
    if (done) {
        kbd_->selectShownSlot(to);
    }
    return done;
}

bool TPcLinkForm::renameSlot(const SlotAddress& slot, const QString& name) {
    const bool done = frame_->run(MsgStr::Send, [&] {
        if (!driver_.isConnected()) {
            throw OperateException(OperateException::ListFirst);
        }
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Send));
        ops::rename(changeTarget(&progress), slot, name);
        KbdUpdateActionExecute();
    });
    updateUndoActions();
    if (done) {
        kbd_->selectShownSlot(slot);
    }
    return done;
}

std::optional<SlotAddress> TPcLinkForm::selectedKbdSlot() {
    const EkData* item = KbdListModel::dataObject(kbd_->selectedRow());
    if (item == nullptr || item->isDirectory()) {
        showError(messages_.operateErrorText(OperateException::NoSendTarget));
        return std::nullopt;
    }
    return SlotAddress::of(*item);
}

void TPcLinkForm::askAndEditSelectedSlot(organise::Edit edit) {
    const auto from = selectedKbdSlot();
    if (!from) {
        return;
    }
    // The other slots of the same kind, with what they hold, as the keyboard list shows them.
    std::vector<SlotAddress> slots;
    QStringList choices;
    for (const auto& [address, where] : allSlots(driver_)) {
        if (address.kind == from->kind && !(address == *from)) {
            slots.push_back(address);
            choices << QString("%1  %2").arg(address.text(),
                                             where.slot->isPresent()
                                                 ? QString::fromLatin1(where.slot->name().c_str())
                                                 : QString());
        }
    }
    const auto prompt = edit == organise::Edit::Copy   ? MsgStr::EditPrompt::CopyTo
                        : edit == organise::Edit::Move ? MsgStr::EditPrompt::MoveTo
                                                       : MsgStr::EditPrompt::SwapWith;
    bool chosen = false;
    const QString choice =
        QInputDialog::getItem(this, windowTitle(), messages_.editPrompt(prompt, from->text()),
                              choices, 0, false, &chosen);
    if (chosen && choices.contains(choice)) {
        editSlots(edit, *from, slots[std::size_t(choices.indexOf(choice))]);
    }
}

void TPcLinkForm::askAndRenameSelectedSlot() {
    const auto slot = selectedKbdSlot();
    if (!slot) {
        return;
    }
    const EkData* item = findSlot(driver_, *slot).slot;
    bool chosen = false;
    const QString name = QInputDialog::getText(
        this, windowTitle(), messages_.renamePrompt(slot->text()), QLineEdit::Normal,
        QString::fromLatin1(item->name().c_str()).trimmed(), &chosen);
    if (chosen) {
        renameSlot(*slot, name);
    }
}
