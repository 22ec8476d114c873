// The window's commands: the keyboard commands run through the command frame, the dialogs and
// the file browser. Their bodies read the selections of the two panes; the transfers
// themselves are the core's.

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <optional>

#include "backup/batchjobs.h"
#include "backup/history.h"
#include "backup/keyboardbackup.h"
#include "backup/safetystore.h"
#include "commandframe.h"
#include "data/ekdatafile.h"
#include "dialogs/ekdatapropertyform.h"
#include "dialogs/replaceditemsform.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/slotaddress.h"
#include "panes/kbdpanemodel.h"
#include "panes/localpanemodel.h"
#include "msg/errortext.h"
#include "msg/operateexception.h"
#include "ops/keyboardchanges.h"
#include "panes/kbdpane.h"
#include "panes/pcpane.h"
#include "pclinkform.h"
#include "platform/cancellation.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"
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
    seenItems_.clear();
    kbd_->rebuild();
}

void TPcLinkForm::KbdUpdateActionExecute() {
    kbd_->relist();
}

void TPcLinkForm::SendActionExecute() {
    sendSelectedFiles();
}

SlotInTree TPcLinkForm::slotInTree(EkData* slot, const QModelIndex& kbdNode) const {
    SlotInTree where;
    where.slot = slot;
    where.directoryPath = kbd_->nodePath(kbdNode).toStdString();
    return where;
}

ops::Target TPcLinkForm::changeTarget(backup::JobProgress* progress) {
    return {keyboardLink(), safetyStore_, settings_.keepCopies, messages_, progress};
}

void TPcLinkForm::offerPutBack(const safety::Copy& copy) {
    const auto answer = QMessageBox::question(
        this, windowTitle(),
        safety::keptCopyText(copy, safetyStore_, messages_) + "\n\n" + messages_.putBackQuestion());
    if (answer == QMessageBox::Yes) {
        putBack(copy);
    }
}

bool TPcLinkForm::putBack(const safety::Copy& copy) {
    return frame_->run(MsgStr::Send, [&] {
        // The keyboard as it is now: the copy's slot may have changed since the last list.
        listKeyboard();
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Send));
        const backup::Outcome outcome = ops::putBack(changeTarget(&progress), copy, false);
        KbdUpdateActionExecute();
        failWithTheOnlyItem({outcome});
    });
}

void TPcLinkForm::showReplacedItems() {
    TReplacedItemsForm dialog(
        safetyStore_, [this](const safety::Copy& copy) { return putBack(copy); }, this);
    dialog.exec();
}

void TPcLinkForm::ReceiveActionExecute() {
    importSelectedSlots();
}

void TPcLinkForm::DeleteActionExecute() {
    deleteSelectedSlots();
}

void TPcLinkForm::failWithTheOnlyItem(const std::vector<backup::Outcome>& outcomes) {
    if (outcomes.size() != 1) {
        return;
    }
    const backup::Outcome& only = outcomes.front();
    if (only.retried) {
        frame_->noteRetry();
    }
    if (!only.error.isEmpty()) {
        // Said in the user's language already. A change the keyboard did not show says where
        // the slot's old item is kept (an emptied song slot is offered its song back instead).
        const QString error =
            only.emptied ? only.error : ops::failureText(only, safetyStore_, messages_);
        throw platform::SystemError(error.toStdString());
    }
}

void TPcLinkForm::importSelectedSlots() {
    importSelectedSlotsAs(transfer::FileFormat::Nvb, {});
}

void TPcLinkForm::exportSelectedSlots(const QString& folder) {
    importSelectedSlotsAs(transfer::FileFormat::Syx, folder);
}

void TPcLinkForm::importSelectedSlotsAs(transfer::FileFormat format, const QString& folder) {
    std::vector<backup::Outcome> outcomes;
    const bool ran = frame_->run(MsgStr::Receive, [&] {
        const std::vector<SlotAddress> slots = kbd_->selectedSlots(OperateException::NoImportSource);
        // One empty slot holds nothing to import: no file of an empty item is made.
        if (slots.size() == 1 && !findSlot(driver_, slots.front()).slot->isPresent()) {
            throw OperateException(OperateException::NoImportSource);
        }
        const QModelIndex localNode = pc_->selectedNode();
        if (folder.isEmpty() && !localNode.isValid()) {
            throw OperateException(OperateException::NoImportTarget);
        }
        WindowJobProgress progress(progressBar_, statusText_,
                                   messages_.statusText(MsgStr::Receive));
        outcomes = batch::importSlots(keyboardLink(), slots,
                                      folder.isEmpty() ? pc_->folderPath() : folder,
                                      messages_, &progress, format);
        if (localNode.isValid()) {
            pc_->refresh();
        }
        failWithTheOnlyItem(outcomes);
    });
    if (!ran) {
        return;
    }
    if (outcomes.size() == 1) {
        pc_->selectFile(outcomes.front().file);
        return;
    }
    reportOutcomes(messages_.batchDoneText(MsgStr::Receive, backup::JobSummary(outcomes).done),
                   messages_.batchFailedHeading(MsgStr::Receive), outcomes);
}

void TPcLinkForm::deleteSelectedSlots() {
    std::vector<backup::Outcome> outcomes;
    int row = -1;
    const bool ran = frame_->run(MsgStr::Delete, [&] {
        if (kbd_->selectedRows().isEmpty() || !kbd_->selectedNode().isValid()) {
            throw OperateException(OperateException::NoDeleteSelection);
        }
        if (!driver_.isConnected()) {
            throw OperateException(OperateException::ListFirst);
        }
        const QModelIndex node = kbd_->selectedNode();
        const std::vector<SlotAddress> slots =
            kbd_->selectedSlots(OperateException::NoDeleteSelection);
        row = kbd_->selectedRow().row();
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Delete));
        outcomes = ops::remove(changeTarget(&progress), slots);
        kbd_->relist();
        failWithTheOnlyItem(outcomes);
    });
    if (!ran) {
        return;
    }
    if (outcomes.size() == 1) {
        kbd_->views().list->setCurrentIndex(kbd_->listModel()->index(row, 0));
        return;
    }
    reportOutcomes(messages_.batchDoneText(MsgStr::Delete, backup::JobSummary(outcomes).done),
                   messages_.batchFailedHeading(MsgStr::Delete), outcomes);
}

void TPcLinkForm::sendSelectedFiles() {
    const QModelIndex localNode = pc_->selectedNode();
    QStringList files;
    bool folderRow = false;
    for (const QModelIndex& row : pc_->selectedRows()) {
        const QFileInfo entry = pc_->entry(row);
        folderRow = folderRow || entry.isDir();
        files << pc_->folderPath() + entry.fileName();
    }
    if (!localNode.isValid()) {
        files.clear();
    }
    sendFiles(files, folderRow);
}

void TPcLinkForm::sendFiles(const QStringList& files, bool folderAmongThem) {
    std::vector<backup::Outcome> outcomes;
    std::optional<safety::Copy> emptiedSongCopy;
    int firstRow = -1;
    const bool ran = frame_->run(MsgStr::Send, [&] {
        if (files.isEmpty()) {
            throw OperateException(OperateException::NoSendSource);
        }
        if (folderAmongThem) {
            throw OperateException(OperateException::NotAcceptable);
        }
        const EkData* first = KbdListModel::dataObject(kbd_->selectedRow());
        if (!kbd_->selectedNode().isValid() || first == nullptr) {
            throw OperateException(OperateException::NoSendTarget);
        }
        if (first->isDirectory()) {
            throw OperateException(OperateException::NotAcceptable);
        }
        // Every file is read and placed before the first one goes.
        const auto placements = batch::placeFiles(driver_, files, SlotAddress::of(*first));
        firstRow = placements.front().slot.number;
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(MsgStr::Send));
        try {
            outcomes =
                ops::send(changeTarget(&progress), placements, settings_.verifyAfterSending);
        } catch (const ops::SongEmptiedByStop& stopped) {
            // Stopped with a song slot emptied: the user is offered its old song back.
            emptiedSongCopy = stopped.kept();
            throw;
        }
        KbdUpdateActionExecute();
        if (outcomes.size() == 1 && outcomes.front().emptied && outcomes.front().keptCopy != 0) {
            emptiedSongCopy = safetyStore_.find(outcomes.front().keptCopy);
        }
        failWithTheOnlyItem(outcomes);
    });
    if (!ran) {
        if (emptiedSongCopy) {
            offerPutBack(*emptiedSongCopy);
        }
        return;
    }
    // The lists take the focus only once the frame has given them back their enabled state.
    if (outcomes.size() == 1) {
        kbd_->selectRow(firstRow);
        return;
    }
    reportOutcomes(messages_.batchDoneText(MsgStr::Send, backup::JobSummary(outcomes).done),
                   messages_.batchFailedHeading(MsgStr::Send), outcomes);
}

void TPcLinkForm::copyFilesHere(const QStringList& files) {
    const QModelIndex node = pc_->selectedNode();
    if (!node.isValid()) {
        return;
    }
    const QString folder = pc_->folderPath();
    QString lastCopied;
    try {
        for (const QString& file : files) {
            // Read before anything is asked or written: a file that is no keyboard file stops
            // here with the reason.
            transfer::requireKeyboardFile(file);
            const QFileInfo target(QDir(folder).filePath(QFileInfo(file).fileName()));
            if (target.exists() &&
                target.canonicalFilePath() != QFileInfo(file).canonicalFilePath() &&
                QMessageBox::question(this, windowTitle(),
                                      messages_.replaceFileQuestion(target.fileName())) !=
                    QMessageBox::Yes) {
                continue;
            }
            lastCopied = QFileInfo(transfer::copyNvbFile(file, folder)).fileName();
        }
    } catch (...) {
        showError(currentErrorText(messages_));
    }
    pc_->refresh();
    if (!lastCopied.isEmpty()) {
        pc_->selectFile(lastCopied);
    }
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
            renameSlot(SlotAddress::of(*item), dialog.enteredName());
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

void TPcLinkForm::backUpKeyboard(const QString& folder, backup::OldBackup oldBackup) {
    runKeyboardJob(oldBackup == backup::OldBackup::Replace ? KeyboardJob::ReplacingBackup
                                                           : KeyboardJob::Backup,
                   folder);
}

void TPcLinkForm::restoreKeyboard(const QString& folder) {
    runKeyboardJob(KeyboardJob::Restore, folder);
}

void TPcLinkForm::compareWithBackup(const QString& folder) {
    std::optional<backup::Manifest> manifest;
    try {
        manifest = backup::Manifest::read(folder);
    } catch (...) {
        showError(currentErrorText(messages_));
        return;
    }
    std::vector<backup::Comparison> comparisons;
    const bool ran = frame_->run(MsgStr::Receive, [&] {
        listKeyboard();
        WindowJobProgress progress(progressBar_, statusText_,
                                   messages_.statusText(MsgStr::Receive));
        comparisons =
            backup::compareWithBackup(keyboardLink(), *manifest, folder, messages_, &progress);
    });
    if (!ran) {
        return;
    }
    KbdUpdateActionExecute();
    QStringList differing;
    for (const backup::Comparison& comparison : comparisons) {
        if (comparison.verdict == backup::Verdict::Identical) {
            continue;
        }
        QString line = comparison.slot.text() + ": " +
                       messages_.verdictText(static_cast<int>(comparison.verdict));
        if (!comparison.file.isEmpty()) {
            line += " (" + comparison.file + ")";
        }
        if (!comparison.error.isEmpty()) {
            line += " " + comparison.error;
        }
        differing << line;
    }
    if (differing.isEmpty()) {
        statusText_->setText(messages_.compareSameText(int(comparisons.size())));
        QMessageBox::information(this, windowTitle(),
                                 messages_.compareSameText(int(comparisons.size())));
        return;
    }
    const QString heading =
        messages_.compareDifferHeading(int(differing.size()), int(comparisons.size()));
    statusText_->setText(heading.chopped(1));
    QMessageBox::warning(this, windowTitle(), heading + '\n' + differing.join('\n'));
}

std::optional<std::vector<backup::Comparison>> TPcLinkForm::planRestore(
    const backup::Manifest& manifest, const QString& folder) {
    std::vector<backup::Comparison> comparisons;
    const bool compared = frame_->run(MsgStr::Receive, [&] {
        listKeyboard();
        WindowJobProgress progress(progressBar_, statusText_,
                                   messages_.statusText(MsgStr::Receive));
        comparisons =
            backup::compareWithBackup(keyboardLink(), manifest, folder, messages_, &progress);
    });
    if (!compared) {
        return std::nullopt;
    }
    int replaced = 0;
    int filled = 0;
    int identical = 0;
    QStringList lines;
    for (const backup::Comparison& comparison : comparisons) {
        replaced += comparison.verdict == backup::Verdict::Different ? 1 : 0;
        filled += comparison.verdict == backup::Verdict::MissingOnKeyboard ? 1 : 0;
        identical += comparison.verdict == backup::Verdict::Identical ? 1 : 0;
        lines << QString("%1  %2: %3")
                     .arg(comparison.slot.text(), comparison.file,
                          messages_.restorePlanText(int(comparison.verdict)));
    }
    if (replaced + filled == 0 && identical == int(comparisons.size())) {
        // Nothing to send: the keyboard holds the backup already.
        statusText_->setText(messages_.compareSameText(identical));
        QMessageBox::information(this, windowTitle(), messages_.compareSameText(identical));
        return std::nullopt;
    }
    QMessageBox question(
        QMessageBox::Question, windowTitle(),
        messages_.restoreQuestion(int(manifest.entries.size()), QDir::toNativeSeparators(folder),
                                  settings_.keepCopies) +
            "\n\n" + messages_.restorePlanSummary(replaced, filled, identical),
        QMessageBox::Yes | QMessageBox::No, this);
    question.setDetailedText(lines.join('\n'));
    if (question.exec() != QMessageBox::Yes) {
        return std::nullopt;
    }
    return comparisons;
}

void TPcLinkForm::runKeyboardJob(KeyboardJob job, const QString& folder) {
    const bool restore = job == KeyboardJob::Restore;
    // A backup receives every item from the keyboard, a restore sends them.
    const MsgStr::Command command = restore ? MsgStr::Send : MsgStr::Receive;
    std::optional<backup::Manifest> manifest;
    std::optional<std::vector<backup::Comparison>> plan;
    if (restore) {
        try {
            manifest = backup::Manifest::read(folder);
        } catch (...) {
            showError(currentErrorText(messages_));
            return;
        }
        plan = planRestore(*manifest, folder);
        if (!plan) {
            return;
        }
    }
    std::vector<backup::Outcome> outcomes;
    const QDateTime started = QDateTime::currentDateTimeUtc();
    const bool ran = frame_->run(command, [&] {
        listKeyboard();
        WindowJobProgress progress(progressBar_, statusText_, messages_.statusText(command));
        if (restore) {
            outcomes = ops::restore(changeTarget(&progress), *manifest, folder,
                                    backup::Extras::Keep, &*plan);
        } else {
            outcomes = backup::backupKeyboard(keyboardLink(), folder, messages_, &progress,
                                              job == KeyboardJob::ReplacingBackup
                                                  ? backup::OldBackup::Replace
                                                  : backup::OldBackup::Refuse);
        }
    });
    if (!ran) {
        if (restore) {
            offerWhatAStoppedRestoreKept(started);
        }
        return;
    }
    // The panes show the result: the slots sent back, or the files of the backup.
    KbdUpdateActionExecute();
    LocalUpdateActionExecute();
    const backup::JobSummary done(outcomes);
    QString summary = messages_.jobDoneText(restore, done.done);
    if (restore) {
        summary += " (" + messages_.restoreDetail(done.identical, done.kept) + ")";
    }
    reportOutcomes(summary, messages_.jobFailedHeading(restore), outcomes);
    if (restore && done.failed > 0) {
        offerWhatAStoppedRestoreKept(started);
    }
}

void TPcLinkForm::offerWhatAStoppedRestoreKept(const QDateTime& started) {
    const auto kept = int(ops::copiesKeptSince(safetyStore_, started).size());
    // The stopped restore is the newest change: its undo puts back what it replaced.
    if (kept > 0 &&
        QMessageBox::question(this, windowTitle(), messages_.stoppedRestoreQuestion(kept)) ==
            QMessageBox::Yes) {
        takeBackLatest(true);
    }
}

void TPcLinkForm::reportOutcomes(const QString& summary, const QString& failedHeading,
                                 const std::vector<backup::Outcome>& outcomes) {
    QStringList failed;
    QStringList warned;
    for (const backup::Outcome& outcome : outcomes) {
        if (!outcome.warning.isEmpty()) {
            warned << outcome.slot.text() + ": " + outcome.warning;
        }
        if (!outcome.error.isEmpty()) {
            const QString file = QFileInfo(outcome.file).fileName();
            const QString error = ops::failureText(outcome, safetyStore_, messages_);
            failed << (file.isEmpty()
                           ? QString("%1: %2").arg(outcome.slot.text(), error)
                           : QString("%1 (%2): %3").arg(outcome.slot.text(), file, error));
        }
    }
    QString text = summary;
    if (const QStringList retried = backup::JobSummary(outcomes).retried; !retried.isEmpty()) {
        text += " (" + messages_.retriedText(retried.join(", ")) + ")";
    }
    statusText_->setText(text);
    if (!failed.isEmpty()) {
        showError(failedHeading + '\n' + (failed + warned).join('\n'));
    } else if (!warned.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), text + '\n' + warned.join('\n'));
    }
}
