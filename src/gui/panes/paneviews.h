#pragma once

#include <QModelIndexList>
#include <initializer_list>

class QAbstractItemModel;
class QActionGroup;
class QItemSelectionModel;
class QListView;
class QStackedWidget;
class QToolBar;
class QTreeView;
class QWidget;

// The widgets both panes are made of: a folder tree beside a list that shows one model in four
// looks (large icons, small icons, a list, the details with their columns).
namespace paneviews {

// A pane's folder tree: no header, 19-pixel indentation, read-only.
QTreeView* folderTree(QAbstractItemModel* model, const char* name, const QString& accessible);

// A pane's list in its four looks over one model and one selection: a QListView for large
// icons, small icons and the list, a QTreeView with the columns for the details, in a stack.
struct FileViews {
    QListView* list;
    QTreeView* details;
    QStackedWidget* stack;
};
FileViews fileViews(QAbstractItemModel* model, const char* name, const char* detailsName,
                    const QString& accessible, std::initializer_list<int> columnWidths);

// The four looks' buttons on `bar`, checkable in a group named `prefix` + "ViewStyles" (the
// window's layout keeps the choice by that name). Returns the group.
QActionGroup* addViewStyles(QToolBar* bar, const FileViews& views, const QString& prefix);

// One pane: its toolbar over the tree and the list, with a splitter between (`splitName`, the
// name the window's layout keeps it by). Each toolbar button is named by its hint.
QWidget* paneOf(QToolBar* bar, QWidget* tree, QWidget* list, const char* splitName);

// The row or node a command works on: the selected one, never merely the current one. A view
// that takes the keyboard focus marks its first row current without selecting it, and a user
// who only tabbed into a list has chosen nothing; arrow keys, Space and clicks select. A screen
// reader selects rows without moving the current index, so the current index would not do
// either.
QModelIndex selectedRow(const QItemSelectionModel* selection);
// Every selected row, in the order shown (column 0).
QModelIndexList selectedRows(const QItemSelectionModel* selection);

}  // namespace paneviews
