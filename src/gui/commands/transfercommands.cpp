#include "transfercommands.h"

#include <QDir>
#include <QFileInfo>
#include <QListView>
#include <QMessageBox>
#include <memory>
#include <optional>

#include "backup/batchjobs.h"
#include "commandframe.h"
#include "dialogs/replaceditemsform.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/errortext.h"
#include "msg/operateexception.h"
#include "ops/keyboardchanges.h"
#include "outcomereport.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "panes/keyboardpicture.h"
#include "panes/pcpane.h"
#include "platform/settingsstore.h"
#include "progress/pbarobservers.h"

void TransferCommands::offerPutBack(const safety::Copy& copy) {
    const auto answer =
        QMessageBox::question(&parts_.window, parts_.title(),
                              safety::keptCopyText(copy, parts_.store, parts_.messages) + "\n\n" +
                                  parts_.messages.putBackQuestion());
    if (answer == QMessageBox::Yes) {
        putBack(copy);
    }
}

void TransferCommands::putBack(const safety::Copy& copy, const std::function<void()>& afterwards) {
    parts_.frame.run(
        MsgStr::Send,
        [this, copy] {
            // The copy is read and checked first; then the keyboard as it is now: the copy's
            // slot may have changed since the last list.
            const batch::Placement kept = ops::keptPlacement(parts_.store, copy);
            parts_.listKeyboard();
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Send));
            const backup::Outcome outcome = ops::putBack(parts_.target(&progress), kept, false);
            outcomereport::failWithTheOnlyItem(parts_, {outcome});
        },
        [afterwards](bool succeeded) {
            if (succeeded && afterwards) {
                afterwards();
            }
        });
}

void TransferCommands::showReplacedItems() {
    TReplacedItemsForm dialog(
        parts_.store,
        [this](const safety::Copy& copy, const std::function<void()>& afterwards) {
            putBack(copy, afterwards);
        },
        &parts_.window);
    dialog.exec();
}

void TransferCommands::importSelectedSlots() {
    transferSelectedSlots(transfer::FileFormat::Nvb, {});
}

void TransferCommands::exportSelectedSlots(const QString& folder) {
    transferSelectedSlots(transfer::FileFormat::Syx, folder);
}

void TransferCommands::transferSelectedSlots(transfer::FileFormat format, const QString& folder) {
    auto outcomes = std::make_shared<std::vector<backup::Outcome>>();
    const bool pcFolderShown = parts_.pc.selectedNode().isValid();
    parts_.frame.runPrepared(
        MsgStr::Receive,
        [this, format, folder, outcomes, pcFolderShown]() -> CommandFrame::Body {
            const std::vector<SlotAddress> slots =
                parts_.kbd.selectedSlots(OperateException::NoImportSource);
            // One empty slot holds nothing to import: no file of an empty item is made.
            const PictureRow* only = slots.size() == 1 ? parts_.kbd.picture().slot(slots.front())
                                                       : nullptr;
            if (only != nullptr && !only->view.holdsItem) {
                throw OperateException(OperateException::NoImportSource);
            }
            if (folder.isEmpty() && !pcFolderShown) {
                throw OperateException(OperateException::NoImportTarget);
            }
            const QString target = folder.isEmpty() ? parts_.pc.folderPath() : folder;
            return [this, format, slots, target, outcomes] {
                WindowJobProgress progress(&parts_.bar, &parts_.status,
                                           parts_.messages.statusText(MsgStr::Receive));
                *outcomes = batch::importSlots(parts_.link(), slots, target, &progress, format);
                outcomereport::failWithTheOnlyItem(parts_, *outcomes);
            };
        },
        [this, outcomes, pcFolderShown](bool succeeded) {
            if (pcFolderShown && !outcomes->empty()) {
                parts_.pc.refresh();
            }
            if (!succeeded) {
                return;
            }
            if (outcomes->size() == 1) {
                parts_.pc.selectFile(outcomes->front().file);
                return;
            }
            outcomereport::reportOutcomes(
                parts_,
                parts_.messages.batchDoneText(MsgStr::Receive, backup::JobSummary(*outcomes).done),
                parts_.messages.batchFailedHeading(MsgStr::Receive), *outcomes);
        });
}

void TransferCommands::deleteSelectedSlots() {
    struct Deleted {
        std::vector<backup::Outcome> outcomes;
        int row = -1;
    };
    auto deleted = std::make_shared<Deleted>();
    parts_.frame.runPrepared(
        MsgStr::Delete,
        [this, deleted]() -> CommandFrame::Body {
            if (parts_.kbd.selectedRows().isEmpty() || !parts_.kbd.selectedNode().isValid()) {
                throw OperateException(OperateException::NoDeleteSelection);
            }
            if (!parts_.kbd.picture().isListed()) {
                throw OperateException(OperateException::ListFirst);
            }
            const std::vector<SlotAddress> slots =
                parts_.kbd.selectedSlots(OperateException::NoDeleteSelection);
            deleted->row = parts_.kbd.selectedRow().row();
            return [this, slots, deleted] {
                WindowJobProgress progress(&parts_.bar, &parts_.status,
                                           parts_.messages.statusText(MsgStr::Delete));
                deleted->outcomes = ops::remove(parts_.target(&progress), slots);
                outcomereport::failWithTheOnlyItem(parts_, deleted->outcomes);
            };
        },
        [this, deleted](bool succeeded) {
            if (!succeeded) {
                return;
            }
            if (deleted->outcomes.size() == 1) {
                parts_.kbd.views().list->setCurrentIndex(
                    parts_.kbd.listModel()->index(deleted->row, 0));
                return;
            }
            outcomereport::reportOutcomes(
                parts_,
                parts_.messages.batchDoneText(MsgStr::Delete,
                                              backup::JobSummary(deleted->outcomes).done),
                parts_.messages.batchFailedHeading(MsgStr::Delete), deleted->outcomes);
        });
}

void TransferCommands::sendSelectedFiles() {
    const QModelIndex localNode = parts_.pc.selectedNode();
    QStringList files;
    bool folderRow = false;
    for (const QModelIndex& row : parts_.pc.selectedRows()) {
        const QFileInfo entry = parts_.pc.entry(row);
        folderRow = folderRow || entry.isDir();
        files << parts_.pc.folderPath() + entry.fileName();
    }
    if (!localNode.isValid()) {
        files.clear();
    }
    sendFiles(files, folderRow);
}

void TransferCommands::sendFiles(const QStringList& files, bool folderAmongThem) {
    struct Sent {
        std::vector<backup::Outcome> outcomes;
        std::optional<safety::Copy> emptiedSongCopy;
        int firstRow = -1;
    };
    auto sent = std::make_shared<Sent>();
    parts_.frame.runPrepared(
        MsgStr::Send,
        [this, files, folderAmongThem, sent]() -> CommandFrame::Body {
            if (files.isEmpty()) {
                throw OperateException(OperateException::NoSendSource);
            }
            if (folderAmongThem) {
                throw OperateException(OperateException::NotAcceptable);
            }
            const PictureRow* first = parts_.kbd.selectedItem();
            if (!parts_.kbd.selectedNode().isValid() || first == nullptr) {
                throw OperateException(OperateException::NoSendTarget);
            }
            if (first->isFolder) {
                throw OperateException(OperateException::NotAcceptable);
            }
            const SlotAddress firstSlot = *first->slot;
            sent->firstRow = firstSlot.number;
            return [this, files, firstSlot, sent] {
                // Every file is read and placed before the first one goes.
                const auto placements = batch::placeFiles(parts_.link().driver, files, firstSlot);
                WindowJobProgress progress(&parts_.bar, &parts_.status,
                                           parts_.messages.statusText(MsgStr::Send));
                try {
                    sent->outcomes = ops::send(parts_.target(&progress), placements,
                                               parts_.settings.verifyAfterSending);
                } catch (const ops::SongEmptiedByStop& stopped) {
                    // Stopped with a song slot emptied: the user is offered its old song back.
                    sent->emptiedSongCopy = stopped.kept();
                    throw;
                }
                if (sent->outcomes.size() == 1 && sent->outcomes.front().emptied &&
                    sent->outcomes.front().keptCopy != 0) {
                    sent->emptiedSongCopy = parts_.store.find(sent->outcomes.front().keptCopy);
                }
                outcomereport::failWithTheOnlyItem(parts_, sent->outcomes);
            };
        },
        [this, sent](bool succeeded) {
            if (!succeeded) {
                if (sent->emptiedSongCopy) {
                    offerPutBack(*sent->emptiedSongCopy);
                }
                return;
            }
            // The lists take the focus only once the frame has given them back their enabled
            // state.
            if (sent->outcomes.size() == 1) {
                parts_.kbd.selectRow(sent->firstRow);
                return;
            }
            outcomereport::reportOutcomes(
                parts_,
                parts_.messages.batchDoneText(MsgStr::Send,
                                              backup::JobSummary(sent->outcomes).done),
                parts_.messages.batchFailedHeading(MsgStr::Send), sent->outcomes);
        });
}

void TransferCommands::copyFilesHere(const QStringList& files) {
    const QModelIndex node = parts_.pc.selectedNode();
    if (!node.isValid()) {
        return;
    }
    const QString folder = parts_.pc.folderPath();
    QString lastCopied;
    try {
        for (const QString& file : files) {
            // Read before anything is asked or written: a file that is no keyboard file stops
            // here with the reason.
            transfer::requireKeyboardFile(file);
            const QFileInfo target(QDir(folder).filePath(QFileInfo(file).fileName()));
            if (target.exists() &&
                target.canonicalFilePath() != QFileInfo(file).canonicalFilePath() &&
                QMessageBox::question(&parts_.window, parts_.title(),
                                      parts_.messages.replaceFileQuestion(target.fileName())) !=
                    QMessageBox::Yes) {
                continue;
            }
            lastCopied = QFileInfo(transfer::copyNvbFile(file, folder)).fileName();
        }
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
    }
    parts_.pc.refresh();
    if (!lastCopied.isEmpty()) {
        parts_.pc.selectFile(lastCopied);
    }
}
