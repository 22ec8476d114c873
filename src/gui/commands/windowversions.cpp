#include "windowversions.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <QMessageBox>

#include "commandframe.h"
#include "dialogs/pastforms.h"
#include "dialogs/versionsform.h"
#include "keyboardjobs.h"
#include "library/libraryindex.h"
#include "msg/errortext.h"
#include "ops/keyboardchanges.h"
#include "outcomereport.h"
#include "panes/kbdpane.h"
#include "panes/keyboardpicture.h"
#include "panes/pcpane.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"
#include "stream/nvbtransfer.h"
#include "versions/asof.h"
#include "versions/pastintake.h"
#include "versions/versionstore.h"
#include "windowlibrary.h"

namespace {

// Where "What Changed" starts when no backup is known: a week back.
constexpr int kDefaultDaysBack = 7;

}  // namespace

WindowVersions::WindowVersions(WindowParts& parts, KeyboardJobs& jobs,
                               const WindowLibrary& library, QObject* parent)
    : QObject(parent), parts_(parts), jobs_(jobs), library_(library) {}

QString WindowVersions::keyboard() const {
    return keyboardIdentity(parts_.historyTarget().link);
}

std::unique_ptr<versions::Store> WindowVersions::openStore() {
    try {
        auto store = std::make_unique<versions::Store>();
        QStringList folders;
        try {
            folders = library::Index().foldersWith(parts_.settings.foldersOfLibrary());
        } catch (const platform::SystemError&) {
            // No library: the kept copies are taken in all the same.
        }
        // Once, the first time: the kept copies and the backups of the library's folders.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const versions::Intake intake =
            versions::takeInThePast(*store, parts_.store, folders, parts_.messages);
        QApplication::restoreOverrideCursor();
        if (!intake.problems.isEmpty()) {
            parts_.showError(QCoreApplication::translate(
                                 "WindowVersions", "These could not be taken into the keyboard's "
                                                   "past:") +
                             "\n" + intake.problems.join('\n'));
        }
        return store;
    } catch (...) {
        QApplication::restoreOverrideCursor();
        parts_.showError(currentErrorText(parts_.messages));
        return nullptr;
    }
}

QString WindowVersions::sizeText() const {
    try {
        const versions::Store store;
        const std::int64_t bytes =
            store.itemBytes() +
            QFileInfo(QDir(store.folder()).filePath(versions::kTableFile)).size();
        return QCoreApplication::translate("WindowVersions", "The keyboard's past takes %1 (%2).")
            .arg(QLocale().formattedDataSize(bytes), QDir::toNativeSeparators(store.folder()));
    } catch (...) {
        return currentErrorText(parts_.messages);
    }
}

void WindowVersions::pruneAsPreferred() {
    if (parts_.settings.versionsKeepDays <= 0) {
        return;
    }
    try {
        versions::Store().prune(
            QDateTime::currentDateTimeUtc().addDays(-parts_.settings.versionsKeepDays));
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
    }
}

void WindowVersions::showVersionsOfSelectedSlot() {
    std::vector<SlotAddress> chosen;
    try {
        chosen = parts_.kbd.selectedSlots(OperateException::NoImportSource);
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
        return;
    }
    showVersions(chosen.front());
}

void WindowVersions::showVersionsOfSelectedFile() {
    const QModelIndexList rows = parts_.pc.selectedRows();
    const QFileInfo file = rows.isEmpty() ? QFileInfo() : parts_.pc.entry(rows.first());
    if (!file.isFile()) {
        parts_.showError(QCoreApplication::translate(
            "WindowVersions", "Select a keyboard file in the PC list."));
        return;
    }
    QStringList hashes;
    try {
        hashes = library::Index::hashesOf(file.absoluteFilePath());
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
        return;
    }
    const auto store = openStore();
    if (store == nullptr) {
        return;
    }
    std::vector<versions::Version> found;
    for (const QString& sha256 : hashes) {
        const std::vector<versions::Version> ofItem = store->ofItem(sha256);
        found.insert(found.end(), ofItem.begin(), ofItem.end());
    }
    std::sort(found.begin(), found.end(), [](const versions::Version& a, const versions::Version& b) {
        return a.at > b.at;
    });
    TVersionsForm form(file.fileName(), found, std::nullopt,
                       [this](const versions::Version& version) { sendVersion(version); },
                       &parts_.window);
    form.exec();
}

void WindowVersions::showVersions(const SlotAddress& slot) {
    const auto store = openStore();
    if (store == nullptr) {
        return;
    }
    std::optional<QString> heldNow;
    if (const PictureRow* shown = parts_.kbd.picture().slot(slot)) {
        heldNow = library_.seenHash(shown->view);
    }
    TVersionsForm form(slot.text(), store->ofSlot(keyboard(), slot), heldNow,
                       [this](const versions::Version& version) { sendVersion(version); },
                       &parts_.window);
    form.exec();
}

void WindowVersions::sendVersion(const versions::Version& version) {
    parts_.frame.run(MsgStr::Send, [this, version] {
        // Read and checked on the keyboard's thread, with a store of its own; then the keyboard
        // as it is now.
        const batch::Placement placement = ops::versionPlacement(versions::Store(), version);
        parts_.listKeyboard();
        WindowJobProgress progress(&parts_.bar, &parts_.status,
                                   parts_.messages.statusText(MsgStr::Send));
        const backup::Outcome outcome = ops::putBack(parts_.target(&progress), placement, false);
        outcomereport::failWithTheOnlyItem(parts_, {outcome});
    });
}

void WindowVersions::askAndRestoreAsOf() {
    TAsOfForm form(QDateTime::currentDateTime().addDays(-1), &parts_.window);
    if (form.exec() != QDialog::Accepted) {
        return;
    }
    if (!form.backupFolder().isEmpty()) {
        // The keyboard as a backup saved it: that backup, restored as Restore Keyboard does.
        jobs_.restore(form.backupFolder());
        return;
    }
    restoreAsOf(form.when());
}

bool WindowVersions::restoreAsOf(const QDateTime& when) {
    const auto store = openStore();
    if (store == nullptr) {
        return false;
    }
    // A backup of its own in the versions' folder, which Restore Keyboard then previews and
    // restores as any other.
    const QString folder =
        QDir(store->folder())
            .filePath("as-of/" + when.toLocalTime().toString("yyyyMMdd-HHmmss") + '-' +
                      QDateTime::currentDateTime().toString("yyyyMMddHHmmsszzz"));
    versions::AsOfBackup asOf;
    try {
        transfer::makeFolder(folder);
        asOf = versions::writeAsOf(*store, keyboard(), when, folder);
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
        return false;
    }
    QStringList said;
    for (const versions::Version& empty : asOf.emptyThen) {
        said << QCoreApplication::translate("WindowVersions",
                                            "%1 was empty then; it is left as it is.")
                    .arg(empty.slot.text());
    }
    for (const auto& [version, problem] : asOf.unusable) {
        said << version.slot.text() + ": " + parts_.messages.codedText(problem);
    }
    if (!said.isEmpty()) {
        QMessageBox::information(&parts_.window, parts_.title(), said.join('\n'));
    }
    jobs_.restore(folder);
    return true;
}

void WindowVersions::showWhatChanged() {
    const auto store = openStore();
    if (store == nullptr) {
        return;
    }
    const QString kbd = keyboard();
    QDateTime since = versions::lastBackupTime(*store, kbd);
    if (!since.isValid()) {
        since = QDateTime::currentDateTimeUtc().addDays(-kDefaultDaysBack);
    }
    const versions::Store& reading = *store;
    TChangesForm form(
        since,
        [&reading, kbd](const QDateTime& from, const QDateTime& until) {
            return versions::changesBetween(reading, kbd, from, until);
        },
        &parts_.window);
    connect(&form, &TChangesForm::versionsRequested, this, &WindowVersions::showVersions);
    form.exec();
}
