#include "paneviews.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QHeaderView>
#include <QListView>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>

#include "actions/windowactions.h"
#include "icons/paneicons.h"

namespace paneviews {
namespace {

// A pane list's four looks, in the order of their toolbar buttons (and their icons).
enum class ViewStyle { LargeIcon, SmallIcon, List, Details };
constexpr int kViewStyles = 4;
// The two pages of a pane's list stack.
constexpr int kIconListPage = 0;
constexpr int kDetailsPage = 1;
constexpr QSize kLargeIcon(32, 32);
constexpr QSize kSmallIcon(16, 16);
constexpr QSize kLargeIconGrid(96, 64);
constexpr int kTreeIndentation = 19;
constexpr int kTreeWidth = 177;
constexpr int kListWidth = 438;

void showViewStyle(ViewStyle style, QStackedWidget* stack, QListView* list) {
    if (style == ViewStyle::Details) {
        stack->setCurrentIndex(kDetailsPage);
        return;
    }
    const bool large = style == ViewStyle::LargeIcon;
    stack->setCurrentIndex(kIconListPage);
    list->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    list->setIconSize(large ? kLargeIcon : kSmallIcon);
    list->setGridSize(large ? kLargeIconGrid : QSize());
    list->setFlow(style == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
}

// A screen reader names each toolbar button by its hint, as the tool tip does.
void nameButtonsByHint(QToolBar* bar) {
    for (QAction* action : bar->actions()) {
        if (QWidget* button = bar->widgetForAction(action)) {
            button->setAccessibleName(action->toolTip());
        }
    }
}

}  // namespace

QTreeView* folderTree(QAbstractItemModel* model, const char* name, const QString& accessible) {
    auto* tree = new QTreeView;
    tree->setObjectName(name);
    tree->setAccessibleName(accessible);
    tree->setHeaderHidden(true);
    tree->setIndentation(kTreeIndentation);
    tree->setModel(model);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return tree;
}

FileViews fileViews(QAbstractItemModel* model, const char* name, const char* detailsName,
                    const QString& accessible, std::initializer_list<int> columnWidths) {
    auto* list = new QListView;
    list->setObjectName(name);
    list->setAccessibleName(accessible);
    list->setModel(model);
    list->setViewMode(QListView::IconMode);
    list->setIconSize(kLargeIcon);
    list->setGridSize(kLargeIconGrid);
    list->setWordWrap(true);
    list->setResizeMode(QListView::Adjust);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Whole rows (a screen reader can then select a row: its accessible table refuses row
    // selection of single cells when the model has more than one column), several with Shift
    // and Ctrl, from the keyboard too (Shift+arrows, Ctrl+Space).
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* details = new QTreeView;
    details->setObjectName(detailsName);
    details->setAccessibleName(accessible);
    details->setModel(model);
    details->setSelectionModel(list->selectionModel());
    details->setRootIsDecorated(false);
    details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    int column = 0;
    for (int width : columnWidths) {
        details->header()->resizeSection(column++, width);
    }
    auto* stack = new QStackedWidget;
    stack->addWidget(list);
    stack->addWidget(details);
    return {list, details, stack};
}

QActionGroup* addViewStyles(QToolBar* bar, const FileViews& views, const QString& prefix) {
    auto* group = new QActionGroup(bar);
    group->setObjectName(prefix + "ViewStyles");
    group->setExclusive(true);
    // In the window's translation context, where these words have always been.
    const char* hints[] = {QT_TRANSLATE_NOOP("TPcLinkForm", "Large Icon"),
                           QT_TRANSLATE_NOOP("TPcLinkForm", "Small Icon"),
                           QT_TRANSLATE_NOOP("TPcLinkForm", "List"),
                           QT_TRANSLATE_NOOP("TPcLinkForm", "Detailed")};
    const char* names[] = {"IconBtn", "SmallIconBtn", "ListBtn", "ReportBtn"};
    for (int style = 0; style < kViewStyles; ++style) {
        const QString hint = QCoreApplication::translate("TPcLinkForm", hints[style]);
        QAction* action =
            WindowActions::make(group, hint, hint, ToolbarIcon(int(ToolbarIcon::LargeIcon) + style),
                                qPrintable(prefix + names[style]));
        action->setCheckable(true);
        action->setChecked(style == int(ViewStyle::LargeIcon));
        action->setData(style);
        bar->addAction(action);
    }
    // One model, four looks. Each style follows its action's checked state, however it was
    // set: a click, the keyboard, or a screen reader's toggle action (which never triggers the
    // action).
    for (QAction* action : group->actions()) {
        QObject::connect(action, &QAction::toggled, bar, [views, action](bool checked) {
            if (checked) {
                showViewStyle(ViewStyle(action->data().toInt()), views.stack, views.list);
            }
        });
    }
    return group;
}

QWidget* paneOf(QToolBar* bar, QWidget* tree, QWidget* list, const char* splitName) {
    nameButtonsByHint(bar);
    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName(splitName);
    split->addWidget(tree);
    split->addWidget(list);
    split->setSizes({kTreeWidth, kListWidth});
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(split, 1);
    return pane;
}

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

}  // namespace paneviews
