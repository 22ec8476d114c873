#include "commandframe.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "msg/errortext.h"
#include "platform/cancellation.h"
#include "platform/keyboardsession.h"
#include "stream/nvbtransfer.h"

CommandFrame::CommandFrame(QWidget* window, QLabel* status, QProgressBar* bar, QPushButton* cancel,
                           const MsgStr& messages)
    : QObject(window),
      window_(window),
      status_(status),
      bar_(bar),
      cancel_(cancel),
      messages_(messages) {
    cancel_->hide();
    connect(cancel_, &QPushButton::clicked, this, &CommandFrame::cancel);
}

void CommandFrame::cancel() {
    if (busy_) {
        platform::Cancellation::request();
    }
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

bool CommandFrame::run(MsgStr::Command command, const std::function<void()>& body) {
    if (busy_) {
        return false;  // a second command never starts inside the first one's wait
    }
    busy_ = true;
    // Disabling the focused control moves the focus on, possibly to the Cancel button that
    // hides again at the end; the user gets their place back afterwards.
    const QPointer<QWidget> focusBefore = QApplication::focusWidget();
    platform::Cancellation::clear();
    setGuardedEnabled(false);
    Q_EMIT busyChanged(true);
    bar_->setValue(0);
    status_->setText(messages_.statusText(command));
    retried_ = false;
    changeMadeAgain_ = false;
    cancel_->show();

    bool succeeded = false;
    QString failure;
    QString afterwards;
    try {
        const std::unique_ptr<platform::KeyboardSession> session =
            sessionStart_ ? sessionStart_() : nullptr;
        body();
        if (session) {
            session->finish();
        }
        succeeded = true;
    } catch (const platform::Cancelled&) {
        afterwards = messages_.cancelledText();
    } catch (const transfer::SongSlotEmptied& stopped) {
        // The text says the slot is empty now: in the status line after a stop, in the box
        // after a failure.
        if (stopped.cancelled()) {
            afterwards = messages_.cancelledText(true);
        } else {
            failure = currentErrorText(messages_);
        }
    } catch (...) {
        failure = currentErrorText(messages_);
    }

    if (retried_ && succeeded) {
        afterwards = messages_.statusText(command) + ' ' + messages_.retryNote(changeMadeAgain_);
    }
    // Ready for the next command before the box: the box's own event loop may deliver clicks.
    cancel_->hide();
    status_->setText(afterwards);
    bar_->setValue(0);
    setGuardedEnabled(true);
    giveFocusBack(focusBefore);
    busy_ = false;
    platform::Cancellation::clear();
    Q_EMIT busyChanged(false);
    if (!failure.isEmpty()) {
        QMessageBox::critical(window_, window_->windowTitle(), failure);
    }
    return succeeded;
}

void CommandFrame::noteRetry(bool changeMadeAgain) {
    retried_ = true;
    changeMadeAgain_ = changeMadeAgain_ || changeMadeAgain;
    const QString note = messages_.retryNote(changeMadeAgain_);
    if (!status_->text().endsWith(note)) {
        status_->setText(status_->text() + ' ' + note);
    }
}
