#include "windowparts.h"

#include <QMessageBox>
#include <QProgressBar>
#include <QWidget>

#include "kbddrv/ekkbddrv.h"
#include "panes/kbdpane.h"
#include "platform/keyboardthread.h"
#include "platform/settingsstore.h"

ops::Target WindowParts::target(backup::JobProgress* progress) const {
    return {link(), store, settings.keepCopies, progress};
}

void WindowParts::onGui(const std::function<void()>& call) const {
    platform::callOn(&window, call);
}

void WindowParts::listKeyboard() const {
    const int total = driver.progressTotal();
    onGui([&] { bar.setMaximum(total); });
    driver.getList(settings.inputDevice, settings.outputDevice);
    onGui([&] {
        bar.setValue(bar.maximum());
        kbd.rebuild();
        kbd.setListed();
    });
}

void WindowParts::showError(const QString& text) const {
    QMessageBox::critical(&window, title(), text);
}

QString WindowParts::title() const {
    return window.windowTitle();
}
