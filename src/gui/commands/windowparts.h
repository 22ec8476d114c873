#pragma once

#include <QString>
#include <functional>

#include "kbddrv/keyboardlink.h"
#include "ops/target.h"

class CommandFrame;
class KbdPane;
class MsgStr;
class PcPane;
class QLabel;
class QProgressBar;
class QWidget;

namespace backup {
class JobProgress;
}
namespace platform {
struct Settings;
}
namespace safety {
class Store;
}

// What the window's command rooms (transfers, whole-keyboard jobs, edits, the library) work
// with: the window for their boxes, the command frame, the status strip, the two panes, the
// message table, the settings, the kept copies and the keyboard. The window owns them all.
//
// The keyboard's driver and its tree belong to the keyboard thread: a command's body reaches
// them through `link`; the window's thread reads only the keyboard pane's picture of them,
// taken when the last command ended.
struct WindowParts {
    QWidget& window;
    CommandFrame& frame;
    QLabel& status;
    QProgressBar& bar;
    PcPane& pc;
    KbdPane& kbd;
    const MsgStr& messages;
    // The window's settings, on the window's thread; a body reads its own copy
    // (CommandFrame::jobSettings).
    const platform::Settings& settings;
    safety::Store& store;
    // The keyboard over these devices; every item it moves is noted for the "On PC" column.
    std::function<KeyboardLink(int inputDevice, int outputDevice)> linkTo;

    // In a body: the keyboard of the command's settings.
    KeyboardLink link() const;
    // In a body: what a change runs against: the keyboard, the kept copies (none when the
    // preference keeps none: then there is nothing to undo with), the progress.
    ops::Target target(backup::JobProgress* progress) const;
    // On the window's thread, while no command runs: the keyboard of the window's settings, for
    // reading its history.
    ops::Target historyTarget() const;
    // Inside a command's body: fetches the keyboard's list (the bar follows it); the keyboard
    // pane shows it once the command has ended.
    void listKeyboard() const;
    // One error box over the window.
    void showError(const QString& text) const;
    QString title() const;
};
