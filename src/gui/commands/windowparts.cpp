#include "windowparts.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>

#include "commandframe.h"
#include "kbddrv/ekkbddrv.h"
#include "platform/handover.h"
#include "platform/settingsstore.h"

KeyboardLink WindowParts::link() const {
    const platform::Settings& job = frame.jobSettings();
    return linkTo(job.inputDevice, job.outputDevice);
}

ops::Target WindowParts::target(backup::JobProgress* progress) const {
    return {link(), store, frame.jobSettings().keepCopies, progress};
}

ops::Target WindowParts::historyTarget() const {
    return {linkTo(settings.inputDevice, settings.outputDevice), store, settings.keepCopies};
}

void WindowParts::listKeyboard() const {
    const KeyboardLink keyboard = link();
    const int total = keyboard.driver.progressTotal();
    // Queued, as the bar's steps are: the body never waits for the window. The bar is the
    // call's context, so a call left when the bar goes is dropped with it.
    platform::postTo(&bar, [&bar = bar, total] { bar.setMaximum(total); });
    keyboard.driver.getList(keyboard.inputDevice, keyboard.outputDevice);
}

void WindowParts::showError(const QString& text) const {
    QMessageBox::critical(&window, title(), text);
}

QString WindowParts::title() const {
    return window.windowTitle();
}
