#include "commandframe.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <algorithm>

#include "msg/errortext.h"
#include "platform/cancellation.h"
#include "platform/handover.h"
#include "platform/keyboardsession.h"
#include "platform/keyboardthread.h"
#include "stream/nvbtransfer.h"

CommandFrame::CommandFrame(QWidget* window, QLabel* status, QProgressBar* bar, QPushButton* cancel,
                           const MsgStr& messages, platform::KeyboardThread& keyboard)
    : QObject(window),
      window_(window),
      status_(status),
      bar_(bar),
      cancel_(cancel),
      messages_(messages),
      keyboard_(keyboard) {
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, &CommandFrame::cancel);
}

void CommandFrame::cancel() {
    if (busy_) {
        stop_.request();
    }
}

void CommandFrame::stopAndWait() {
    stop_.request();
    keyboard_.waitForPosted();
}

namespace {

// Disables every widget, remembering how each was; or gives each its remembered state back.
void switchItems(std::vector<QPointer<QWidget>>& items, std::vector<bool>& states, bool enabled) {
    if (!enabled) {
        states.clear();
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i] == nullptr) {
            continue;
        }
        if (!enabled) {
            states.resize(i + 1, false);
            states[i] = items[i]->isEnabled();
            items[i]->setEnabled(false);
        } else if (i < states.size()) {
            items[i]->setEnabled(states[i]);
        }
    }
}

}  // namespace

void CommandFrame::setGuardedEnabled(bool enabled) {
    switchItems(widgets_, widgetStates_, enabled);
}

void CommandFrame::giveFocusBack(QWidget* before) {
    const auto usable = [](const QWidget* widget) {
        return widget != nullptr && widget->isVisible() && widget->isEnabled() &&
               widget->focusPolicy() != Qt::NoFocus;
    };
    QWidget* target = usable(before) ? before : nullptr;
    if (target == nullptr && restingFocus_) {
        target = restingFocus_();
    }
    if (usable(target)) {
        target->setFocus(Qt::OtherFocusReason);
    }
}

bool CommandFrame::runPrepared(MsgStr::Command command, const Prepare& prepare, Then then) {
    if (busy_) {
        return false;
    }
    Body body;
    try {
        body = prepare();
    } catch (...) {
        // Refused before it started: nothing was disabled, nothing runs.
        ++unfinished_;
        status_->clear();
        QMessageBox::critical(window_, window_->windowTitle(), currentErrorText(messages_));
        if (then) {
            then(false);
        }
        --unfinished_;
        Q_EMIT commandEnded();
        return true;
    }
    return run(command, std::move(body), std::move(then));
}

bool CommandFrame::run(MsgStr::Command command, Body body, Then then) {
    if (busy_) {
        return false;  // one command at a time
    }
    busy_ = true;
    ++unfinished_;
    // Disabling the focused control moves the focus on, possibly to the Cancel button that
    // hides again at the end; the user gets their place back afterwards.
    focusBefore_ = QApplication::focusWidget();
    stop_ = platform::StopToken();
    setGuardedEnabled(false);
    Q_EMIT busyChanged(true);
    bar_->setValue(0);
    status_->setText(messages_.statusText(command));
    retried_ = false;
    changeMadeAgain_ = false;
    cancel_->show();

    platform::Settings settings = takeSettings_ ? takeSettings_() : platform::Settings();
    keyboard_.post([this, command, body = std::move(body), then = std::move(then), stop = stop_,
                    settings = std::move(settings)] {
        const Ending ending = work(body, stop, settings);
        platform::postTo(this, [this, command, ending, then] { end(command, ending, then); });
    });
    return true;
}

const platform::Settings& CommandFrame::jobSettings() const {
    Q_ASSERT(QThread::currentThread() == keyboard_.thread());
    return jobSettings_;
}

CommandFrame::Ending CommandFrame::work(const Body& body, const platform::StopToken& stop,
                                        platform::Settings settings) {
    const platform::Cancellation::JobScope stoppable(stop);
    Ending ending;
    jobSettings_ = std::move(settings);
    try {
        // Stopped before it began (the window going): the keyboard is not even asked for.
        platform::Cancellation::throwIfRequested();
        const std::unique_ptr<platform::KeyboardSession> session =
            sessionStart_ ? sessionStart_(jobSettings_) : nullptr;
        body();
        if (session) {
            session->finish();
        }
        ending.succeeded = true;
    } catch (const platform::Cancelled&) {
        ending.afterwards = messages_.cancelledText();
    } catch (const transfer::SongSlotEmptied& stopped) {
        // The text says the slot is empty now: in the status line after a stop, in the box
        // after a failure.
        if (stopped.cancelled()) {
            ending.afterwards = messages_.cancelledText(true);
        } else {
            ending.failure = currentErrorText(messages_);
        }
    } catch (...) {
        ending.failure = currentErrorText(messages_);
    }
    if (takePicture_) {
        ending.picture = takePicture_();
    }
    ending.settings = jobSettings_;
    return ending;
}

void CommandFrame::end(MsgStr::Command command, const Ending& ending, const Then& then) {
    QString afterwards = ending.afterwards;
    if (retried_ && ending.succeeded) {
        afterwards = messages_.statusText(command) + ' ' + messages_.retryNote(changeMadeAgain_);
    }
    // Ready for the next command before the box: the box's own event loop may deliver clicks.
    cancel_->hide();
    status_->setText(afterwards);
    bar_->setValue(0);
    setGuardedEnabled(true);
    if (ending.settings && settingsUsed_) {
        settingsUsed_(*ending.settings);
    }
    if (ending.picture && showPicture_) {
        showPicture_(*ending.picture);
    }
    giveFocusBack(focusBefore_);
    busy_ = false;
    Q_EMIT busyChanged(false);
    if (!ending.failure.isEmpty()) {
        QMessageBox::critical(window_, window_->windowTitle(), ending.failure);
    }
    if (then) {
        then(ending.succeeded);
    }
    --unfinished_;
    Q_EMIT commandEnded();
}

void CommandFrame::noteRetry(bool changeMadeAgain) {
    if (thread() != QThread::currentThread()) {
        platform::postTo(this, [this, changeMadeAgain] { noteRetry(changeMadeAgain); });
        return;
    }
    retried_ = true;
    changeMadeAgain_ = changeMadeAgain_ || changeMadeAgain;
    const QString note = messages_.retryNote(changeMadeAgain_);
    if (!status_->text().endsWith(note)) {
        status_->setText(status_->text() + ' ' + note);
    }
}
