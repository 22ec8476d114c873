// The window and its two panes: a file handed over shown in the PC pane, the PC folder read
// again when the user comes back from another program.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>

#include "commands/commandframe.h"
#include "commands/windowlibrary.h"
#include "panes/pcpane.h"
#include "pclinkform.h"

void TPcLinkForm::showFile(const QString& filePath) {
    // The window comes forward whatever happens; a command in progress keeps its panes.
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    if (filePath.isEmpty() || frame_->isBusy()) {
        return;
    }
    const QFileInfo file(filePath);
    if (!file.exists()) {
        showHandOverFailure(tr("\"%1\" does not exist.").arg(QDir::toNativeSeparators(filePath)));
        return;
    }
    if (file.isDir()) {
        pc_->selectFolder(file.absoluteFilePath());
        return;
    }
    if (pc_->selectFolder(file.absolutePath())) {
        pc_->selectFile(file.fileName());
    }
}

void TPcLinkForm::showHandOverFailure(const QString& text) {
    if (handOverFailures_ != nullptr && handOverFailures_->isVisible()) {
        handOverFailures_->setText(handOverFailures_->text() + '\n' + text);
        return;
    }
    // Not exec(): the box must not hold up the event loop that takes the next hand-over.
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), text, QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    handOverFailures_ = box;
    box->open();
}

void TPcLinkForm::LocalUpdateActionExecute() {
    pc_->refresh();
}

void TPcLinkForm::FormActivate(Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive && !frame_->isBusy()) {
        LocalUpdateActionExecute();
        // Another program may have written over a file in place, which no folder watch sees.
        library_->scan();
    }
}
