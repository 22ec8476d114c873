// The window's own commands: the keyboard's list, the properties dialogs and the file browser;
// Send, Import and Delete by the names the window has always given them.

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QUrl>
#include <optional>

#include "commands/commandframe.h"
#include "commands/editcommands.h"
#include "commands/keyboardjobs.h"
#include "commands/transfercommands.h"
#include "commands/windowlibrary.h"
#include "commands/windowparts.h"
#include "commands/windowversions.h"
#include "data/ekdatafile.h"
#include "dialogs/ekdatapropertyform.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/errortext.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "panes/pcpane.h"
#include "pclinkform.h"

#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"

void TPcLinkForm::ConnectActionExecute() {
    frame_->run(MsgStr::List, [this] { parts_->listKeyboard(); });
}

void TPcLinkForm::DisconnectActionExecute() {
    // No traffic: done on the keyboard's thread (no command runs, the action waits for them).
    KeyboardPicture picture;
    keyboard_.call([this, &picture] {
        driver_.disconnect();
        picture = KeyboardPicture::of(driver_);
    });
    library_->forgetSeenItems();
    kbd_->show(std::move(picture));
}

void TPcLinkForm::KbdUpdateActionExecute() {
    kbd_->relist();
}

void TPcLinkForm::PropOpenExecute(bool keyboardSide) {
    // A damaged file must end in a message, never end the program; the file is read afresh
    // each time, so the dialog never shows what an earlier look cached.
    try {
        const QModelIndex node = keyboardSide ? kbd_->selectedNode() : pc_->selectedNode();
        const QModelIndex row = keyboardSide ? kbd_->selectedRow() : pc_->selectedRow();
        if (!row.isValid()) {
            return;
        }
        const QString caption = row.sibling(row.row(), 0).data().toString();
        TEkDataPropertyForm dialog(this);
        dialog.showFileName(caption);
        std::optional<EkDataFile> fileItem;
        const PictureRow* slot = nullptr;
        QString filePath;
        if (keyboardSide) {
            dialog.showLocation(kbd_->nodePath(node));
            slot = kbd_->itemAt(row);
            // A keyboard item whose data holds its name is renamed on the keyboard.
            dialog.allowRename(slot != nullptr && slot->view.holdsItem && slot->view.size > 0 &&
                               EkDataFile::nameOffsetInData(slot->view.type) >= 0);
        } else {
            dialog.allowRename(true);
            dialog.showLocation(QDir::toNativeSeparators(pc_->folderPath()));
            filePath = pc_->folderPath() + caption;
            if (caption.endsWith(".nvb", Qt::CaseSensitive) && !QFileInfo(filePath).isDir()) {
                fileItem.emplace(DataType::NoType);
                transfer::loadFile(filePath, *fileItem);
            }
        }
        // What the dialog shows: the file's item, or the slot as the keyboard pane shows it.
        std::optional<library::SlotView> shown;
        if (fileItem) {
            shown = library::SlotView{{}, fileItem->type(), fileItem->size(), fileItem->name()};
        } else if (slot != nullptr) {
            shown = slot->view;
        }
        if (slot != nullptr && slot->slot && slot->view.holdsItem) {
            dialog.offerVersions([this, address = *slot->slot] { versions_->showVersions(address); });
        } else if (fileItem) {
            dialog.offerVersions([this] { versions_->showVersionsOfSelectedFile(); });
        }
        if (shown) {
            dialog.showType(shown->type);
            dialog.showSize(shown->size);
            dialog.SetName(transfer::keyboardText(shown->name));
        }
        if (!dialog.execute()) {
            return;
        }
        if (fileItem) {
            const QByteArray name = dialog.enteredName().toLatin1();
            fileItem->storeName(std::string(name.constData(), std::size_t(name.size())));
            NvbFileStream(filePath, NvbFileStream::Create).write(*fileItem);
        } else if (keyboardSide && slot != nullptr && slot->slot &&
                   dialog.enteredName() != transfer::keyboardText(slot->view.name).trimmed()) {
            edits_->renameSlot(*slot->slot, dialog.enteredName());
        }
    } catch (...) {
        parts_->showError(currentErrorText(messages_));
    }
}

void TPcLinkForm::ShellOpenExecute() {
    const QModelIndex node = pc_->selectedNode();
    if (!node.isValid()) {
        return;
    }
    // The desktop opens its file browser on its own; the window never waits for it.
    const QString folder = pc_->folderPath();
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) {
        parts_->showError(tr("No file browser could be started for \"%1\".")
                              .arg(QDir::toNativeSeparators(folder)));
    }
}

void TPcLinkForm::SendActionExecute() {
    transfers_->sendSelectedFiles();
}

void TPcLinkForm::ReceiveActionExecute() {
    transfers_->importSelectedSlots();
}

void TPcLinkForm::DeleteActionExecute() {
    transfers_->deleteSelectedSlots();
}
