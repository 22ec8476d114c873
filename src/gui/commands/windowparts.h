#pragma once

#include <QString>
#include <functional>

#include "kbddrv/keyboardlink.h"
#include "ops/target.h"

class CommandFrame;
class EkKbdDrv;
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
// The keyboard's driver and its tree belong to the keyboard thread while a command runs: the
// panes show what they took from the tree when last rebuilt, and are rebuilt only through
// onGui (the body waiting) or once the command has ended.
struct WindowParts {
    QWidget& window;
    CommandFrame& frame;
    QLabel& status;
    QProgressBar& bar;
    PcPane& pc;
    KbdPane& kbd;
    const MsgStr& messages;
    platform::Settings& settings;
    safety::Store& store;
    EkKbdDrv& driver;
    // The keyboard of the settings; every item it moves is noted for the "On PC" column.
    std::function<KeyboardLink()> link;

    // What a change runs against: the keyboard, the kept copies (none when the preference keeps
    // none: then there is nothing to undo with), the window's language.
    ops::Target target(backup::JobProgress* progress) const;
    // A command's body runs on the keyboard thread and reaches the window only through this:
    // `call` runs on the window's thread while the body waits (an exception it throws comes
    // back to the body). From the window's thread itself it is a plain call.
    void onGui(const std::function<void()>& call) const;
    // Inside a command's body: fetches the keyboard's list (the bar follows it) and rebuilds
    // the keyboard pane, which from then on counts as listed.
    void listKeyboard() const;
    // One error box over the window.
    void showError(const QString& text) const;
    QString title() const;
};
