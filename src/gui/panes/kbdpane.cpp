#include "kbdpane.h"

#include <QCoreApplication>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include "kbdpanemodel.h"

namespace {
// The details' columns: name, type, size, on PC, tags.
constexpr auto kColumnWidths = {193, 100, 100, 160, 160};
}  // namespace

KbdPane::KbdPane(KeyboardPicture picture, const QString& modelName, const MsgStr& messages,
                 QObject* parent)
    : QObject(parent),
      picture_(std::move(picture)),
      treeModel_(new KbdTreeModel(modelName, this)),
      list_(new KbdListModel(messages, this)),
      tree_(paneviews::folderTree(treeModel_, "KbdDirView",
                                  QCoreApplication::translate("TPcLinkForm", "Keyboard folders"))),
      views_(paneviews::fileViews(list_, "KbdFileView", "KbdFileDetails",
                                  QCoreApplication::translate("TPcLinkForm", "Keyboard items"),
                                  kColumnWidths)) {
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(views_.list),
                                    static_cast<QAbstractItemView*>(views_.details)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &KbdPane::openSelectedRow);
        connect(view, &QAbstractItemView::activated, this, &KbdPane::openSelectedRow);
    }
    connect(tree_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        relist();
        Q_EMIT commandsChanged();
    });
    rebuild();
}

QWidget* KbdPane::build(QToolBar* bar) {
    return paneviews::paneOf(bar, tree_, views_.stack, "KbdSplit");
}

void KbdPane::show(KeyboardPicture picture) {
    const bool newLayout = picture.listing() != picture_.listing();
    picture_ = std::move(picture);
    if (!newLayout) {
        relist();
        return;
    }
    rebuild();
    if (picture_.isListed()) {
        setListed();
    }
}

void KbdPane::rebuild() {
    list_->clearRows();
    treeModel_->rebuild(picture_);
    tree_->expandAll();
    tree_->setCurrentIndex(treeModel_->firstArea());
}

void KbdPane::relist() {
    const QModelIndex node = selectedNode();
    if (node.isValid()) {
        list_->list(picture_, treeModel_->nodePath(node));
    } else {
        list_->clearRows();
    }
}

void KbdPane::selectRow(int row) {
    const QModelIndex index = list_->index(row, 0);
    views_.list->setCurrentIndex(index);
    views_.list->scrollTo(index);
    views_.stack->currentWidget()->setFocus();
}

void KbdPane::selectShownSlot(const SlotAddress& slot) {
    for (int row = 0; row < list_->rowCount(); ++row) {
        const PictureRow* shown = list_->rowAt(list_->index(row, 0));
        if (shown != nullptr && shown->slot == slot) {
            selectRow(row);
            return;
        }
    }
}

QModelIndex KbdPane::selectedNode() const {
    return paneviews::selectedRow(tree_->selectionModel());
}

QModelIndex KbdPane::selectedRow() const {
    return paneviews::selectedRow(views_.list->selectionModel());
}

QModelIndexList KbdPane::selectedRows() const {
    return paneviews::selectedRows(views_.list->selectionModel());
}

const PictureRow* KbdPane::selectedItem() const {
    return list_->rowAt(selectedRow());
}

const PictureRow* KbdPane::itemAt(const QModelIndex& row) const {
    return list_->rowAt(row);
}

const PictureArea* KbdPane::selectedArea() const {
    const QModelIndex node = selectedNode();
    if (!treeModel_->isArea(node)) {
        return nullptr;
    }
    return picture_.area(node.data().toString().chopped(1));
}

QString KbdPane::nodePath(const QModelIndex& node) const {
    return treeModel_->nodePath(node);
}

std::vector<SlotAddress> KbdPane::selectedSlots(OperateException::Code noneSelected) const {
    const QModelIndexList rows = selectedRows();
    if (!selectedNode().isValid() || rows.isEmpty()) {
        throw OperateException(noneSelected);
    }
    std::vector<SlotAddress> slots;
    for (const QModelIndex& row : rows) {
        const PictureRow* item = list_->rowAt(row);
        if (item == nullptr) {
            throw OperateException(noneSelected);
        }
        // A folder row holds no data of its own.
        if (item->isFolder) {
            throw OperateException(OperateException::NotAcceptable);
        }
        slots.push_back(*item->slot);
    }
    return slots;
}

void KbdPane::setListed() {
    listed_ = true;
    Q_EMIT commandsChanged();
}

bool KbdPane::deleteAllowedHere() const {
    return kbdpane::deleteAllowed(selectedNode().data().toString(), picture_.isListed());
}

void KbdPane::openSelectedRow() {
    const QModelIndex node = selectedNode();
    const QModelIndex row = selectedRow();
    const PictureRow* item = list_->rowAt(row);
    if (!node.isValid() || item == nullptr) {
        return;
    }
    if (!item->isFolder) {
        // A slot whose very item a file holds: that file, in the PC list.
        const QString file =
            row.siblingAtColumn(KbdListModel::OnPcColumn).data(kbdpane::OnPcFileRole).toString();
        if (!file.isEmpty()) {
            Q_EMIT fileWanted(file);
        }
        return;
    }
    const QModelIndex child =
        treeModel_->childNamed(node, row.sibling(row.row(), 0).data().toString());
    if (child.isValid()) {
        tree_->setCurrentIndex(child);
    }
}
