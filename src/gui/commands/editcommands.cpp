#include "editcommands.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <memory>

#include "commandframe.h"
#include "msg/operateexception.h"
#include "ops/keyboardchanges.h"
#include "organise/undo.h"
#include "panes/kbdpane.h"
#include "panes/keyboardpicture.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"

void EditCommands::updateUndoActions() {
    for (const bool undo : {true, false}) {
        QString title;
        try {
            if (const auto latest = ops::latestChange(parts_.historyTarget(), undo)) {
                title = parts_.messages.changeTitle(latest->action, latest->subjects);
            }
        } catch (const platform::SystemError&) {
            // A damaged history: the command says so when it is chosen.
        }
        QAction* reverse = undo ? undo_ : redo_;
        reverse->setText(parts_.messages.undoActionText(undo, title));
        reverse->setToolTip(reverse->text().remove('&'));
    }
}

void EditCommands::takeBackLatest(bool undoing, bool force, const Done& done) {
    // The question, when a slot changed since.
    auto changedSince = std::make_shared<std::optional<QString>>();
    const bool started = parts_.frame.run(
        MsgStr::Send,
        [this, undoing, force, changedSince] {
            // Read with the keyboard held: no other program changes it, nor its history, now.
            const auto latest = ops::latestChange(parts_.target(nullptr), undoing);
            if (!latest) {
                throw platform::SystemError(
                    parts_.messages.nothingToTakeBack(undoing).toStdString());
            }
            const safety::Change& change = *latest;
            parts_.listKeyboard();
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Send));
            try {
                ops::takeBack(parts_.target(&progress), change, undoing, force);
            } catch (const organise::ChangedSince& refusal) {
                *changedSince = parts_.messages.changedSinceQuestion(
                    refusal.slots, parts_.messages.changeTitle(change.action, change.subjects));
                return;  // asked once the frame has ended
            }
        },
        [this, undoing, changedSince, done](bool succeeded) {
            updateUndoActions();
            if (succeeded && *changedSince) {
                if (QMessageBox::question(&parts_.window, parts_.title(), **changedSince) ==
                    QMessageBox::Yes) {
                    takeBackLatest(undoing, true, done);
                } else if (done) {
                    done(false);
                }
                return;
            }
            if (done) {
                done(succeeded);
            }
        });
    // Another command runs: nothing was taken back.
    if (!started && done) {
        done(false);
    }
}

void EditCommands::editSlots(organise::Edit edit, const SlotAddress& from, const SlotAddress& to) {
    parts_.frame.runPrepared(
        MsgStr::Send,
        [this, edit, from, to]() -> CommandFrame::Body {
            requireListed();
            return [this, edit, from, to] {
                WindowJobProgress progress(&parts_.bar, &parts_.status,
                                           parts_.messages.statusText(MsgStr::Send));
                ops::edit(parts_.target(&progress), edit, from, to);
            };
        },
        [this, to](bool succeeded) {
            updateUndoActions();
            if (succeeded) {
                parts_.kbd.selectShownSlot(to);
            }
        });
}

void EditCommands::requireListed() const {
    if (!parts_.kbd.picture().isListed()) {
        throw OperateException(OperateException::ListFirst);
    }
}

void EditCommands::renameSlot(const SlotAddress& slot, const QString& name) {
    parts_.frame.runPrepared(
        MsgStr::Send,
        [this, slot, name]() -> CommandFrame::Body {
            requireListed();
            return [this, slot, name] {
                WindowJobProgress progress(&parts_.bar, &parts_.status,
                                           parts_.messages.statusText(MsgStr::Send));
                ops::rename(parts_.target(&progress), slot, name);
            };
        },
        [this, slot](bool succeeded) {
            updateUndoActions();
            if (succeeded) {
                parts_.kbd.selectShownSlot(slot);
            }
        });
}

std::optional<SlotAddress> EditCommands::selectedKbdSlot() {
    const PictureRow* item = parts_.kbd.selectedItem();
    if (item == nullptr || item->isFolder) {
        parts_.showError(parts_.messages.operateErrorText(OperateException::NoSendTarget));
        return std::nullopt;
    }
    return item->slot;
}

void EditCommands::askAndEditSelectedSlot(organise::Edit edit) {
    const auto from = selectedKbdSlot();
    if (!from) {
        return;
    }
    // The other slots of the same kind, with what they hold, as the keyboard list shows them.
    std::vector<SlotAddress> slots;
    QStringList choices;
    for (const PictureRow* shown : parts_.kbd.picture().slots()) {
        const SlotAddress& address = *shown->slot;
        if (address.kind == from->kind && !(address == *from)) {
            slots.push_back(address);
            choices << QString("%1  %2").arg(address.text(),
                                             shown->view.holdsItem
                                                 ? QString::fromLatin1(shown->view.name.c_str())
                                                 : QString());
        }
    }
    const auto prompt = edit == organise::Edit::Copy   ? MsgStr::EditPrompt::CopyTo
                        : edit == organise::Edit::Move ? MsgStr::EditPrompt::MoveTo
                                                       : MsgStr::EditPrompt::SwapWith;
    bool chosen = false;
    const QString choice = QInputDialog::getItem(&parts_.window, parts_.title(),
                                                 parts_.messages.editPrompt(prompt, from->text()),
                                                 choices, 0, false, &chosen);
    if (chosen && choices.contains(choice)) {
        editSlots(edit, *from, slots[std::size_t(choices.indexOf(choice))]);
    }
}

void EditCommands::askAndRenameSelectedSlot() {
    const auto slot = selectedKbdSlot();
    if (!slot) {
        return;
    }
    const PictureRow* item = parts_.kbd.picture().slot(*slot);
    bool chosen = false;
    const QString name = QInputDialog::getText(
        &parts_.window, parts_.title(), parts_.messages.renamePrompt(slot->text()),
        QLineEdit::Normal,
        item != nullptr ? QString::fromLatin1(item->view.name.c_str()).trimmed() : QString(),
        &chosen);
    if (chosen) {
        renameSlot(*slot, name);
    }
}
