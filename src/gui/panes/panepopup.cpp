#include "panepopup.h"

#include <QAbstractItemView>
#include <QContextMenuEvent>
#include <QMenu>

PanePopup::PanePopup(QMenu* menu, EmptySpace emptySpace, QObject* parent)
    : QObject(parent), menu_(menu), emptySpace_(emptySpace) {}

void PanePopup::attach(QAbstractItemView* view) {
    view->setContextMenuPolicy(Qt::DefaultContextMenu);
    // A mouse request reaches the viewport, a keyboard request the view that has the focus.
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
}

bool PanePopup::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ContextMenu) {
        return false;
    }
    auto* view = qobject_cast<QAbstractItemView*>(watched);
    if (view == nullptr) {
        view = qobject_cast<QAbstractItemView*>(watched->parent());
    }
    if (view == nullptr) {
        return false;
    }
    const auto* request = static_cast<QContextMenuEvent*>(event);
    QWidget* viewport = view->viewport();
    if (request->reason() == QContextMenuEvent::Mouse) {
        const QPoint at =
            watched == viewport ? request->pos() : viewport->mapFrom(view, request->pos());
        const QModelIndex pointed = view->indexAt(at);
        if (pointed.isValid()) {
            view->setCurrentIndex(pointed);  // selects it: a single-selection view
        } else if (emptySpace_ == EmptySpace::ClearSelection) {
            view->clearSelection();
        }
        menu_->popup(request->globalPos());
    } else {
        const QModelIndexList selected = view->selectionModel()->selectedIndexes();
        const QRect row = selected.isEmpty() ? QRect() : view->visualRect(selected.first());
        const QPoint at = row.isValid() ? row.bottomLeft() : viewport->rect().center();
        menu_->popup(viewport->mapToGlobal(at));
    }
    return true;
}
