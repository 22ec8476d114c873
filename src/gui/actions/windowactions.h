#pragma once

#include <QKeySequence>
#include <QObject>
#include <array>
#include <functional>
#include <vector>

#include "icons/paneicons.h"

class QAction;

// Every command of the window: its menus, toolbars, pop-up menus and shortcuts trigger these.
enum class Act {
    Connect,
    Disconnect,
    KbdUpdate,
    Send,
    Receive,
    Delete,
    LocalUpdate,
    LocalPropOpen,
    KbdPropOpen,
    KbdDrvPropOpen,
    ShellOpen,
    LocalTags,
    LocalVersions,
    KbdTags,
    KbdVersions,
    PrefOpen,
    BackUp,
    Restore,
    RestoreAsOf,
    WhatChanged,
    Compare,
    ReplacedItems,
    ExportDump,
    PrintList,
    ExportList,
    ExportTags,
    ImportTags,
    Library,
    CheckOnPc,
    Undo,
    Redo,
    CopyTo,
    MoveTo,
    SwapWith,
    Rename,
    Exit,
    Help,
    About,
    AboutQt,
};
inline constexpr std::size_t kActCount = std::size_t(Act::AboutQt) + 1;

// When an action can be used. Every one waits while a command runs, except those marked Always.
enum class ActionUse {
    Always,      // the Help menu and Exit: nothing of the keyboard's
    Idle,        // whenever no command runs
    AfterList,   // once the keyboard's list has been fetched
    DeleteHere,  // the selected keyboard folder holds songs or rhythms, and the keyboard is listed
};

// What the actions' enabled state follows, read afresh whenever it changes.
struct WindowState {
    bool busy = false;        // a command runs
    bool listed = false;      // the keyboard's list has been fetched since the start
    bool deleteHere = false;  // the selected keyboard folder is one Delete works in
};

// One row of the window's action table: the window's counterpart of the command-line tool's
// command table.
struct ActionRow {
    Act act;
    const char* objectName;  // what the layout, the tests and a screen reader's tree know it by
    const char* caption;     // in the window's translation context; empty: set as it runs
    const char* hint;        // the tool tip (a toolbar button's accessible name); null: none
    ToolbarIcon icon;
    QKeySequence shortcut;
    ActionUse use;
    std::function<void()> run;
};

// The window's actions, made from its table, and their enabled state in one place: each follows
// its row's use and the window's state, never a list kept by hand.
class WindowActions : public QObject {
    Q_OBJECT
public:
    // `translate` gives a caption or hint in the user's language.
    WindowActions(const std::vector<ActionRow>& table,
                  const std::function<QString(const char*)>& translate, QObject* parent);

    // An action as every action of the window is made: `hint` empty sets no tool tip.
    static QAction* make(QObject* parent, const QString& caption, const QString& hint,
                         ToolbarIcon icon, const char* objectName);

    QAction* operator[](Act act) const { return actions_[std::size_t(act)]; }
    // An action made elsewhere (a pane's view styles) that waits while a command runs too.
    void addIdleAction(QAction* action) { idle_.push_back(action); }

    // Sets every action's enabled state from `state`.
    void update(const WindowState& state);

private:
    std::array<QAction*, kActCount> actions_{};
    std::array<ActionUse, kActCount> uses_{};
    std::vector<QAction*> idle_;
};
