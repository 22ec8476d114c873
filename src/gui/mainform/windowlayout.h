#pragma once

#include <QString>
#include <vector>

class QAction;
class QActionGroup;
class QHeaderView;
class QMainWindow;
class QSplitter;

namespace platform {
class SettingsStore;
}

// The window's layout between runs: its place and size, its docks, the splitters, each pane's
// view style, the View menu's switches and the columns of the detail lists (widths, order, sort). The window names each
// part once; restore() reads them all back at start, save() writes them when it closes. A part
// with no stored value, or one that cannot be used (damaged, or from a version whose columns
// differ), stays as on a first start.
class WindowLayout {
public:
    WindowLayout(QMainWindow& window, platform::SettingsStore& store);

    void addSplitter(QSplitter* splitter, const QString& key);
    // The lists' columns; a stored layout of another number of columns is not used.
    void addColumns(QHeaderView* header, const QString& key);
    // One of exclusive checkable actions, by the action's data (a pane's view style).
    void addChoice(QActionGroup* group, const QString& key);
    // A checkable action's state (a column shown or not).
    void addToggle(QAction* action, const QString& key);

    void restore();
    void save();

private:
    // Shrinks and moves the window to lie within its screen's available area.
    void fitOnScreen();

    QMainWindow& window_;
    platform::SettingsStore& store_;
    std::vector<std::pair<QSplitter*, QString>> splitters_;
    std::vector<std::pair<QHeaderView*, QString>> columns_;
    std::vector<std::pair<QActionGroup*, QString>> choices_;
    std::vector<std::pair<QAction*, QString>> toggles_;
};
