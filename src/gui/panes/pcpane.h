#pragma once

#include <QFileInfo>
#include <QModelIndexList>
#include <QObject>

#include "paneviews.h"

class LocalListModel;
class LocalTreeModel;
class QToolBar;
class QWidget;

// The upper pane: the PC's folders and the files of the one selected. Selecting a folder reads
// its sub-folders and lists it; expanding one reads its sub-folders, so folders made meanwhile
// appear; a double click (or Enter) on a folder row goes into it.
class PcPane : public QObject {
    Q_OBJECT
public:
    explicit PcPane(QObject* parent);

    // The pane under `bar` (its buttons placed by the caller).
    QWidget* build(QToolBar* bar);

    // Makes the roots and selects `folder` (nothing when empty or no root begins it).
    void buildTree(const QString& folder);
    // Expands the tree down to `path` and selects it; false when no root begins it.
    bool selectFolder(const QString& path);
    // Selects the sub-folder `name` of the selected folder (which lists it); false if none.
    bool selectSubfolder(const QString& name);
    // Makes the file `name` of the list current, and gives the list the focus.
    void selectFile(const QString& name);
    // Reads the selected folder again; the current file stays current if it is still there.
    void refresh();

    QModelIndex selectedNode() const;
    QModelIndex selectedRow() const;
    QModelIndexList selectedRows() const;
    // The selected folder's path with a separator at its end; empty when none is selected.
    QString folderPath() const;
    QFileInfo entry(const QModelIndex& row) const;

    LocalListModel* listModel() const { return list_; }
    const paneviews::FileViews& views() const { return views_; }
    QTreeView* tree() const { return tree_; }

private:
    void list(const QModelIndex& node);
    void enterSelectedFolder();

    LocalTreeModel* treeModel_;
    LocalListModel* list_;
    QTreeView* tree_;
    paneviews::FileViews views_;
};
