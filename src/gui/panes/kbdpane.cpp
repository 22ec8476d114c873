#include "kbdpane.h"

#include <QCoreApplication>
#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include "data/ekdata.h"
#include "kbddrv/ekkbddrv.h"
#include "kbdpanemodel.h"

namespace {
// The details' columns: name, type, size, on PC.
constexpr auto kColumnWidths = {193, 100, 100, 160};
}  // namespace

KbdPane::KbdPane(EkKbdDrv& driver, const QString& modelName, const MsgStr& messages,
                 QObject* parent)
    : QObject(parent),
      driver_(driver),
      treeModel_(new KbdTreeModel(driver, modelName, this)),
      list_(new KbdListModel(driver, messages, this)),
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

void KbdPane::rebuild() {
    list_->clearRows();
    treeModel_->rebuild();
    tree_->expandAll();
    tree_->setCurrentIndex(treeModel_->firstArea());
}

void KbdPane::relist() {
    const QModelIndex node = selectedNode();
    if (node.isValid()) {
        list_->list(treeModel_->nodePath(node));
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
    const EkData* wanted = findSlot(driver_, slot).slot;
    for (int row = 0; row < list_->rowCount(); ++row) {
        if (wanted != nullptr && KbdListModel::dataObject(list_->index(row, 0)) == wanted) {
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
        const EkData* item = KbdListModel::dataObject(row);
        if (item == nullptr) {
            throw OperateException(noneSelected);
        }
        // A folder row holds no data of its own.
        if (item->isDirectory()) {
            throw OperateException(OperateException::NotAcceptable);
        }
        slots.push_back(SlotAddress::of(*item));
    }
    return slots;
}

void KbdPane::setListed() {
    listed_ = true;
    Q_EMIT commandsChanged();
}

bool KbdPane::deleteAllowedHere() const {
    return kbdpane::deleteAllowed(selectedNode().data().toString(), driver_.isConnected());
}

void KbdPane::openSelectedRow() {
    const QModelIndex node = selectedNode();
    const QModelIndex row = selectedRow();
    EkData* item = KbdListModel::dataObject(row);
    if (!node.isValid() || item == nullptr) {
        return;
    }
    if (!item->isDirectory()) {
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
