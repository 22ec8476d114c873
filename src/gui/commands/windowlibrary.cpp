#include "windowlibrary.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QSet>
#include <memory>

#include "backup/batchjobs.h"
#include "commandframe.h"
#include "dialogs/libraryform.h"
#include "dialogs/tagsform.h"
#include "kbddrv/ekkbddrv.h"
#include "library/backgroundscan.h"
#include "library/folderwatch.h"
#include "library/itemtags.h"
#include "msg/errortext.h"
#include "outcomereport.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "panes/keyboardpicture.h"
#include "panes/localpanemodel.h"
#include "panes/pcpane.h"
#include "platform/handover.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"
#include "versions/recorder.h"
#include "versions/versionstore.h"

WindowLibrary::WindowLibrary(WindowParts& parts, QObject* parent)
    : QObject(parent), parts_(parts) {}

WindowLibrary::~WindowLibrary() = default;

KeyboardLink WindowLibrary::link(EkKbdDrv& driver, int inputDevice, int outputDevice) {
    KeyboardLink link{driver, inputDevice, outputDevice};
    link.itemSeen = [this](const EkData& slot, const EkDataFile& item, ItemMove) {
        seenItems_.saw(slot, item);
    };
    // What the window's commands move is recorded as versions of the keyboard's slots too. A
    // version that cannot be recorded never stops the command; the window says so, once.
    auto recorder = std::make_shared<versions::Recorder>(
        keyboardIdentity(link), QStringLiteral("window"), versions::Store::defaultFolder());
    recorder->onProblem([this](const platform::CodedText& problem) {
        platform::postTo(this, [this, problem] { sayNotRecorded(problem); });
    });
    versions::attach(link, recorder);
    return link;
}

void WindowLibrary::start() {
    try {
        tagLookUp_ = std::make_unique<library::TagStore>();
        parts_.kbd.listModel()->setTagsSource(
            [this](const library::SlotView& slot) { return tagsOfSlot(slot); });
        parts_.pc.listModel()->setTagsSource(
            [this](const QString& path) { return tagsOfFile(path); });
    } catch (...) {
        // Said when the user asks for tags; the columns stay empty.
    }
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

void WindowLibrary::askAndExportTags() {
    const QString path = QFileDialog::getSaveFileName(
        &parts_.window, QCoreApplication::translate("Tags", "Export Tags"),
        QDir(parts_.pc.folderPath()).filePath("nvbman-tags.json"),
        QCoreApplication::translate("Tags", "NvbMan's tags (*.json)"));
    if (!path.isEmpty()) {
        exportTags(path);
    }
}

void WindowLibrary::askAndImportTags() {
    const QString path = QFileDialog::getOpenFileName(
        &parts_.window, QCoreApplication::translate("Tags", "Import Tags"), parts_.pc.folderPath(),
        QCoreApplication::translate("Tags", "NvbMan's tags (*.json)"));
    if (!path.isEmpty()) {
        importTags(path);
    }
}

bool WindowLibrary::exportTags(const QString& path) {
    try {
        library::TagStore().exportTo(path);
    } catch (const platform::SystemError& error) {
        parts_.showError(parts_.messages.codedText(error.coded()));
        return false;
    }
    parts_.status.setText(QCoreApplication::translate("Tags", "The tags were written to \"%1\".")
                              .arg(QDir::toNativeSeparators(path)));
    return true;
}

bool WindowLibrary::importTags(const QString& path) {
    try {
        const int items = library::TagStore().importFrom(path);
        parts_.status.setText(QCoreApplication::translate(
            "Tags", "The tags of %n item(s) were taken in.", nullptr, items));
    } catch (const platform::SystemError& error) {
        parts_.showError(parts_.messages.codedText(error.coded()));
        return false;
    }
    tagsChanged();
    return true;
}

void WindowLibrary::tagSelectedFiles() {
    QStringList hashes;
    QStringList names;
    for (const QModelIndex& row : parts_.pc.selectedRows()) {
        const QFileInfo entry = parts_.pc.entry(row);
        if (entry.isDir()) {
            continue;
        }
        try {
            hashes << library::Index::hashesOf(entry.absoluteFilePath());
            names << entry.fileName();
        } catch (...) {
            // A file that is no keyboard file, or cannot be read: said, nothing tagged.
            parts_.showError(currentErrorText(parts_.messages));
            return;
        }
    }
    if (hashes.isEmpty()) {
        parts_.showError(
            QCoreApplication::translate("Tags", "Select the files to tag in the PC list."));
        return;
    }
    editTags(hashes, names.size() == 1 ? names.first()
                                       : QCoreApplication::translate("Tags", "%n file(s)", nullptr,
                                                                     int(names.size())));
}

void WindowLibrary::tagSelectedSlots() {
    // Not named "slots": Qt 6.4's lupdate takes that word for Qt's keyword and never ends on
    // this file.
    std::vector<SlotAddress> chosen;
    try {
        chosen = parts_.kbd.selectedSlots(OperateException::NoImportSource);
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
        return;
    }
    const QString subject =
        chosen.size() == 1
            ? chosen.front().text()
            : QCoreApplication::translate("Tags", "%n item(s)", nullptr, int(chosen.size()));
    if (seenHashes(chosen)) {
        tagSeenSlots(chosen, subject);
        return;
    }
    // What the slots hold now is fetched first; the items seen are then known by their hash.
    parts_.frame.run(
        MsgStr::Receive,
        [this, chosen] {
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Receive));
            batch::fetchSlots(parts_.link(), chosen, &progress);
        },
        [this, chosen, subject](bool succeeded) {
            if (succeeded) {
                tagSeenSlots(chosen, subject);
            }
        });
}

void WindowLibrary::tagSeenSlots(const std::vector<SlotAddress>& chosen, const QString& subject) {
    const std::optional<QStringList> hashes = seenHashes(chosen);
    if (!hashes) {
        parts_.showError(QCoreApplication::translate(
            "Tags", "Empty slots have no tags: select slots that hold items."));
        return;
    }
    editTags(*hashes, subject);
}

std::optional<QStringList> WindowLibrary::seenHashes(const std::vector<SlotAddress>& chosen) const {
    QStringList hashes;
    for (const SlotAddress& slot : chosen) {
        const PictureRow* shown = parts_.kbd.picture().slot(slot);
        const auto seen = shown != nullptr ? seenItems_.of(shown->view) : std::nullopt;
        if (!seen) {
            return std::nullopt;
        }
        hashes << seen->sha256;
    }
    return hashes;
}

void WindowLibrary::editTags(const QStringList& hashes, const QString& subject) {
    try {
        library::TagStore store;
        // The tags every item has, and their note when they share one.
        std::optional<QStringList> common;
        QSet<QString> notes;
        for (const QString& sha256 : hashes) {
            const library::ItemTags item = store.of(sha256);
            notes.insert(item.note);
            if (!common) {
                common = item.tags;
            } else {
                common->removeIf([&](const QString& tag) {
                    return !item.tags.contains(tag, Qt::CaseInsensitive);
                });
            }
        }
        const bool notesDiffer = notes.size() > 1;
        TTagsForm form(subject, common.value_or(QStringList()),
                       notesDiffer ? QString() : *notes.begin(), notesDiffer, &parts_.window);
        if (form.exec() != QDialog::Accepted) {
            return;
        }
        const QStringList wanted = form.tags();
        QStringList added;
        for (const QString& tag : wanted) {
            if (!common->contains(tag, Qt::CaseInsensitive)) {
                added << tag;
            }
        }
        QStringList removed;
        for (const QString& tag : *common) {
            if (!wanted.contains(tag, Qt::CaseInsensitive)) {
                removed << tag;
            }
        }
        const bool setNote = form.noteEdited() || (!notesDiffer && form.note() != *notes.begin());
        store.change(hashes, added, removed, setNote ? std::optional(form.note()) : std::nullopt);
    } catch (const platform::SystemError& error) {
        parts_.showError(parts_.messages.codedText(error.coded()));
    }
    tagsChanged();
}

void WindowLibrary::tagsChanged() {
    parts_.kbd.listModel()->refreshTags();
    parts_.pc.listModel()->refreshTags();
    if (form_ != nullptr) {
        form_->refresh(isScanning(), problems_);
    }
}

QString WindowLibrary::tagsOfFile(const QString& path) const {
    try {
        return tagLookUp_->tagsText(library::Index::hashesOf(path));
    } catch (...) {
        // A file that cannot be read has no tags to show; opening it says why.
        return {};
    }
}

void WindowLibrary::sayNotRecorded(const platform::CodedText& problem) {
    if (saidNotRecorded_) {
        return;
    }
    saidNotRecorded_ = true;
    parts_.showError(
        QCoreApplication::translate("WindowVersions", "The keyboard's past was not recorded: %1")
            .arg(parts_.messages.codedText(problem)));
}

std::optional<QString> WindowLibrary::seenHash(const library::SlotView& slot) const {
    const auto seen = seenItems_.of(slot);
    return seen ? std::optional(seen->sha256) : std::nullopt;
}

QString WindowLibrary::tagsOfSlot(const library::SlotView& slot) const {
    const auto seen = seenItems_.of(slot);
    return seen ? tagLookUp_->tagsText({seen->sha256}) : QString();
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
    TLibraryForm dialog(index_.get(), problem_, parts_.messages, &parts_.window);
    form_ = &dialog;
    connect(&dialog, &TLibraryForm::scanRequested, this, &WindowLibrary::scan);
    connect(&dialog, &TLibraryForm::tagsRequested, this, &WindowLibrary::editTags);
    dialog.refresh(isScanning(), problems_);
    const bool chosen = dialog.exec() == QDialog::Accepted;
    form_ = nullptr;
    if (chosen && !dialog.chosenFile().isEmpty()) {
        Q_EMIT fileChosen(dialog.chosenFile());
    }
}
