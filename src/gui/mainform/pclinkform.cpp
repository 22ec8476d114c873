#include "pclinkform.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QVBoxLayout>
#include <cstdio>

#include "actions/windowactions.h"
#include "backup/keyboardbackup.h"
#include "commands/commandframe.h"
#include "commands/editcommands.h"
#include "commands/keyboardjobs.h"
#include "commands/transfercommands.h"
#include "commands/windowlibrary.h"
#include "commands/windowversions.h"
#include "commands/windowparts.h"
#include "data/ekdatadrive.h"
#include "dialogs/helpcommands.h"
#include "dialogs/kbddrivepropertyform.h"
#include "dialogs/prefform.h"
#include "icons/paneicons.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "midilogdock.h"
#include "msg/operateexception.h"
#include "panes/kbdpane.h"
#include "panes/kbdpanemodel.h"
#include "panes/localpanemodel.h"
#include "panes/panedragdrop.h"
#include "panes/panepopup.h"
#include "panes/pcpane.h"
#include "platform/cancellation.h"
#include "platform/keyboardsession.h"
#include "platform/midilog.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"
#include "printing/keyboardlist.h"
#include "printing/listdialogs.h"
#include "progress/pbarobservers.h"
#include "safety/history.h"
#include "windowlayout.h"

namespace {

// Where a menu of the action table has a separator.
constexpr auto kSeparator = Act(-1);
constexpr QSize kToolbarIcons(16, 16);

}  // namespace

TPcLinkForm::TPcLinkForm(std::unique_ptr<platform::SettingsStore> store, QWidget* parent)
    : QMainWindow(parent),
      store_(std::move(store)),
      driver_(EkKbdDrv::instance(mls850::kModel)),
      modelName_(mls850::kModel) {
    setWindowTitle(kTitle);
    setWindowIcon(PaneIcons::application());
    // The keyboard's own software asks for "ＭＳ Ｐゴシック" at 12 pixels; where that font is
    // missing a CJK font takes its place, so Japanese names and messages render.
    QFont font = this->font();
    font.setFamilies({QString::fromUtf8("ＭＳ Ｐゴシック"), "Noto Sans CJK JP", font.family()});
    font.setPixelSize(12);
    setFont(font);
    buildActions();
    buildLayout();
    buildRooms();
    listProgress_ = std::make_unique<PBarKbdDrvObserver>(progressBar_);
    // The driver is the keyboard thread's: its listeners are set there too. A request asked
    // again after a lost answer shows in the status text of the command.
    keyboard_.call([this] {
        driver_.attachObserver(listProgress_.get());
        driver_.setRetryListener([this](RetryReason reason) {
            frame_->noteRetry(reason == RetryReason::ChangeNotShown);
        });
    });
    resize(615, 535);
    restoreLayout();
    updateActions();
}

void TPcLinkForm::restoreLayout() {
    layout_ = std::make_unique<WindowLayout>(*this, *store_);
    for (const char* name : {"Panes", "LocalSplit", "KbdSplit"}) {
        layout_->addSplitter(findChild<QSplitter*>(name), name);
    }
    layout_->addColumns(pc_->views().details->header(), "LocalFileDetails");
    layout_->addColumns(kbd_->views().details->header(), "KbdFileDetails");
    for (const char* pane : {"Local", "Kbd"}) {
        layout_->addChoice(findChild<QActionGroup*>(QString(pane) + "ViewStyles"), pane);
    }
    layout_->addToggle(tagsColumn_, "TagsColumn");
    layout_->restore();
    // After the columns' own stored state, which may say otherwise.
    const auto showTags = [this](bool shown) {
        pc_->views().details->header()->setSectionHidden(LocalListModel::TagsColumn, !shown);
        kbd_->views().details->header()->setSectionHidden(KbdListModel::TagsColumn, !shown);
    };
    showTags(tagsColumn_->isChecked());
    connect(tagsColumn_, &QAction::toggled, this, showTags);
}

TPcLinkForm::~TPcLinkForm() {
    // Closing asks first; a program ending otherwise (quit, a signal) stops the running
    // command and waits for the keyboard thread, whose work still uses the window's parts (its
    // bar, its status line). No body waits for this thread, so the wait always ends; nothing of
    // the command's ending is shown in a window that is going.
    frame_->stopAndWait();
    keyboard_.call([this] {
        driver_.detachObserver(listProgress_.get());
        driver_.setRetryListener({});
    });
}

void TPcLinkForm::buildActions() {
    actions_ = new WindowActions(
        actionTable(), [](const char* text) { return tr(text); }, this);
    const auto menu = [this](const QString& title, std::initializer_list<Act> acts) {
        QMenu* menu = menuBar()->addMenu(title);
        for (const Act act : acts) {
            if (act == kSeparator) {
                menu->addSeparator();
            } else {
                menu->addAction(action(act));
            }
        }
        return menu;
    };
    menu(tr("&File"),
         {Act::PrefOpen, kSeparator, Act::BackUp, Act::Restore, Act::RestoreAsOf, Act::Compare,
          Act::WhatChanged, Act::ReplacedItems,
          kSeparator, Act::ExportDump, Act::PrintList, Act::ExportList, kSeparator, Act::Library,
          Act::ExportTags, Act::ImportTags, Act::CheckOnPc, kSeparator, Act::Exit});
    QMenu* edit = menu(tr("&Edit"), {Act::Undo, Act::Redo, kSeparator, Act::CopyTo, Act::MoveTo,
                                     Act::SwapWith, Act::Rename});
    // Undo's and Redo's captions name the change they would take back now.
    connect(edit, &QMenu::aboutToShow, this, [this] { edits_->updateUndoActions(); });

    // Every message both ways, kept from the start so that the log shows what led up to a
    // failure even when it was opened afterwards.
    platform::MidiLog::instance().setRecording(true);
    midiLog_ = new MidiLogDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, midiLog_);
    midiLog_->hide();
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(midiLog_->toggleViewAction());
    tagsColumn_ = WindowActions::make(this, tr("&Tags Column"), {}, ToolbarIcon::None,
                                      "TagsColumnAction");
    tagsColumn_->setCheckable(true);
    view->addAction(tagsColumn_);
    menu(tr("&Help"), {Act::Help, kSeparator, Act::About, Act::AboutQt});
}

void TPcLinkForm::updateActions() {
    actions_->update({frame_ != nullptr && frame_->isBusy(),
                      kbd_ != nullptr && kbd_->hasBeenListed(),
                      kbd_ != nullptr && kbd_->deleteAllowedHere()});
}

void TPcLinkForm::buildRooms() {
    parts_ = std::make_unique<WindowParts>(
        WindowParts{*this, *frame_, *statusText_, *progressBar_, *pc_, *kbd_, messages_, settings_,
                    safetyStore_, [this](int inputDevice, int outputDevice) {
                        return library_->link(driver_, inputDevice, outputDevice);
                    }});
    library_ = new WindowLibrary(*parts_, this);
    connect(library_, &WindowLibrary::fileChosen, this, &TPcLinkForm::showFile);
    transfers_ = std::make_unique<TransferCommands>(*parts_);
    edits_ = std::make_unique<EditCommands>(*parts_, action(Act::Undo), action(Act::Redo));
    jobs_ = std::make_unique<KeyboardJobs>(*parts_, *edits_);
    versions_ = new WindowVersions(*parts_, *jobs_, *library_, this);
    versions_->pruneAsPreferred();
    edits_->updateUndoActions();
}

void TPcLinkForm::askAndBackUp() {
    const QString folder = askForFolder(tr("Back Up Keyboard"));
    if (folder.isEmpty()) {
        return;
    }
    // An older backup there is replaced only when the user says so.
    const bool holdsOne = backup::holdsBackup(folder);
    if (holdsOne &&
        QMessageBox::question(this, windowTitle(),
                              messages_.replaceBackupQuestion(QDir::toNativeSeparators(folder))) !=
            QMessageBox::Yes) {
        return;
    }
    jobs_->backUp(folder, holdsOne ? backup::OldBackup::Replace : backup::OldBackup::Refuse);
}

QString TPcLinkForm::askForFolder(const QString& caption) {
    return QFileDialog::getExistingDirectory(this, caption, pc_->folderPath());
}

void TPcLinkForm::askAndRestore() {
    if (const QString folder = askForFolder(tr("Restore Keyboard")); !folder.isEmpty()) {
        jobs_->restore(folder);
    }
}

void TPcLinkForm::askAndExport() {
    if (const QString folder = askForFolder(tr("Export As .syx")); !folder.isEmpty()) {
        transfers_->exportSelectedSlots(folder);
    }
}

lists::ItemList TPcLinkForm::keyboardList() const {
    // The keyboard as the user chose it; else as the MIDI service names its device now.
    QString keyboard = settings_.outputDeviceName;
    if (keyboard.isEmpty()) {
        keyboard = platform::MidiService::instance().outputName(settings_.outputDevice);
    }
    return lists::keyboardList(kbd_->picture(), *kbd_->listModel(),
                               keyboard.isEmpty() ? QString(mls850::kModel) : keyboard);
}

bool TPcLinkForm::exportList(const QString& path) {
    if (!lists::saveSaying(keyboardList(), path, showError())) {
        return false;
    }
    parts_->status.setText(
        tr("The list was written to \"%1\".").arg(QDir::toNativeSeparators(path)));
    return true;
}

void TPcLinkForm::askAndExportList() {
    if (const QString path =
            lists::askAndSave(this, keyboardList(), pc_->folderPath(), showError());
        !path.isEmpty()) {
        parts_->status.setText(
            tr("The list was written to \"%1\".").arg(QDir::toNativeSeparators(path)));
    }
}

void TPcLinkForm::printList() {
    lists::preview(this, keyboardList());
}

lists::ShowError TPcLinkForm::showError() const {
    return [this](const QString& text) { parts_->showError(text); };
}

void TPcLinkForm::askAndCompare() {
    if (const QString folder = askForFolder(tr("Compare With Backup")); !folder.isEmpty()) {
        jobs_->compareWithBackup(folder);
    }
}

void TPcLinkForm::openHelp() {
    if (QString error; !help::openManual(&error)) {
        parts_->showError(error);
    }
}

void TPcLinkForm::buildPopupMenus() {
    // Each list's pop-up menu holds its commands; the same actions sit on the toolbars, so one
    // enabling rule serves button and menu item alike. The menus live as long as the window.
    const auto popup = [this](const char* name, std::initializer_list<QAction*> actions,
                              PanePopup::EmptySpace emptySpace) {
        auto* menu = new QMenu(this);
        menu->setObjectName(name);
        for (QAction* action : actions) {
            if (action == nullptr) {
                menu->addSeparator();
            } else {
                menu->addAction(action);
            }
        }
        return new PanePopup(menu, emptySpace, this);
    };
    PanePopup* local = popup("LocalPopupMenu",
                             {action(Act::Send), nullptr, action(Act::LocalTags),
                              action(Act::LocalVersions),
                              action(Act::LocalPropOpen), nullptr, action(Act::ShellOpen)},
                             PanePopup::EmptySpace::ClearSelection);
    local->attach(pc_->views().list);
    local->attach(pc_->views().details);
    PanePopup* kbd = popup("KbdPopupMenu",
                           {action(Act::Receive), action(Act::Delete), nullptr,
                            action(Act::KbdTags), action(Act::KbdVersions),
                            action(Act::KbdPropOpen)},
                           PanePopup::EmptySpace::ClearSelection);
    kbd->attach(kbd_->views().list);
    kbd->attach(kbd_->views().details);
    popup("KbdDirPopup", {action(Act::KbdDrvPropOpen)}, PanePopup::EmptySpace::KeepSelection)
        ->attach(kbd_->tree());
}

void TPcLinkForm::buildDragDrop() {
    PaneDragDrop::Rules rules;
    rules.canDrag = [this](PaneDragDrop::Side side, const QModelIndex& row) {
        if (!row.isValid()) {
            return false;
        }
        if (side == PaneDragDrop::Local) {
            return true;
        }
        // Only data can travel: a slot that holds some, once the list has been fetched.
        const PictureRow* item = kbd_->itemAt(row);
        return kbd_->picture().isListed() && item != nullptr && item->view.holdsItem;
    };
    rules.acceptsDrop = [this](PaneDragDrop::Side side) {
        return !frame_->isBusy() && (side == PaneDragDrop::Local || kbd_->picture().isListed());
    };
    rules.dropped = [this](PaneDragDrop::Side side, const QModelIndex& row,
                           const QStringList& files) {
        if (side == PaneDragDrop::Local) {
            // Onto a sub-folder's row: that folder is where the slots or files go.
            const QFileInfo entry = pc_->entry(row);
            if (entry.isDir()) {
                pc_->selectSubfolder(entry.fileName());
            }
            if (files.isEmpty()) {
                ReceiveActionExecute();
            } else {
                transfers_->copyFilesHere(files);
            }
            return;
        }
        const PictureRow* item = kbd_->itemAt(row);
        if (item == nullptr) {
            parts_->showError(messages_.operateErrorText(OperateException::NoSendTarget));
            return;
        }
        if (item->isFolder) {
            parts_->showError(messages_.operateErrorText(OperateException::NotAcceptable));
            return;
        }
        kbd_->selectRow(row.row());
        if (files.isEmpty()) {
            SendActionExecute();
        } else {
            transfers_->sendFiles(files);
        }
    };
    rules.copiedWithin = [this](const QModelIndex& target) {
        const PictureRow* from = kbd_->selectedItem();
        const PictureRow* to = kbd_->itemAt(target);
        if (from != nullptr && to != nullptr && !from->isFolder && !to->isFolder) {
            edits_->editSlots(organise::Edit::Copy, *from->slot, *to->slot);
        }
    };
    dragDrop_ = new PaneDragDrop(std::move(rules), this);
    dragDrop_->attach(pc_->views().list, PaneDragDrop::Local);
    dragDrop_->attach(pc_->views().details, PaneDragDrop::Local);
    dragDrop_->attach(kbd_->views().list, PaneDragDrop::Keyboard);
    dragDrop_->attach(kbd_->views().details, PaneDragDrop::Keyboard);
}

void TPcLinkForm::buildLayout() {
    statusText_ = new QLabel;
    statusText_->setObjectName("StatusBar");
    // No fixed accessible name: a screen reader then reads the text itself, and hears each new
    // one (a label announces its changes while it has no name of its own).
    statusText_->setAccessibleDescription(tr("Status"));
    statusText_->setMinimumWidth(265);
    progressBar_ = new QProgressBar;
    progressBar_->setObjectName("ProgressBar");
    progressBar_->setAccessibleName(tr("Progress"));
    progressBar_->setRange(0, 100);
    progressBar_->setValue(0);
    progressBar_->setTextVisible(false);
    auto* cancel = new QPushButton(tr("Cancel"));
    cancel->setObjectName("CancelBtn");
    // All permanent widgets: a temporary message would hide the others, and the window takes
    // no status tips (see event()).
    statusBar()->addPermanentWidget(statusText_);
    statusBar()->addPermanentWidget(progressBar_, 1);
    statusBar()->addPermanentWidget(cancel);
    frame_ = new CommandFrame(this, statusText_, progressBar_, cancel, messages_, keyboard_);
    // The keyboard list is what most commands fill (the list, a send, a delete).
    frame_->setSessionStart([this](platform::Settings& job) { return beginKeyboardCommand(job); });
    frame_->setSettings([this] { return settings_; },
                        [this](const platform::Settings& used) {
                            settings_.inputDevice = used.inputDevice;
                            settings_.outputDevice = used.outputDevice;
                        });
    frame_->setRestingFocus([this] { return kbd_->views().stack->currentWidget(); });
    connect(frame_, &CommandFrame::commandEnded, this,
            &TPcLinkForm::showFileHandedOverDuringACommand);
    connect(frame_, &CommandFrame::commandEnded, this, &TPcLinkForm::closeOnceTheCommandEnded);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, frame_, &CommandFrame::cancel);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TPcLinkForm::quitting);

    auto* panes = new QSplitter(Qt::Vertical);
    panes->setObjectName("Panes");
    panes->addWidget(buildLocalPane());
    panes->addWidget(buildKbdPane());
    panes->setStretchFactor(1, 1);
    setCentralWidget(panes);

    buildPopupMenus();
    buildDragDrop();
    // Every action waits while a command runs (see the action table). After every command:
    // Undo names what it would take back now, and the "On PC" column knows what it moved.
    connect(frame_, &CommandFrame::busyChanged, this, [this](bool busy) {
        updateActions();
        if (!busy) {
            edits_->updateUndoActions();
            kbd_->listModel()->refreshOnPc();
        }
    });
    // The lists too: a double click on a folder row moves the tree, which lists again.
    for (QWidget* widget :
         {static_cast<QWidget*>(kbd_->tree()), static_cast<QWidget*>(kbd_->views().stack),
          static_cast<QWidget*>(pc_->tree()), static_cast<QWidget*>(pc_->views().stack),
          static_cast<QWidget*>(menuBar())}) {
        frame_->guard(widget);
    }
}

QWidget* TPcLinkForm::buildLocalPane() {
    pc_ = new PcPane(this);
    auto* bar = new QToolBar(tr("Local"));
    bar->setIconSize(kToolbarIcons);
    bar->addAction(action(Act::LocalUpdate));
    bar->addAction(action(Act::Send));
    bar->addSeparator();
    addViewStyles(bar, pc_->views(), "Local");
    return pc_->build(bar);
}

QWidget* TPcLinkForm::buildKbdPane() {
    // What the keyboard's driver holds before any command: taken on its thread, as every
    // later picture is.
    KeyboardPicture picture;
    keyboard_.call([this, &picture] { picture = KeyboardPicture::of(driver_); });
    kbd_ = new KbdPane(std::move(picture), modelName_, messages_, this);
    frame_->setPicture([this] { return KeyboardPicture::of(driver_); },
                       [this](KeyboardPicture shown) { kbd_->show(std::move(shown)); });
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(kbd_->views().list),
                                    static_cast<QAbstractItemView*>(kbd_->views().details)}) {
        auto* del = new QShortcut(QKeySequence::Delete, view, nullptr, nullptr, Qt::WidgetShortcut);
        connect(del, &QShortcut::activated, action(Act::Delete), &QAction::trigger);
    }
    connect(kbd_, &KbdPane::commandsChanged, this, &TPcLinkForm::updateActions);
    connect(kbd_, &KbdPane::fileWanted, this, &TPcLinkForm::showFile);
    auto* bar = new QToolBar(tr("Keyboard"));
    bar->setIconSize(kToolbarIcons);
    bar->addAction(action(Act::Connect));
    bar->addAction(action(Act::Receive));
    bar->addAction(action(Act::Delete));
    bar->addSeparator();
    addViewStyles(bar, kbd_->views(), "Kbd");
    return kbd_->build(bar);
}

void TPcLinkForm::addViewStyles(QToolBar* bar, const paneviews::FileViews& views,
                                const QString& prefix) {
    for (QAction* style : paneviews::addViewStyles(bar, views, prefix)->actions()) {
        actions_->addIdleAction(style);
    }
}

void TPcLinkForm::start() {
    if (const auto& unusable = store_->unusable()) {
        QMessageBox::warning(this, windowTitle(), messages_.codedText(*unusable));
    }
    LoadSettings();
    tellOfChangesCutShort();
    // No folder stored: nothing is selected, rather than the root of everything.
    pc_->buildTree(settings_.defaultDirectory);
    library_->start();
    // Back from another program: the selected folder is read again, so files made meanwhile
    // show up.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TPcLinkForm::FormActivate);
}

void TPcLinkForm::tellOfChangesCutShort() {
    // A change that a program killed midway (this window, the command-line tool) left under
    // way is said once: the keyboard may hold neither what its slots held nor what they were
    // given, and Undo takes it back.
    QStringList texts;
    try {
        for (const safety::Change& change :
             safety::History(safetyStore_.folder()).cutShort({}, true)) {
            texts << safety::cutShortText(change, safetyStore_, messages_);
        }
    } catch (const platform::SystemError&) {
        return;  // a history that cannot be read is said by Undo
    }
    if (!texts.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), texts.join(QStringLiteral("\n\n")));
    }
}

void TPcLinkForm::LoadSettings() {
    auto& service = platform::MidiService::instance();
    bool ask = false;
    if (!store_->hasRunBefore()) {
        settings_ = {0, 0, QDir::currentPath(), {}, {}};
        ask = true;
        store_->markRun();
    } else {
        try {
            settings_ = store_->load();
            service.setPeriodRequest(settings_.pipeWirePeriod);
            // The numbering may have changed since: the stored name says which device was meant.
            settings_.inputDevice =
                service.findInput(settings_.inputDevice, settings_.inputDeviceName);
            settings_.outputDevice =
                service.findOutput(settings_.outputDevice, settings_.outputDeviceName);
        } catch (const platform::SystemError&) {
            ask = true;
        }
    }
    if (ask) {
        PrefOpenExecute();
    }
}

std::unique_ptr<platform::KeyboardSession> TPcLinkForm::beginKeyboardCommand(
    platform::Settings& job) {
    // On the keyboard thread, at the start of a command's body, in the command's own copy of
    // the settings (the window takes the numbers found back once the command has ended). The
    // devices as they are now: a device unplugged since the last command is named in the
    // error, and one that came back under another number is found by its name.
    auto& service = platform::MidiService::instance();
    service.inputDevices();
    service.outputDevices();
    job.inputDevice = service.storedInput(job.inputDevice, job.inputDeviceName);
    job.outputDevice = service.storedOutput(job.outputDevice, job.outputDeviceName);
    return std::make_unique<platform::KeyboardSession>(job.outputDevice);
}

void TPcLinkForm::SaveSettings() {
    if (settingsSaved_) {
        return;
    }
    settingsSaved_ = true;
    try {
        store_->save(settings_);
    } catch (const platform::SystemError& e) {
        QMessageBox::critical(this, windowTitle(), messages_.codedText(e.said()));
    }
}

bool TPcLinkForm::event(QEvent* event) {
    // A status tip (a menu item's or a widget's) would replace the status line and the bar;
    // the window's strip reports the running command, nothing else.
    if (event->type() == QEvent::StatusTip) {
        return true;
    }
    return QMainWindow::event(event);
}

void TPcLinkForm::closeEvent(QCloseEvent* event) {
    // A command's body still uses the window's parts: the window closes once it has ended,
    // stopped the safe way (what it replaced is kept, a stopped song send offered back).
    if (!frame_->isIdle()) {
        event->ignore();
        if (!closeAfterCommand_ && askToStopAndClose()) {
            closeAfterCommand_ = true;
            frame_->cancel();
        }
        return;
    }
    SaveSettings();
    layout_->save();
    event->accept();
}

void TPcLinkForm::quitting() {
    frame_->cancel();
    if (settingsSaved_) {
        return;  // closed already
    }
    settingsSaved_ = true;
    layout_->save();
    // No box: the event loop has ended. The terminal or the session's log hears it.
    try {
        store_->save(settings_);
    } catch (const platform::SystemError& e) {
        std::fprintf(stderr, "nvbman: %s\n", qPrintable(messages_.codedText(e.said())));
    }
}

bool TPcLinkForm::askToStopAndClose() {
    QMessageBox question(QMessageBox::Question, windowTitle(),
                         tr("A command is running. Stop it and close?"), QMessageBox::NoButton,
                         this);
    question.setObjectName("StopAndCloseQuestion");
    QPushButton* stop = question.addButton(tr("Stop and Close"), QMessageBox::AcceptRole);
    question.addButton(QMessageBox::Cancel);
    question.setDefaultButton(stop);
    question.exec();
    return question.clickedButton() == stop;
}

void TPcLinkForm::closeOnceTheCommandEnded() {
    if (closeAfterCommand_ && frame_->isIdle()) {
        closeAfterCommand_ = false;
        close();
    }
}

void TPcLinkForm::PrefOpenExecute() {
    TPrefForm dialog(this);
    dialog.setInputDevice(settings_.inputDevice, settings_.inputDeviceName);
    dialog.setOutputDevice(settings_.outputDevice, settings_.outputDeviceName);
    dialog.setDefaultDirectory(settings_.defaultDirectory);
    dialog.setKeepCopies(settings_.keepCopies);
    dialog.setVerifyAfterSending(settings_.verifyAfterSending);
    dialog.setPipeWirePeriod(settings_.pipeWirePeriod);
    dialog.setLibraryFolders(settings_.libraryFolders);
    dialog.setVersionsKeepDays(settings_.versionsKeepDays);
    dialog.showVersionsSize(versions_->sizeText());
    if (dialog.exec() == QDialog::Accepted) {
        // Before the default folder changes: with no library folders of its own, the library
        // is that folder.
        const QStringList libraryBefore = settings_.foldersOfLibrary();
        settings_.keepCopies = dialog.keepCopies();
        settings_.verifyAfterSending = dialog.verifyAfterSending();
        settings_.pipeWirePeriod = dialog.pipeWirePeriod();
        platform::MidiService::instance().setPeriodRequest(settings_.pipeWirePeriod);
        settings_.inputDevice = dialog.inputDevice();
        settings_.outputDevice = dialog.outputDevice();
        settings_.inputDeviceName = dialog.inputDeviceName();
        settings_.outputDeviceName = dialog.outputDeviceName();
        settings_.defaultDirectory = dialog.defaultDirectory();
        settings_.libraryFolders = dialog.libraryFolders();
        library_->foldersChanged(libraryBefore);
        settings_.versionsKeepDays = dialog.versionsKeepDays();
        versions_->pruneAsPreferred();
    }
}

void TPcLinkForm::KbdDrvPropOpenExecute() {
    const PictureArea* area = kbd_->selectedArea();
    if (area == nullptr) {
        return;
    }
    TKbdDrivePropertyForm dialog(this);
    dialog.SetName(area->name);
    dialog.showUsed(area->used);
    dialog.showFree(area->free);
    dialog.showCapacity(area->capacity);
    dialog.exec();
}
