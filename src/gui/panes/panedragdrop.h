#pragma once

#include <QModelIndex>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <functional>

class QAbstractItemView;
class QMimeData;

// Drag and drop between the window's two lists, and nowhere else: a row of the PC list dropped
// onto the keyboard list is sent into the slot under the pointer, a slot dropped onto the PC
// list is imported into the folder under the pointer (or the current one), a slot dropped onto
// another slot of the keyboard list is copied there. The rules of what
// may start and what is accepted come from the window; this class carries the drag: the press,
// the 5-pixel start distance, a private MIME type, the accept/refuse answers (the toolkit shows
// the no-drop cursor on a refusal) and the drop.
//
// A drag names its source list and this process in its MIME data, so a drop of our own rows from
// another copy of the program, or of the PC list onto itself, is refused. Several selected rows
// travel together: a press on one of them keeps the selection until the button is released
// without a drag. Files from other programs (a file manager's text/uri-list of local files)
// are offered to the window's rules, which take ".nvb" files only.
class PaneDragDrop : public QObject {
    Q_OBJECT
public:
    enum Side { Local, Keyboard };

    static constexpr const char* kMimeType = "application/x-nvbman-pane-row";
    static constexpr int kStartDistance = 5;

    struct Rules {
        // Whether a drag may start on this row of the side's list.
        std::function<bool(Side, const QModelIndex&)> canDrag;
        // Whether the side's list takes a drop now (the keyboard list only after the list).
        std::function<bool(Side)> acceptsDrop;
        // Carries out a drop onto the side's list at this row (invalid: empty space): the other
        // list's selected rows when `files` is empty, else those files from another program.
        std::function<void(Side, const QModelIndex&, const QStringList& files)> dropped;
        // Carries out a drop of the keyboard list's selected row onto its row `target`.
        std::function<void(const QModelIndex& target)> copiedWithin;
    };

    PaneDragDrop(Rules rules, QObject* parent);

    // A list view of a side: drags start from its rows, drops land on it. Each side may have
    // more than one view (the icon views and the details view over one model).
    void attach(QAbstractItemView* view, Side side);

    // The data of a drag that began on `side` in this process.
    static QMimeData* mimeData(Side side);
    // Whether a drop onto `target` takes this data: ours, from this process, from the other list.
    static bool fromOtherList(const QMimeData* data, Side target);
    // Whether the data is the keyboard list's own row, dropped back onto the keyboard list.
    static bool withinKeyboardList(const QMimeData* data, Side target);
    // The local files a drop from another program carries (empty when it carries anything
    // else: a remote address, text, our own rows).
    static QStringList localFiles(const QMimeData* data);

Q_SIGNALS:
    // A drag has begun on the side's list (the pointer moved far enough with the button held).
    void dragStarted(Side side);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Press {
        QPointer<QAbstractItemView> view;
        QPoint at;
        bool armed = false;
        // Pressed on one of several selected rows: the others stay selected for the drag.
        QPersistentModelIndex keptSelectionRow;
        QPointF global;
    };

    QAbstractItemView* viewOf(QObject* viewport) const;
    // Whether the drag or drop is one this side takes: our other list's rows, or files.
    bool accepts(const QMimeData* data, Side side, const QModelIndex& row) const;
    Side sideOf(const QAbstractItemView* view) const;

    Rules rules_;
    Press press_;
    bool replayingPress_ = false;
};
