#pragma once

#include <QObject>

class QAbstractItemView;
class QMenu;

// A view's pop-up menu, made once and kept for the window's life: a menu made anew on every
// right-click with shared actions loses its accessible children in Qt 6.4, so a screen reader
// could read it only the first time.
//
// A right-click first selects the row under the pointer, as a file manager does, so the menu's
// commands act on what the user pointed at; on empty space a list's selection is cleared. The
// Menu key (or Shift+F10) opens the menu at the selected row and changes nothing.
class PanePopup : public QObject {
    Q_OBJECT
public:
    enum class EmptySpace { KeepSelection, ClearSelection };

    PanePopup(QMenu* menu, EmptySpace emptySpace, QObject* parent);

    // Serves `view`'s context-menu requests from now on (several views may share one menu).
    void attach(QAbstractItemView* view);
    QMenu* menu() const { return menu_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QMenu* menu_;
    EmptySpace emptySpace_;
};
