// The window's own commands: the keyboard's list, the properties dialogs and the file browser,
// and the commands its rooms run (transfers, whole-keyboard jobs, edits, the library), which
// the action table and the tests call by the window's names.

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

void TPcLinkForm::showError(const QString& text) {
    QMessageBox::critical(this, windowTitle(), text);
}

void TPcLinkForm::ConnectActionExecute() {
    frame_->run(MsgStr::List, [this] { listKeyboard(); });
}

void TPcLinkForm::listKeyboard() {
    progressBar_->setMaximum(driver_.progressTotal());
    driver_.getList(settings_.inputDevice, settings_.outputDevice);
    progressBar_->setValue(progressBar_->maximum());
    kbd_->rebuild();
    enableListCommands();
}

void TPcLinkForm::enableListCommands() {
    listed_ = true;
    updateActions();
}

void TPcLinkForm::DisconnectActionExecute() {
    driver_.disconnect();
    library_->forgetSeenItems();
    kbd_->rebuild();
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
        const EkData* item = nullptr;
        QString filePath;
        if (keyboardSide) {
            dialog.showLocation(kbd_->nodePath(node));
            item = KbdListModel::dataObject(row);
            // A keyboard item whose data holds its name is renamed on the keyboard.
            dialog.allowRename(item != nullptr && !item->isDirectory() && item->isPresent() &&
                               item->size() > 0 && EkDataFile::nameOffsetInData(item->type()) >= 0);
        } else {
            dialog.allowRename(true);
            dialog.showLocation(QDir::toNativeSeparators(pc_->folderPath()));
            filePath = pc_->folderPath() + caption;
            if (caption.endsWith(".nvb", Qt::CaseSensitive) && !QFileInfo(filePath).isDir()) {
                fileItem.emplace(DataType::NoType);
                transfer::loadFile(filePath, *fileItem);
                item = &*fileItem;
            }
        }
        if (item != nullptr) {
            dialog.showType(item->type());
            dialog.showSize(item->size());
            dialog.SetName(transfer::keyboardText(item->name()));
        }
        if (!dialog.execute()) {
            return;
        }
        if (fileItem) {
            const QByteArray name = dialog.enteredName().toLatin1();
            fileItem->storeName(std::string(name.constData(), std::size_t(name.size())));
            NvbFileStream(filePath, NvbFileStream::Create).write(*fileItem);
        } else if (keyboardSide && item != nullptr &&
                   dialog.enteredName() != transfer::keyboardText(item->name()).trimmed()) {
            edits_->renameSlot(SlotAddress::of(*item), dialog.enteredName());
        }
    } catch (...) {
        showError(currentErrorText(messages_));
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
        showError(tr("No file browser could be started for \"%1\".")
                      .arg(QDir::toNativeSeparators(folder)));
    }
}

void TPcLinkForm::SendActionExecute() {
    transfers_->sendSelectedFiles();
}

void TPcLinkForm::ReceiveActionExecute() {
    transfers_->importSelectedSlots(transfer::FileFormat::Nvb);
}

void TPcLinkForm::DeleteActionExecute() {
    transfers_->deleteSelectedSlots();
}

void TPcLinkForm::exportSelectedSlots(const QString& folder) {
    transfers_->importSelectedSlots(transfer::FileFormat::Syx, folder);
}

void TPcLinkForm::showReplacedItems() {
    transfers_->showReplacedItems();
}

bool TPcLinkForm::putBack(const safety::Copy& copy) {
    return transfers_->putBack(copy);
}

void TPcLinkForm::backUpKeyboard(const QString& folder, backup::OldBackup oldBackup) {
    jobs_->backUp(folder, oldBackup);
}

void TPcLinkForm::restoreKeyboard(const QString& folder) {
    jobs_->restore(folder);
}

void TPcLinkForm::compareWithBackup(const QString& folder) {
    jobs_->compareWithBackup(folder);
}

bool TPcLinkForm::takeBackLatest(bool undoing, bool force) {
    return edits_->takeBackLatest(undoing, force);
}

bool TPcLinkForm::editSlots(organise::Edit edit, const SlotAddress& from, const SlotAddress& to) {
    return edits_->editSlots(edit, from, to);
}

bool TPcLinkForm::renameSlot(const SlotAddress& slot, const QString& name) {
    return edits_->renameSlot(slot, name);
}

void TPcLinkForm::checkOnPc() {
    library_->checkOnPc();
}

void TPcLinkForm::showLibrary() {
    library_->showDialog();
}

void TPcLinkForm::scanLibrary() {
    library_->scan();
}

bool TPcLinkForm::isScanningLibrary() const {
    return library_->isScanning();
}
