#pragma once

#include <QModelIndexList>
#include <QObject>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "msg/operateexception.h"
#include "paneviews.h"

class EkData;
class EkKbdDrv;
class KbdListModel;
class KbdTreeModel;
class MsgStr;
class QToolBar;

// The lower pane: the keyboard's areas and folders as the driver's tree holds them, and the
// slots of the one selected. A double click (or Enter) on a folder row goes into it; on a slot
// whose very item a file holds, it asks for that file to be shown.
class KbdPane : public QObject {
    Q_OBJECT
public:
    KbdPane(EkKbdDrv& driver, const QString& modelName, const MsgStr& messages, QObject* parent);

    // The pane under `bar` (its buttons placed by the caller).
    QWidget* build(QToolBar* bar);

    // The tree made anew from the driver (after a list or a disconnect), its first area
    // selected.
    void rebuild();
    // Lists the selected folder again.
    void relist();
    // Makes row `row` current and gives the list the focus.
    void selectRow(int row);
    // Makes the slot's row current when the list shows it.
    void selectShownSlot(const SlotAddress& slot);

    QModelIndex selectedNode() const;
    QModelIndex selectedRow() const;
    QModelIndexList selectedRows() const;
    // The tree path of `node` ("Song Rhythm:\Song\"), as the keyboard's streams name a folder.
    QString nodePath(const QModelIndex& node) const;
    // The selected rows as slots: OperateException `noneSelected` when there are none,
    // NotAcceptable for a folder row.
    std::vector<SlotAddress> selectedSlots(OperateException::Code noneSelected) const;
    // Whether Delete works in the selected folder (songs, rhythms, once listed).
    bool deleteAllowedHere() const;
    // The keyboard's list has been fetched since the start: what needs one can be used.
    bool hasBeenListed() const { return listed_; }
    void setListed();

    KbdListModel* listModel() const { return list_; }
    const paneviews::FileViews& views() const { return views_; }
    QTreeView* tree() const { return tree_; }

Q_SIGNALS:
    // What the commands can do here has changed: another folder is selected (and listed), or
    // the keyboard has been listed.
    void commandsChanged();
    // A double click on a slot whose item a file of the PC holds.
    void fileWanted(const QString& path);

private:
    void openSelectedRow();

    EkKbdDrv& driver_;
    KbdTreeModel* treeModel_;
    KbdListModel* list_;
    QTreeView* tree_;
    paneviews::FileViews views_;
    bool listed_ = false;
};
