#include "editcommands.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <memory>

#include "commandframe.h"
#include "data/ekdata.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/operateexception.h"
#include "ops/keyboardchanges.h"
#include "organise/undo.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"

void EditCommands::updateUndoActions() {
    for (const bool undo : {true, false}) {
        QString title;
        try {
            if (const auto latest = ops::latestChange(parts_.target(nullptr), undo)) {
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
            parts_.onGui([this] { parts_.kbd.relist(); });
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
    parts_.frame.run(
        MsgStr::Send,
        [this, edit, from, to] {
            if (!parts_.driver.isConnected()) {
                throw OperateException(OperateException::ListFirst);
            }
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Send));
            ops::edit(parts_.target(&progress), edit, from, to);
            parts_.onGui([this] { parts_.kbd.relist(); });
        },
        [this, to](bool succeeded) {
            updateUndoActions();
            if (succeeded) {
                parts_.kbd.selectShownSlot(to);
            }
        });
}

void EditCommands::renameSlot(const SlotAddress& slot, const QString& name) {
    parts_.frame.run(
        MsgStr::Send,
        [this, slot, name] {
            if (!parts_.driver.isConnected()) {
                throw OperateException(OperateException::ListFirst);
            }
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Send));
            ops::rename(parts_.target(&progress), slot, name);
            parts_.onGui([this] { parts_.kbd.relist(); });
        },
        [this, slot](bool succeeded) {
            updateUndoActions();
            if (succeeded) {
                parts_.kbd.selectShownSlot(slot);
            }
        });
}

std::optional<SlotAddress> EditCommands::selectedKbdSlot() {
    const EkData* item = KbdListModel::dataObject(parts_.kbd.selectedRow());
    if (item == nullptr || item->isDirectory()) {
        parts_.showError(parts_.messages.operateErrorText(OperateException::NoSendTarget));
        return std::nullopt;
    }
    return SlotAddress::of(*item);
}

void EditCommands::askAndEditSelectedSlot(organise::Edit edit) {
    const auto from = selectedKbdSlot();
    if (!from) {
        return;
    }
    // The other slots of the same kind, with what they hold, as the keyboard list shows them.
    std::vector<SlotAddress> slots;
    QStringList choices;
    for (const auto& [address, where] : allSlots(parts_.driver)) {
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
    const EkData* item = findSlot(parts_.driver, *slot).slot;
    bool chosen = false;
    const QString name = QInputDialog::getText(
        &parts_.window, parts_.title(), parts_.messages.renamePrompt(slot->text()),
        QLineEdit::Normal, QString::fromLatin1(item->name().c_str()).trimmed(), &chosen);
    if (chosen) {
        renameSlot(*slot, name);
    }
}
