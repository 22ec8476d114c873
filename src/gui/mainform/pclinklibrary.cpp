// The window's library: the index of the user's keyboard files kept current on a thread of its
// own, the keyboard list's "On PC" column, Check On PC and the Library dialog.

#include <QFileInfo>
#include <QListView>
#include <QStackedWidget>

#include "backup/batchjobs.h"
#include "commandframe.h"
#include "data/ekdata.h"
#include "dialogs/libraryform.h"
#include "kbddrv/ekkbddrv.h"
#include "panes/kbdpanemodel.h"
#include "library/backgroundscan.h"
#include "library/folderwatch.h"
#include "msg/errortext.h"
#include "panes/kbdpane.h"
#include "panes/pcpane.h"
#include "pclinkform.h"
#include "progress/pbarobservers.h"

KeyboardLink TPcLinkForm::keyboardLink() {
    KeyboardLink link{driver_, settings_.inputDevice, settings_.outputDevice};
    link.itemSeen = [this](const EkData& slot, const EkDataFile& item) {
        seenItems_.saw(slot, item);
    };
    return link;
}

void TPcLinkForm::startLibrary() {
    try {
        library_ = std::make_unique<library::Index>(library::Index::defaultPath());
    } catch (...) {
        // The window works without it: the column stays empty and the dialog says why.
        libraryProblem_ = currentErrorText(messages_);
        return;
    }
    libraryScan_ = new library::BackgroundScan(library::Index::defaultPath(), messages_, this);
    libraryWatch_ = new library::FolderWatch(this);
    connect(libraryScan_, &library::BackgroundScan::finished, this, &TPcLinkForm::libraryScanned);
    connect(libraryWatch_, &library::FolderWatch::changed, this, &TPcLinkForm::scanLibrary);
    kbd_->listModel()->setOnPcSource([this](const EkData& slot) { return slotOnPc(slot); });
    scanLibrary();
}

void TPcLinkForm::scanLibrary() {
    if (libraryScan_ == nullptr) {
        return;
    }
    libraryScan_->scan(library_->foldersWith(settings_.foldersOfLibrary()));
    if (libraryForm_ != nullptr) {
        libraryForm_->refresh(true, libraryProblems_);
    }
}

bool TPcLinkForm::isScanningLibrary() const {
    return libraryScan_ != nullptr && libraryScan_->isScanning();
}

void TPcLinkForm::libraryScanned(const library::ScanSummary& summary) {
    libraryProblems_ = summary.problems;
    libraryWatch_->watch(summary.folders);
    kbd_->listModel()->refreshOnPc();
    if (libraryForm_ != nullptr) {
        libraryForm_->refresh(isScanningLibrary(), libraryProblems_);
    }
}

void TPcLinkForm::libraryFoldersChanged(const QStringList& before) {
    if (library_ == nullptr) {
        return;
    }
    const QStringList now = settings_.foldersOfLibrary();
    try {
        for (const QString& folder : before) {
            if (!now.contains(folder)) {
                library_->forgetFolder(folder);
            }
        }
    } catch (...) {
        showError(currentErrorText(messages_));
    }
    kbd_->listModel()->refreshOnPc();
    scanLibrary();
}

library::SlotOnPc TPcLinkForm::slotOnPc(const EkData& slot) const {
    if (library_ == nullptr) {
        return {};
    }
    try {
        return library::onPc(*library_, seenItems_, slot);
    } catch (...) {
        return {};  // an index that cannot be read now says nothing rather than "No"
    }
}

void TPcLinkForm::checkOnPc() {
    // Without the index nothing can be compared: fetching would only end in a false "0 not on
    // the PC".
    if (library_ == nullptr) {
        showError(TLibraryForm::tr("The library cannot be used: %1").arg(libraryProblem_));
        return;
    }
    std::vector<backup::Outcome> outcomes;
    const bool ran = frame_->run(MsgStr::Receive, [&] {
        listKeyboard();
        std::vector<SlotAddress> slots;
        for (const auto& [address, where] : allSlots(driver_)) {
            slots.push_back(address);
        }
        WindowJobProgress progress(progressBar_, statusText_,
                                   messages_.statusText(MsgStr::Receive));
        outcomes = batch::fetchSlots(keyboardLink(), slots, messages_, &progress);
    });
    KbdUpdateActionExecute();
    if (!ran) {
        return;
    }
    int missing = 0;
    for (const backup::Outcome& outcome : outcomes) {
        const SlotInTree where = findSlot(driver_, outcome.slot);
        if (outcome.error.isEmpty() && where.slot != nullptr &&
            slotOnPc(*where.slot).state == library::OnPc::No) {
            ++missing;
        }
    }
    const backup::JobSummary summary(outcomes);
    reportOutcomes(tr("%n item(s) checked", nullptr, summary.done) + ": " +
                       tr("%n not on the PC.", nullptr, missing),
                   tr("Not checked:"), outcomes);
}

void TPcLinkForm::showLibrary() {
    TLibraryForm dialog(library_.get(), libraryProblem_, this);
    libraryForm_ = &dialog;
    connect(&dialog, &TLibraryForm::scanRequested, this, &TPcLinkForm::scanLibrary);
    dialog.refresh(isScanningLibrary(), libraryProblems_);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    libraryForm_ = nullptr;
    if (chosen && !dialog.chosenFile().isEmpty()) {
        showFile(dialog.chosenFile());
    }
}
