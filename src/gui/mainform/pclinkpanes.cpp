// The two panes' behaviour: filling the trees and lists from their models, the selections the
// commands work on, moving between folders, and re-reading the PC folder.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QListView>
#include <QMessageBox>
#include <QStackedWidget>
#include <QTreeView>

#include "commandframe.h"
#include "data/ekdata.h"
#include "kbddrv/ekkbddrv.h"
#include "kbdpanemodel.h"
#include "localpanemodel.h"
#include "pclinkform.h"

namespace {

// The row or node a command works on: the selected one, never merely the current one. A view
// that takes the keyboard focus marks its first row current without selecting it, and a user
// who only tabbed into a list has chosen nothing; arrow keys, Space and clicks select. A screen
// reader selects rows without moving the current index, so the current index would not do
// either.
QModelIndex selectedRow(const QItemSelectionModel* selection) {
    const QModelIndexList selected = selection->selectedIndexes();
    return selected.isEmpty() ? QModelIndex() : selected.first().siblingAtColumn(0);
}

QModelIndexList selectedRows(const QItemSelectionModel* selection) {
    QModelIndexList rows;
    for (const QModelIndex& index : selection->selectedIndexes()) {
        if (index.column() == 0) {
            rows << index;
        }
    }
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    return rows;
}

}  // namespace

QModelIndexList TPcLinkForm::selectedKbdRows() const {
    return selectedRows(kbdFileView_->selectionModel());
}

QModelIndexList TPcLinkForm::selectedLocalRows() const {
    return selectedRows(localFileView_->selectionModel());
}

void TPcLinkForm::BuildKbdTree() {
    kbdList_->clearRows();
    kbdTree_->rebuild();
    kbdDirView_->expandAll();
    kbdDirView_->setCurrentIndex(kbdTree_->firstArea());
}

void TPcLinkForm::ListKbdFiles(const QModelIndex& node) {
    if (node.isValid()) {
        kbdList_->list(kbdTree_->nodePath(node));
    } else {
        kbdList_->clearRows();
    }
    updateActions();
}

QModelIndex TPcLinkForm::selectedKbdNode() const {
    return selectedRow(kbdDirView_->selectionModel());
}

QModelIndex TPcLinkForm::selectedKbdRow() const {
    return selectedRow(kbdFileView_->selectionModel());
}

void TPcLinkForm::KbdFileViewDblClick() {
    const QModelIndex node = selectedKbdNode();
    const QModelIndex row = selectedKbdRow();
    EkData* item = KbdListModel::dataObject(row);
    if (!node.isValid() || item == nullptr) {
        return;
    }
    if (!item->isDirectory()) {
        // A slot whose very item a file holds: that file, in the PC list.
        const QString file =
            row.siblingAtColumn(KbdListModel::OnPcColumn).data(kbdpane::OnPcFileRole).toString();
        if (!file.isEmpty()) {
            showFile(file);
        }
        return;
    }
    const QModelIndex child =
        kbdTree_->childNamed(node, row.sibling(row.row(), 0).data().toString());
    if (child.isValid()) {
        kbdDirView_->setCurrentIndex(child);
    }
}

void TPcLinkForm::BuildLocalTree() {
    localTree_->buildRoots();
    if (settings_.defaultDirectory.isEmpty()) {
        return;  // no folder stored: nothing is selected, rather than the root of everything
    }
    // No root begins the stored folder: nothing is selected, the list stays empty.
    selectLocalFolder(settings_.defaultDirectory);
}

bool TPcLinkForm::selectLocalFolder(const QString& path) {
    // Persistent: each expand reads its folder's sub-folders again, and one that came or went
    // beside ours meanwhile moves our row.
    const QPersistentModelIndex folder = localTree_->expandToPath(path);
    if (!folder.isValid()) {
        return false;
    }
    for (QPersistentModelIndex up = folder.parent(); up.isValid(); up = up.parent()) {
        localDirView_->expand(up);
    }
    localDirView_->setCurrentIndex(folder);
    localDirView_->scrollTo(folder);
    return true;
}

void TPcLinkForm::showFile(const QString& filePath) {
    // The window comes forward whatever happens; a command in progress keeps its panes.
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    if (filePath.isEmpty() || frame_->isBusy()) {
        return;
    }
    const QFileInfo file(filePath);
    if (!file.exists()) {
        showHandOverFailure(tr("\"%1\" does not exist.").arg(QDir::toNativeSeparators(filePath)));
        return;
    }
    if (file.isDir()) {
        selectLocalFolder(file.absoluteFilePath());
        return;
    }
    if (selectLocalFolder(file.absolutePath())) {
        selectLocalFile(file.fileName());
    }
}

void TPcLinkForm::showHandOverFailure(const QString& text) {
    if (handOverFailures_ != nullptr && handOverFailures_->isVisible()) {
        handOverFailures_->setText(handOverFailures_->text() + '\n' + text);
        return;
    }
    // Not exec(): the box must not hold up the event loop that takes the next hand-over.
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    handOverFailures_ = box;
    box->open();
}

void TPcLinkForm::LocalDirViewChange(const QModelIndex& node) {
    if (node.isValid()) {
        localTree_->refreshSubfolders(node);
    }
    ListLocalFiles(node);
}

void TPcLinkForm::ListLocalFiles(const QModelIndex& node) {
    if (!node.isValid()) {
        localList_->clearRows();
        return;
    }
    localList_->list(localTree_->nodePath(node));
}

QModelIndex TPcLinkForm::selectedLocalNode() const {
    return selectedRow(localDirView_->selectionModel());
}

QModelIndex TPcLinkForm::selectedLocalRow() const {
    return selectedRow(localFileView_->selectionModel());
}

bool TPcLinkForm::selectLocalSubfolder(const QString& name) {
    const QModelIndex node = selectedLocalNode();
    if (!node.isValid()) {
        return false;
    }
    localTree_->refreshSubfolders(node);
    // Persistent: the expand reads the sub-folders again and may move the child's row.
    const QPersistentModelIndex child = localTree_->childNamed(node, name);
    if (!child.isValid()) {
        return false;
    }
    localDirView_->expand(node);
    localDirView_->setCurrentIndex(child);
    return true;
}

void TPcLinkForm::LocalFileViewDblClick() {
    const QFileInfo entry = localList_->entry(selectedLocalRow());
    if (entry.isDir()) {
        selectLocalSubfolder(entry.fileName());
    }
}

void TPcLinkForm::selectLocalFile(const QString& name) {
    const QModelIndex row = localList_->rowNamed(name);
    if (row.isValid()) {
        localFileView_->setCurrentIndex(row);
        localFileView_->scrollTo(row);
    }
    localFileStack_->currentWidget()->setFocus();
}

void TPcLinkForm::selectKbdRow(int row) {
    const QModelIndex index = kbdList_->index(row, 0);
    kbdFileView_->setCurrentIndex(index);
    kbdFileView_->scrollTo(index);
    kbdFileStack_->currentWidget()->setFocus();
}

void TPcLinkForm::LocalUpdateActionExecute() {
    const QModelIndex node = selectedLocalNode();
    if (!node.isValid()) {
        return;
    }
    // The user keeps their place: the current file stays current if it is still there.
    const QString current = localList_->entry(selectedLocalRow()).fileName();
    ListLocalFiles(node);
    const QModelIndex row = localList_->rowNamed(current);
    if (row.isValid()) {
        localFileView_->setCurrentIndex(row);
    }
}

void TPcLinkForm::FormActivate(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive && !frame_->isBusy()) {
        LocalUpdateActionExecute();
        // Another program may have written over a file in place, which no folder watch sees.
        scanLibrary();
    }
}
