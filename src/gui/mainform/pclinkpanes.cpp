// The window and its two panes: a file handed over shown in the PC pane, the PC folder read
// again when the user comes back from another program.

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <algorithm>
#include <utility>

#include "commands/commandframe.h"
#include "commands/windowlibrary.h"
#include "panes/pcpane.h"
#include "pclinkform.h"

namespace {

// The most failed hand-overs one box lists; the rest are counted. Three hundred missing paths
// handed over at once made a box taller than the screen, its OK button out of reach.
constexpr int kListedHandOverFailures = 10;

// A path as the user can read it: a control character (a NUL, a line break) is written as
// "\x00", never taken as the end of the text or as a new line of it.
QString readablePath(const QString& path) {
    constexpr QChar kDelete = QChar(0x7F);
    constexpr int kHexDigits = 2;
    constexpr int kHex = 16;
    QString readable;
    for (const QChar c : path) {
        if (c.unicode() < u' ' || c == kDelete) {
            readable += QStringLiteral("\\x%1").arg(c.unicode(), kHexDigits, kHex, QChar(u'0'));
        } else {
            readable += c;
        }
    }
    return QDir::toNativeSeparators(readable);
}

}  // namespace

void TPcLinkForm::showFile(const QString& filePath) {
    // The window comes forward whatever happens; a command in progress keeps its panes, and
    // the file is shown once it has ended.
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    if (filePath.isEmpty()) {
        return;
    }
    if (!frame_->isIdle()) {
        fileAfterCommand_ = filePath;
        return;
    }
    const QFileInfo file(filePath);
    if (!file.exists()) {
        showHandOverFailure(tr("\"%1\" does not exist.").arg(readablePath(filePath)));
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

void TPcLinkForm::showFileHandedOverDuringACommand() {
    if (fileAfterCommand_.isEmpty() || !frame_->isIdle()) {
        return;
    }
    showFile(std::exchange(fileAfterCommand_, QString()));
}

void TPcLinkForm::showHandOverFailure(const QString& text) {
    if (handOverFailures_ == nullptr || !handOverFailures_->isVisible()) {
        handOverFailureLines_.clear();
    }
    handOverFailureLines_ << text;
    const auto listed = std::min<qsizetype>(handOverFailureLines_.size(), kListedHandOverFailures);
    QString shown = handOverFailureLines_.mid(0, listed).join('\n');
    if (const auto more = int(handOverFailureLines_.size() - listed); more > 0) {
        shown += '\n' + tr("... and %n more", nullptr, more);
    }
    if (handOverFailures_ != nullptr && handOverFailures_->isVisible()) {
        handOverFailures_->setText(shown);
        return;
    }
    // Not exec(): the box must not hold up the event loop that takes the next hand-over.
    auto* box = new QMessageBox(QMessageBox::Critical, windowTitle(), shown, QMessageBox::Ok, this);
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
