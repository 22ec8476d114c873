#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "msg/msgstr.h"

namespace platform {
class KeyboardSession;
}
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// Runs every keyboard command of the window in the same frame: progress bar to 0, the command's
// status text, the body, one modal error box on failure (the message table's text for the
// program's own exceptions, a system error's own text), then status and bar back to rest.
//
// While a body runs, the nested waits of the driver and the streams keep serving the event
// loop, so the user could start a second command: the frame disables every guarded widget for
// the duration and says busyChanged (the window's actions follow it, and the window refuses to
// close while isBusy()). Escape or the Cancel button beside the bar asks the command to stop at
// its next message.
class CommandFrame : public QObject {
    Q_OBJECT
public:
    CommandFrame(QWidget* window, QLabel* status, QProgressBar* bar, QPushButton* cancel,
                 const MsgStr& messages);

    // What must not be used while a command runs; afterwards it gets back the state it had.
    void guard(QWidget* widget) { widgets_.push_back(widget); }

    // Runs `body` as `command`. True when it succeeded; false after a failure (shown) or a stop.
    bool run(MsgStr::Command command, const std::function<void()>& body);
    bool isBusy() const { return busy_; }
    // A request of the running command lost its answer and was asked again: the status text
    // says so, and keeps saying so after the command.
    // `changeMadeAgain`: a change the keyboard did not show was made again, rather than a
    // request asked again.
    void noteRetry(bool changeMadeAgain = false);
    // Asks the running command to stop at its next message; nothing when none runs.
    void cancel();
    // Called at the start of every command, inside its frame (a failure is the command's
    // failure): holds the keyboard for the command's length.
    using SessionStart = std::function<std::unique_ptr<platform::KeyboardSession>()>;
    void setSessionStart(SessionStart start) { sessionStart_ = std::move(start); }
    // Where the keyboard focus goes after a command when the control that had it before cannot
    // take it back (none had it, or it is gone or hidden).
    void setRestingFocus(std::function<QWidget*()> restingFocus) {
        restingFocus_ = std::move(restingFocus);
    }

Q_SIGNALS:
    void busyChanged(bool busy);

private:
    void setGuardedEnabled(bool enabled);
    void giveFocusBack(QWidget* before);

    QWidget* window_;
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    const MsgStr& messages_;
    bool busy_ = false;
    bool retried_ = false;
    bool changeMadeAgain_ = false;
    std::vector<QPointer<QWidget>> widgets_;
    std::function<QWidget*()> restingFocus_;
    SessionStart sessionStart_;
    // The enabled state each guarded widget had before the command, given back after it.
    std::vector<bool> widgetStates_;
};
