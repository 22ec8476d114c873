#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "msg/msgstr.h"
#include "panes/keyboardpicture.h"
#include "platform/cancellation.h"
#include "platform/settingsstore.h"

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
// bar to rest, the keyboard pane showing what the body left on the keyboard, one modal error
// box on failure (the message table's text for the program's own exceptions, a system error's
// own text) and what the command does with its result.
//
// A body gets everything it works on by value when it is posted, and hands back what it
// produced through what it captured (read on the window's thread only once it has ended): it
// never calls into the window nor waits for the window's thread. So the window's thread may
// wait for the keyboard thread (the window going away does), never the other way round.
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
    // command runs (nothing is started). Once it has ended and the frame is at rest (a failure
    // shown), `then` runs on the window's thread: true when the body succeeded; false after a
    // failure or a stop.
    using Body = std::function<void()>;
    using Then = std::function<void(bool succeeded)>;
    bool run(MsgStr::Command command, Body body, Then then = {});
    // The same, with `prepare` first, here on the window's thread: it reads what the command
    // works on (the selection, the keyboard's picture), refuses by throwing (shown as the
    // command's failure, and `then` gets false), and returns the body that works on copies.
    using Prepare = std::function<Body()>;
    bool runPrepared(MsgStr::Command command, const Prepare& prepare, Then then = {});
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
    // The window is going: the running command is asked to stop, and the keyboard thread's
    // work is waited for without serving the window's events; nothing of the command's ending
    // is shown then.
    void stopAndWait();
    // What a body uses of the settings: `take` copies the window's settings (on the window's
    // thread, as a command is started); the body reads that copy (jobSettings()), never the
    // window's. `used` gets the copy back once the command has ended (its devices as the start
    // of the command found them).
    void setSettings(std::function<platform::Settings()> take,
                     std::function<void(const platform::Settings&)> used) {
        takeSettings_ = std::move(take);
        settingsUsed_ = std::move(used);
    }
    // In a body (on the keyboard thread): the settings of the running command.
    const platform::Settings& jobSettings() const;
    // Called at the start of every command on the keyboard thread, inside its frame (a failure
    // is the command's failure), with the command's settings (it may find their devices
    // again): holds the keyboard for the command's length.
    using SessionStart =
        std::function<std::unique_ptr<platform::KeyboardSession>(platform::Settings& job)>;
    void setSessionStart(SessionStart start) { sessionStart_ = std::move(start); }
    // After every body (on the keyboard thread, however it ended) `take` copies what the
    // keyboard holds now; `show` gets that copy on the window's thread before anything else of
    // the command's ending.
    void setPicture(std::function<KeyboardPicture()> take,
                    std::function<void(KeyboardPicture)> show) {
        takePicture_ = std::move(take);
        showPicture_ = std::move(show);
    }
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
        std::optional<KeyboardPicture> picture;
        std::optional<platform::Settings> settings;
    };
    Ending work(const Body& body, const platform::StopToken& stop, platform::Settings settings);
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
    std::function<KeyboardPicture()> takePicture_;
    std::function<void(KeyboardPicture)> showPicture_;
    std::function<platform::Settings()> takeSettings_;
    std::function<void(const platform::Settings&)> settingsUsed_;
    // The running command's copy: written and read on the keyboard thread only.
    platform::Settings jobSettings_;
    // The running command's stop request.
    platform::StopToken stop_;
    // The enabled state each guarded widget had before the command, given back after it.
    std::vector<bool> widgetStates_;
};
