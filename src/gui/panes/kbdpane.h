#pragma once

#include <QModelIndexList>
#include <QObject>
#include <vector>

#include "keyboardpicture.h"
#include "kbddrv/slotaddress.h"
#include "msg/operateexception.h"
#include "paneviews.h"

class KbdListModel;
class KbdTreeModel;
class MsgStr;
class QToolBar;

// The lower pane: the keyboard's areas and folders as the window's picture of the keyboard
// holds them, and the slots of the one selected. A double click (or Enter) on a folder row goes into it; on a slot
// whose very item a file holds, it asks for that file to be shown.
class KbdPane : public QObject {
    Q_OBJECT
public:
    // `picture`: what the keyboard held before any command ran.
    KbdPane(KeyboardPicture picture, const QString& modelName, const MsgStr& messages,
            QObject* parent);

    // The pane under `bar` (its buttons placed by the caller).
    QWidget* build(QToolBar* bar);

    // Shows what a command left on the keyboard: after a listing or a disconnect the tree is
    // made anew (its first area selected; listed, the pane counts as listed), otherwise the
    // selected folder is listed again.
    void show(KeyboardPicture picture);
    const KeyboardPicture& picture() const { return picture_; }
    // Lists the selected folder again.
    void relist();
    // Makes row `row` current and gives the list the focus.
    void selectRow(int row);
    // Makes the slot's row current when the list shows it.
    void selectShownSlot(const SlotAddress& slot);

    QModelIndex selectedNode() const;
    QModelIndex selectedRow() const;
    QModelIndexList selectedRows() const;
    // What the current row shows; null when none is current.
    const PictureRow* selectedItem() const;
    // What a row of the list shows; null for an index of no row.
    const PictureRow* itemAt(const QModelIndex& row) const;
    // The memory area the selected tree node is; null for the root and a folder.
    const PictureArea* selectedArea() const;
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
    void rebuild();

    KeyboardPicture picture_;
    KbdTreeModel* treeModel_;
    KbdListModel* list_;
    QTreeView* tree_;
    paneviews::FileViews views_;
    bool listed_ = false;
};
