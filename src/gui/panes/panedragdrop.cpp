#include "panedragdrop.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>

namespace {

constexpr const char* kSideProperty = "nvbmanDragSide";

QByteArray payload(PaneDragDrop::Side side) {
    return QByteArray::number(QCoreApplication::applicationPid()) + ' ' +
           (side == PaneDragDrop::Local ? "LocalFileView" : "KbdFileView");
}

}  // namespace

PaneDragDrop::PaneDragDrop(Rules rules, QObject* parent)
    : QObject(parent), rules_(std::move(rules)) {}

void PaneDragDrop::attach(QAbstractItemView* view, Side side) {
    view->setProperty(kSideProperty, int(side));
    // The view's own drag machinery stays off: drags are started here, by these rules. (Setting
    // the mode also clears acceptDrops, so it comes first.)
    view->setDragDropMode(QAbstractItemView::NoDragDrop);
    view->setDragEnabled(false);
    view->setAcceptDrops(true);
    view->viewport()->setAcceptDrops(true);
    view->viewport()->installEventFilter(this);
}

QMimeData* PaneDragDrop::mimeData(Side side) {
    auto* data = new QMimeData;
    data->setData(kMimeType, payload(side));
    return data;
}

bool PaneDragDrop::fromOtherList(const QMimeData* data, Side target) {
    const Side source = target == Local ? Keyboard : Local;
    return data != nullptr && data->hasFormat(kMimeType) &&
           data->data(kMimeType) == payload(source);
}

QAbstractItemView* PaneDragDrop::viewOf(QObject* viewport) const {
    return qobject_cast<QAbstractItemView*>(viewport->parent());
}

PaneDragDrop::Side PaneDragDrop::sideOf(const QAbstractItemView* view) const {
    return Side(view->property(kSideProperty).toInt());
}

QStringList PaneDragDrop::localFiles(const QMimeData* data) {
    if (data == nullptr || data->hasFormat(kMimeType) || !data->hasUrls()) {
        return {};
    }
    QStringList files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        files << url.toLocalFile();
    }
    return files;
}

bool PaneDragDrop::withinKeyboardList(const QMimeData* data, Side target) {
    return target == Keyboard && data != nullptr && data->hasFormat(kMimeType) &&
           data->data(kMimeType) == payload(Keyboard);
}

bool PaneDragDrop::accepts(const QMimeData* data, Side side, const QModelIndex& row) const {
    // A slot dropped onto another slot of the keyboard list is copied there; onto empty space
    // it has nowhere to go.
    const bool copy = withinKeyboardList(data, side) && row.isValid() && rules_.copiedWithin;
    return (copy || fromOtherList(data, side) || !localFiles(data).isEmpty()) &&
           rules_.acceptsDrop(side);
}

bool PaneDragDrop::eventFilter(QObject* watched, QEvent* event) {
    QAbstractItemView* view = viewOf(watched);
    if (view == nullptr) {
        return false;
    }
    const Side side = sideOf(view);
    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            if (replayingPress_) {
                return false;  // the view's own turn, see the release below
            }
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint at = mouse->position().toPoint();
            const QModelIndex row = view->indexAt(at);
            // Armed only on a row the rules allow; the press itself still selects the row.
            press_ = {
                view, at, mouse->button() == Qt::LeftButton && rules_.canDrag(side, row), {}, {}};
            const QItemSelectionModel* selection = view->selectionModel();
            if (press_.armed && mouse->modifiers() == Qt::NoModifier &&
                selection->isRowSelected(row.row(), row.parent()) &&
                selection->selectedRows().size() > 1) {
                // One of several selected rows: they all go with the drag. A release without a
                // drag then hands the press to the view after all, so that the click selects
                // this row alone and moves the view's Shift anchor, as any click does.
                press_.keptSelectionRow = row;
                press_.global = mouse->globalPosition();
                view->setFocus(Qt::MouseFocusReason);
                return true;
            }
            return false;
        }
        case QEvent::MouseButtonRelease:
            if (press_.armed && press_.keptSelectionRow.isValid() && press_.view == view) {
                QMouseEvent press(QEvent::MouseButtonPress, QPointF(press_.at), press_.global,
                                  Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
                replayingPress_ = true;
                QCoreApplication::sendEvent(watched, &press);
                replayingPress_ = false;
            }
            press_.armed = false;
            return false;
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (!press_.armed || press_.view != view || !(mouse->buttons() & Qt::LeftButton)) {
                return false;
            }
            // A click, or a double click, moves less than this: it stays a click.
            if ((mouse->position().toPoint() - press_.at).manhattanLength() < kStartDistance) {
                return false;
            }
            press_.armed = false;
            Q_EMIT dragStarted(side);
            auto* drag = new QDrag(view);
            drag->setMimeData(mimeData(side));
            drag->exec(Qt::CopyAction);
            return true;
        }
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (accepts(drag->mimeData(), side, view->indexAt(drag->position().toPoint()))) {
                drag->setDropAction(Qt::CopyAction);
                drag->accept();
            } else {
                drag->ignore();
            }
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QPersistentModelIndex row = view->indexAt(drop->position().toPoint());
            if (!accepts(drop->mimeData(), side, row)) {
                drop->ignore();
                return true;
            }
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            if (withinKeyboardList(drop->mimeData(), side)) {
                QMetaObject::invokeMethod(
                    this, [this, row] { rules_.copiedWithin(row); }, Qt::QueuedConnection);
                return true;
            }
            const QStringList files = localFiles(drop->mimeData());
            // The command runs after the drag has ended, not inside the drag's own event loop.
            QMetaObject::invokeMethod(
                this, [this, side, row, files] { rules_.dropped(side, row, files); },
                Qt::QueuedConnection);
            return true;
        }
        default:
            return false;
    }
}
