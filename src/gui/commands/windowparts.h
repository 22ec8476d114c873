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
    // Inside a command's frame: fetches the keyboard's list (the bar follows it) and rebuilds
    // the keyboard pane, which from then on counts as listed.
    void listKeyboard() const;
    // One error box over the window.
    void showError(const QString& text) const;
    QString title() const;
};
