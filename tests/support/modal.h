#pragma once

// Helpers for widget tests: answering the next modal dialog or message box, and a settings
// store in a file of the test's own.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <memory>

#include "platform/settingsstore.h"

// Runs `handle` on the next modal dialog or message box, from the event loop of whatever opened
// it; the handler must close it. Only within the test function that asked: a dialog that never
// came does not leave a watch behind that would answer an unrelated one of a later test (the
// test checks that its handler ran).
inline void onNextModal(std::function<void(QWidget*)> handle) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    const QByteArray askedBy = QTest::currentTestFunction();
    QObject::connect(timer, &QTimer::timeout, [timer, handle, askedBy] {
        if (askedBy != QTest::currentTestFunction()) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            handle(modal);
        }
    });
    timer->start();
}

inline std::unique_ptr<platform::SettingsStore> storeAt(const QString& path) {
    return std::make_unique<platform::SettingsStore>(
        std::make_unique<QSettings>(path, QSettings::IniFormat));
}

// Answers every message box shown while it lives with `answer`, recording their texts.
class MessageBoxes {
public:
    explicit MessageBoxes(QMessageBox::StandardButton answer = QMessageBox::Ok) {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box != nullptr && box->isVisible() && !box->property("answered").toBool()) {
                box->setProperty("answered", true);
                texts << box->text();
                // A box without that button (a question where a message was expected) still
                // closes, and its text fails the test's check.
                QAbstractButton* button = box->button(answer);
                (button != nullptr ? button : box->buttons().first())->click();
            }
        });
        timer_.start();
    }

    QStringList texts;

private:
    QTimer timer_;
};
