#include "windowlibrary.h"

#include <QFileInfo>
#include <memory>

#include "backup/batchjobs.h"
#include "commandframe.h"
#include "panes/keyboardpicture.h"
#include "dialogs/libraryform.h"
#include "kbddrv/ekkbddrv.h"
#include "library/backgroundscan.h"
#include "library/folderwatch.h"
#include "msg/errortext.h"
#include "outcomereport.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "platform/settingsstore.h"
#include "progress/pbarobservers.h"

WindowLibrary::WindowLibrary(WindowParts& parts, QObject* parent)
    : QObject(parent), parts_(parts) {}

WindowLibrary::~WindowLibrary() = default;

KeyboardLink WindowLibrary::link(EkKbdDrv& driver, int inputDevice, int outputDevice) {
    KeyboardLink link{driver, inputDevice, outputDevice};
    link.itemSeen = [this](const EkData& slot, const EkDataFile& item) {
        seenItems_.saw(slot, item);
    };
    return link;
}

void WindowLibrary::start() {
    try {
        index_ = std::make_unique<library::Index>(library::Index::defaultPath());
    } catch (...) {
        // The window works without it: the column stays empty and the dialog says why.
        problem_ = currentErrorText(parts_.messages);
        return;
    }
    scan_ = new library::BackgroundScan(library::Index::defaultPath(), parts_.messages, this);
    watch_ = new library::FolderWatch(this);
    connect(scan_, &library::BackgroundScan::finished, this, &WindowLibrary::scanned);
    connect(watch_, &library::FolderWatch::changed, this, &WindowLibrary::scan);
    parts_.kbd.listModel()->setOnPcSource(
        [this](const library::SlotView& slot) { return slotOnPc(slot); });
    scan();
}

void WindowLibrary::scan() {
    if (scan_ == nullptr) {
        return;
    }
    scan_->scan(index_->foldersWith(parts_.settings.foldersOfLibrary()));
    if (form_ != nullptr) {
        form_->refresh(true, problems_);
    }
}

bool WindowLibrary::isScanning() const {
    return scan_ != nullptr && scan_->isScanning();
}

void WindowLibrary::scanned(const library::ScanSummary& summary) {
    problems_ = summary.problems;
    watch_->watch(summary.folders);
    parts_.kbd.listModel()->refreshOnPc();
    if (form_ != nullptr) {
        form_->refresh(isScanning(), problems_);
    }
}

void WindowLibrary::foldersChanged(const QStringList& before) {
    if (index_ == nullptr) {
        return;
    }
    const QStringList now = parts_.settings.foldersOfLibrary();
    try {
        for (const QString& folder : before) {
            if (!now.contains(folder)) {
                index_->forgetFolder(folder);
            }
        }
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
    }
    parts_.kbd.listModel()->refreshOnPc();
    scan();
}

library::SlotOnPc WindowLibrary::slotOnPc(const library::SlotView& slot) const {
    if (index_ == nullptr) {
        return {};
    }
    try {
        return library::onPc(*index_, seenItems_, slot);
    } catch (...) {
        return {};  // an index that cannot be read now says nothing rather than "No"
    }
}

void WindowLibrary::checkOnPc() {
    // Without the index nothing can be compared: fetching would only end in a false "0 not on
    // the PC".
    if (index_ == nullptr) {
        parts_.showError(TLibraryForm::tr("The library cannot be used: %1").arg(problem_));
        return;
    }
    auto outcomes = std::make_shared<std::vector<backup::Outcome>>();
    parts_.frame.run(
        MsgStr::Receive,
        [this, outcomes] {
            parts_.listKeyboard();
            std::vector<SlotAddress> slots;
            for (const auto& [address, where] : allSlots(parts_.link().driver)) {
                slots.push_back(address);
            }
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Receive));
            *outcomes = batch::fetchSlots(parts_.link(), slots, &progress);
        },
        [this, outcomes](bool succeeded) {
            if (succeeded) {
                reportChecked(*outcomes);
            }
        });
}

void WindowLibrary::reportChecked(const std::vector<backup::Outcome>& outcomes) {
    int missing = 0;
    for (const backup::Outcome& outcome : outcomes) {
        const PictureRow* shown = parts_.kbd.picture().slot(outcome.slot);
        if (!outcome.failed() && shown != nullptr &&
            slotOnPc(shown->view).state == library::OnPc::No) {
            ++missing;
        }
    }
    const backup::JobSummary summary(outcomes);
    outcomereport::reportOutcomes(
        parts_,
        QCoreApplication::translate("TPcLinkForm", "%n item(s) checked", nullptr, summary.done) +
            ": " +
            QCoreApplication::translate("TPcLinkForm", "%n not on the PC.", nullptr, missing),
        QCoreApplication::translate("TPcLinkForm", "Not checked:"), outcomes);
}

void WindowLibrary::showDialog() {
    TLibraryForm dialog(index_.get(), problem_, &parts_.window);
    form_ = &dialog;
    connect(&dialog, &TLibraryForm::scanRequested, this, &WindowLibrary::scan);
    dialog.refresh(isScanning(), problems_);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    form_ = nullptr;
    if (chosen && !dialog.chosenFile().isEmpty()) {
        Q_EMIT fileChosen(dialog.chosenFile());
    }
}
