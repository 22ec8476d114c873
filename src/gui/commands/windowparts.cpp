#include "windowparts.h"

#include <QMessageBox>
#include <QWidget>

#include "platform/settingsstore.h"

ops::Target WindowParts::target(backup::JobProgress* progress) const {
    return {link(), store, settings.keepCopies, messages, progress};
}

void WindowParts::showError(const QString& text) const {
    QMessageBox::critical(&window, title(), text);
}

QString WindowParts::title() const {
    return window.windowTitle();
}
