#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <vector>

#include "msg/msgstr.h"

namespace platform {
class KeyboardSession;
class KeyboardThread;
}  // namespace platform
class QLabel;
class QProgressBar;
class QPushButton;
class QWidget;

// Runs every keyboard command of the window in the same frame: progress bar to 0, the command's
// status text, the body on the keyboard thread, then (back on the window's thread) status and
// bar to rest, one modal error box on failure (the message table's text for the program's own
// exceptions, a system error's own text) and what the command does with its result.
//
// The window's thread goes on drawing and answering the user while a body runs, so the user
// could start a second command: the frame disables every guarded widget for the duration and
// says busyChanged (the window's actions follow it, and the window refuses to close while
// isBusy()). Escape or the Cancel button beside the bar asks the command to stop at its next
// message.
class CommandFrame : public QObject {
    Q_OBJECT
public:
    CommandFrame(QWidget* window, QLabel* status, QProgressBar* bar, QPushButton* cancel,
                 const MsgStr& messages, platform::KeyboardThread& keyboard);

    // What must not be used while a command runs; afterwards it gets back the state it had.
    void guard(QWidget* widget) { widgets_.push_back(widget); }

    // Starts `body` as `command` on the keyboard thread and returns at once: false when another
    // command runs (nothing is started). The body reaches the window only through
    // WindowParts::onGui. Once it has ended and the frame is at rest (a failure shown),
    // `then` runs on the window's thread: true when the body succeeded; false after a failure
    // or a stop.
    using Then = std::function<void(bool succeeded)>;
    bool run(MsgStr::Command command, std::function<void()> body, Then then = {});
    bool isBusy() const { return busy_; }
    // No command runs, nor what one does with its result (its `then`).
    bool isIdle() const { return unfinished_ == 0; }
    // A request of the running command lost its answer and was asked again: the status text
    // says so, and keeps saying so after the command. From any thread.
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
    // A command and its `then` have ended (isIdle() may still be false: `then` may have started
    // another).
    void commandEnded();

private:
    // How a body ended, told from the keyboard thread.
    struct Ending {
        bool succeeded = false;
        QString failure;     // for the box
        QString afterwards;  // for the status line
    };
    Ending work(const std::function<void()>& body);
    void end(MsgStr::Command command, const Ending& ending, const Then& then);
    void setGuardedEnabled(bool enabled);
    void giveFocusBack(QWidget* before);

    QWidget* window_;
    QLabel* status_;
    QProgressBar* bar_;
    QPushButton* cancel_;
    const MsgStr& messages_;
    platform::KeyboardThread& keyboard_;
    bool busy_ = false;
    int unfinished_ = 0;
    QPointer<QWidget> focusBefore_;
    bool retried_ = false;
    bool changeMadeAgain_ = false;
    std::vector<QPointer<QWidget>> widgets_;
    std::function<QWidget*()> restingFocus_;
    SessionStart sessionStart_;
    // The enabled state each guarded widget had before the command, given back after it.
    std::vector<bool> widgetStates_;
};
