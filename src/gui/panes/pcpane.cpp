#include "pcpane.h"

#include <QCoreApplication>
#include <QListView>
#include <QPersistentModelIndex>
#include <QStackedWidget>
#include <QTreeView>

#include "localpanemodel.h"

namespace {
// The details' columns: name, type, size, item name, item type, tags.
constexpr auto kColumnWidths = {200, 100, 100, 90, 90, 160};
}  // namespace

PcPane::PcPane(QObject* parent)
    : QObject(parent),
      treeModel_(new LocalTreeModel(this)),
      list_(new LocalListModel(this)),
      tree_(paneviews::folderTree(treeModel_, "LocalDirView",
                                  QCoreApplication::translate("TPcLinkForm", "PC folders"))),
      views_(paneviews::fileViews(list_, "LocalFileView", "LocalFileDetails",
                                  QCoreApplication::translate("TPcLinkForm", "PC files"),
                                  kColumnWidths)) {
    // A dump of several items opens onto a row per item.
    views_.details->setRootIsDecorated(true);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(views_.list),
                                    static_cast<QAbstractItemView*>(views_.details)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &PcPane::enterSelectedFolder);
        connect(view, &QAbstractItemView::activated, this, &PcPane::enterSelectedFolder);
    }
    // The selection, not the current node: a tree that takes the focus marks a node current
    // without selecting it, and the list shows only what the user chose.
    connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndex node = selectedNode();
        if (node.isValid()) {
            treeModel_->refreshSubfolders(node);
        }
        list(node);
    });
    connect(tree_, &QTreeView::expanded, treeModel_, &LocalTreeModel::refreshSubfolders);
}

QWidget* PcPane::build(QToolBar* bar) {
    return paneviews::paneOf(bar, tree_, views_.stack, "LocalSplit");
}

void PcPane::buildTree(const QString& folder) {
    treeModel_->buildRoots();
    if (!folder.isEmpty()) {
        // No root begins the folder: nothing is selected, the list stays empty.
        selectFolder(folder);
    }
}

bool PcPane::selectFolder(const QString& path) {
    // Persistent: each expand reads its folder's sub-folders again, and one that came or went
    // beside ours meanwhile moves our row.
    const QPersistentModelIndex folder = treeModel_->expandToPath(path);
    if (!folder.isValid()) {
        return false;
    }
    for (QPersistentModelIndex up = folder.parent(); up.isValid(); up = up.parent()) {
        tree_->expand(up);
    }
    tree_->setCurrentIndex(folder);
    tree_->scrollTo(folder);
    return true;
}

bool PcPane::selectSubfolder(const QString& name) {
    const QModelIndex node = selectedNode();
    if (!node.isValid()) {
        return false;
    }
    treeModel_->refreshSubfolders(node);
    // Persistent: the expand reads the sub-folders again and may move the child's row.
    const QPersistentModelIndex child = treeModel_->childNamed(node, name);
    if (!child.isValid()) {
        return false;
    }
    tree_->expand(node);
    tree_->setCurrentIndex(child);
    return true;
}

void PcPane::selectFile(const QString& name) {
    const QModelIndex row = list_->rowNamed(name);
    if (row.isValid()) {
        views_.list->setCurrentIndex(row);
        views_.list->scrollTo(row);
    }
    views_.stack->currentWidget()->setFocus();
}

void PcPane::refresh() {
    const QModelIndex node = selectedNode();
    if (!node.isValid()) {
        return;
    }
    const QString current = entry(selectedRow()).fileName();
    list(node);
    const QModelIndex row = list_->rowNamed(current);
    if (row.isValid()) {
        views_.list->setCurrentIndex(row);
    }
}

QModelIndex PcPane::selectedNode() const {
    return paneviews::selectedRow(tree_->selectionModel());
}

QModelIndex PcPane::selectedRow() const {
    return paneviews::selectedRow(views_.list->selectionModel());
}

QModelIndexList PcPane::selectedRows() const {
    return paneviews::selectedRows(views_.list->selectionModel());
}

QString PcPane::folderPath() const {
    return treeModel_->nodePath(selectedNode());
}

QFileInfo PcPane::entry(const QModelIndex& row) const {
    return list_->entry(row);
}

void PcPane::list(const QModelIndex& node) {
    if (node.isValid()) {
        list_->list(treeModel_->nodePath(node));
    } else {
        list_->clearRows();
    }
}

void PcPane::enterSelectedFolder() {
    const QFileInfo folder = entry(selectedRow());
    if (folder.isDir()) {
        selectSubfolder(folder.fileName());
    }
}
