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

#include "backup/keyboardbackup.h"
#include "commandframe.h"
#include "data/ekdatadrive.h"
#include "dialogs/helpcommands.h"
#include "dialogs/kbddrivepropertyform.h"
#include "dialogs/prefform.h"
#include "icons/paneicons.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbdpanemodel.h"
#include "localpanemodel.h"
#include "midilogdock.h"
#include "windowactions.h"
#include "windowlayout.h"
#include "msg/operateexception.h"
#include "panedragdrop.h"
#include "panepopup.h"
#include "platform/keyboardsession.h"
#include "platform/midilog.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"
#include "progress/pbarobservers.h"

namespace {

// A screen reader names each toolbar button by its hint, as the tool tip does.
void nameButtonsByHint(QToolBar* bar) {
    for (QAction* action : bar->actions()) {
        if (QWidget* button = bar->widgetForAction(action)) {
            button->setAccessibleName(action->toolTip());
        }
    }
}

// One pane: its toolbar over the tree (177 pixels wide) and the list, with a splitter between
// (`splitName`, the name the window's layout keeps it by).
QWidget* paneOf(QToolBar* bar, QWidget* tree, QWidget* list, const char* splitName) {
    nameButtonsByHint(bar);
    auto* split = new QSplitter(Qt::Horizontal);
    split->setObjectName(splitName);
    split->addWidget(tree);
    split->addWidget(list);
    split->setSizes({177, 438});
    auto* pane = new QWidget;
    auto* layout = new QVBoxLayout(pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(split, 1);
    return pane;
}

// A pane's folder tree: no header, 19-pixel indentation, read-only.
QTreeView* folderTree(QAbstractItemModel* model, const char* name, const QString& accessible) {
    auto* tree = new QTreeView;
    tree->setObjectName(name);
    tree->setAccessibleName(accessible);
    tree->setHeaderHidden(true);
    tree->setIndentation(19);
    tree->setModel(model);
    tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return tree;
}

// A pane's list in its four looks over one model and one selection: a QListView for large
// icons, small icons and the list, a QTreeView with the columns for the details, in a stack.
struct FileViews {
    QListView* list;
    QTreeView* details;
    QStackedWidget* stack;
};

FileViews fileViews(QAbstractItemModel* model, const char* name, const char* detailsName,
                    const QString& accessible, std::initializer_list<int> columnWidths) {
    auto* list = new QListView;
    list->setObjectName(name);
    list->setAccessibleName(accessible);
    list->setModel(model);
    list->setViewMode(QListView::IconMode);
    list->setIconSize(QSize(32, 32));
    list->setGridSize(QSize(96, 64));
    list->setWordWrap(true);
    list->setResizeMode(QListView::Adjust);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Whole rows (a screen reader can then select a row: its accessible table refuses row
    // selection of single cells when the model has more than one column), several with Shift
    // and Ctrl, from the keyboard too (Shift+arrows, Ctrl+Space).
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    auto* details = new QTreeView;
    details->setObjectName(detailsName);
    details->setAccessibleName(accessible);
    details->setModel(model);
    details->setSelectionModel(list->selectionModel());
    details->setRootIsDecorated(false);
    details->setEditTriggers(QAbstractItemView::NoEditTriggers);
    int column = 0;
    for (int width : columnWidths) {
        details->header()->resizeSection(column++, width);
    }
    auto* stack = new QStackedWidget;
    stack->addWidget(list);
    stack->addWidget(details);
    return {list, details, stack};
}

// Where a menu of the action table has a separator.
constexpr auto kSeparator = Act(-1);

// A pane list's four looks, in the order of their toolbar buttons (and their icons).
enum class ViewStyle { LargeIcon, SmallIcon, List, Details };
constexpr int kViewStyles = 4;
// The two pages of a pane's list stack.
constexpr int kIconListPage = 0;
constexpr int kDetailsPage = 1;

void showViewStyle(ViewStyle style, QStackedWidget* stack, QListView* list) {
    if (style == ViewStyle::Details) {
        stack->setCurrentIndex(kDetailsPage);
        return;
    }
    const bool large = style == ViewStyle::LargeIcon;
    stack->setCurrentIndex(kIconListPage);
    list->setViewMode(large ? QListView::IconMode : QListView::ListMode);
    list->setIconSize(large ? QSize(32, 32) : QSize(16, 16));
    list->setGridSize(large ? QSize(96, 64) : QSize());
    list->setFlow(style == ViewStyle::List ? QListView::TopToBottom : QListView::LeftToRight);
    list->setWrapping(true);
    list->setResizeMode(QListView::Adjust);
}

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
    listProgress_ = std::make_unique<PBarKbdDrvObserver>(progressBar_);
    driver_.attachObserver(listProgress_.get());
    // A request asked again after a lost answer shows in the status text of the command.
    driver_.setRetryListener([this](RetryReason reason) {
        frame_->noteRetry(reason == RetryReason::ChangeNotShown);
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
    layout_->addColumns(localFileDetails_->header(), "LocalFileDetails");
    layout_->addColumns(kbdFileDetails_->header(), "KbdFileDetails");
    for (const char* pane : {"Local", "Kbd"}) {
        layout_->addChoice(findChild<QActionGroup*>(QString(pane) + "ViewStyles"), pane);
    }
    layout_->restore();
}

TPcLinkForm::~TPcLinkForm() {
    driver_.detachObserver(listProgress_.get());
    driver_.setRetryListener({});
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
    menu(tr("&File"), {Act::PrefOpen, kSeparator, Act::BackUp, Act::Restore, Act::Compare,
                       Act::ReplacedItems, kSeparator, Act::ExportDump, kSeparator,
                       Act::Library, Act::CheckOnPc, kSeparator, Act::Exit});
    QMenu* edit = menu(tr("&Edit"), {Act::Undo, Act::Redo, kSeparator, Act::CopyTo, Act::MoveTo,
                                     Act::SwapWith, Act::Rename});
    // Undo's and Redo's captions name the change they would take back now.
    connect(edit, &QMenu::aboutToShow, this, &TPcLinkForm::updateUndoActions);
    updateUndoActions();

    // Every message both ways, kept from the start so that the log shows what led up to a
    // failure even when it was opened afterwards.
    platform::MidiLog::instance().setRecording(true);
    midiLog_ = new MidiLogDock(this);
    addDockWidget(Qt::BottomDockWidgetArea, midiLog_);
    midiLog_->hide();
    QMenu* view = menuBar()->addMenu(tr("&View"));
    view->addAction(midiLog_->toggleViewAction());
    menu(tr("&Help"), {Act::Help, kSeparator, Act::About, Act::AboutQt});
}

void TPcLinkForm::updateActions() {
    const QModelIndex node = kbdDirView_ != nullptr ? selectedKbdNode() : QModelIndex();
    actions_->update(
        {frame_ != nullptr && frame_->isBusy(), listed_,
         kbdpane::deleteAllowed(node.data().toString(), driver_.isConnected())});
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
    backUpKeyboard(folder, holdsOne ? backup::OldBackup::Replace : backup::OldBackup::Refuse);
}

QString TPcLinkForm::askForFolder(const QString& caption) {
    return QFileDialog::getExistingDirectory(this, caption,
                                             localTree_->nodePath(selectedLocalNode()));
}

void TPcLinkForm::askAndRestore() {
    if (const QString folder = askForFolder(tr("Restore Keyboard")); !folder.isEmpty()) {
        restoreKeyboard(folder);
    }
}

void TPcLinkForm::askAndExport() {
    if (const QString folder = askForFolder(tr("Export As .syx")); !folder.isEmpty()) {
        exportSelectedSlots(folder);
    }
}

void TPcLinkForm::askAndCompare() {
    if (const QString folder = askForFolder(tr("Compare With Backup")); !folder.isEmpty()) {
        compareWithBackup(folder);
    }
}

void TPcLinkForm::openHelp() {
    if (QString error; !help::openManual(&error)) {
        showError(error);
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
    PanePopup* local = popup(
        "LocalPopupMenu", {action(Act::Send), nullptr, action(Act::LocalPropOpen), nullptr, action(Act::ShellOpen)},
        PanePopup::EmptySpace::ClearSelection);
    local->attach(localFileView_);
    local->attach(localFileDetails_);
    PanePopup* kbd =
        popup("KbdPopupMenu", {action(Act::Receive), action(Act::Delete), nullptr, action(Act::KbdPropOpen)},
              PanePopup::EmptySpace::ClearSelection);
    kbd->attach(kbdFileView_);
    kbd->attach(kbdFileDetails_);
    popup("KbdDirPopup", {action(Act::KbdDrvPropOpen)}, PanePopup::EmptySpace::KeepSelection)
        ->attach(kbdDirView_);
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
        const EkData* item = KbdListModel::dataObject(row);
        return driver_.isConnected() && item != nullptr && !item->isDirectory() &&
               item->isPresent();
    };
    rules.acceptsDrop = [this](PaneDragDrop::Side side) {
        return !frame_->isBusy() && (side == PaneDragDrop::Local || driver_.isConnected());
    };
    rules.dropped = [this](PaneDragDrop::Side side, const QModelIndex& row,
                           const QStringList& files) {
        if (side == PaneDragDrop::Local) {
            // Onto a sub-folder's row: that folder is where the slots or files go.
            const QFileInfo entry = localList_->entry(row);
            if (entry.isDir()) {
                selectLocalSubfolder(entry.fileName());
            }
            if (files.isEmpty()) {
                ReceiveActionExecute();
            } else {
                copyFilesHere(files);
            }
            return;
        }
        const EkData* item = KbdListModel::dataObject(row);
        if (item == nullptr) {
            showError(messages_.operateErrorText(OperateException::NoSendTarget));
            return;
        }
        if (item->isDirectory()) {
            showError(messages_.operateErrorText(OperateException::NotAcceptable));
            return;
        }
        selectKbdRow(row.row());
        if (files.isEmpty()) {
            SendActionExecute();
        } else {
            sendFiles(files);
        }
    };
    rules.copiedWithin = [this](const QModelIndex& target) {
        const EkData* from = KbdListModel::dataObject(selectedKbdRow());
        const EkData* to = KbdListModel::dataObject(target);
        if (from != nullptr && to != nullptr && !from->isDirectory() && !to->isDirectory()) {
            editSlots(organise::Edit::Copy, SlotAddress::of(*from), SlotAddress::of(*to));
        }
    };
    dragDrop_ = new PaneDragDrop(std::move(rules), this);
    dragDrop_->attach(localFileView_, PaneDragDrop::Local);
    dragDrop_->attach(localFileDetails_, PaneDragDrop::Local);
    dragDrop_->attach(kbdFileView_, PaneDragDrop::Keyboard);
    dragDrop_->attach(kbdFileDetails_, PaneDragDrop::Keyboard);
}

QToolBar* TPcLinkForm::viewStyleBar(QToolBar* bar, QStackedWidget* stack, QListView* list,
                                    const QString& prefix) {
    auto* group = new QActionGroup(bar);
    group->setObjectName(prefix + "ViewStyles");
    group->setExclusive(true);
    const char* hints[] = {QT_TR_NOOP("Large Icon"), QT_TR_NOOP("Small Icon"), QT_TR_NOOP("List"),
                           QT_TR_NOOP("Detailed")};
    const char* names[] = {"IconBtn", "SmallIconBtn", "ListBtn", "ReportBtn"};
    for (int style = 0; style < kViewStyles; ++style) {
        QAction* action = WindowActions::make(group, tr(hints[style]), tr(hints[style]),
                                              ToolbarIcon(int(ToolbarIcon::LargeIcon) + style),
                                              qPrintable(prefix + names[style]));
        action->setCheckable(true);
        action->setChecked(style == int(ViewStyle::LargeIcon));
        action->setData(style);
        bar->addAction(action);
        actions_->addIdleAction(action);
    }
    // One model, four looks: icons large or small, a list, or the details with their columns.
    // Each style follows its action's checked state, however it was set: a click, the keyboard,
    // or a screen reader's toggle action (which never triggers the action).
    for (QAction* action : group->actions()) {
        connect(action, &QAction::toggled, this, [stack, list, action](bool checked) {
            if (checked) {
                showViewStyle(ViewStyle(action->data().toInt()), stack, list);
            }
        });
    }
    return bar;
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
    frame_ = new CommandFrame(this, statusText_, progressBar_, cancel, messages_);
    // The keyboard list is what most commands fill (the list, a send, a delete).
    frame_->setSessionStart([this] { return beginKeyboardCommand(); });
    frame_->setRestingFocus([this] { return kbdFileStack_->currentWidget(); });
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, frame_, &CommandFrame::cancel);

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
            updateUndoActions();
            kbdList_->refreshOnPc();
        }
    });
    // The lists too: a double click on a folder row moves the tree, which lists again.
    for (QWidget* widget :
         {static_cast<QWidget*>(kbdDirView_), static_cast<QWidget*>(kbdFileStack_),
          static_cast<QWidget*>(localDirView_), static_cast<QWidget*>(localFileStack_),
          static_cast<QWidget*>(menuBar())}) {
        frame_->guard(widget);
    }
}

QWidget* TPcLinkForm::buildLocalPane() {
    localTree_ = new LocalTreeModel(this);
    localList_ = new LocalListModel(this);
    localDirView_ = folderTree(localTree_, "LocalDirView", tr("PC folders"));
    const FileViews local = fileViews(localList_, "LocalFileView", "LocalFileDetails",
                                      tr("PC files"), {200, 100, 100, 90, 90});
    localFileView_ = local.list;
    localFileDetails_ = local.details;
    // A dump of several items opens onto a row per item.
    localFileDetails_->setRootIsDecorated(true);
    localFileStack_ = local.stack;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(localFileView_),
                                    static_cast<QAbstractItemView*>(localFileDetails_)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &TPcLinkForm::LocalFileViewDblClick);
        connect(view, &QAbstractItemView::activated, this, &TPcLinkForm::LocalFileViewDblClick);
    }

    // Selecting a folder reads its sub-folders and lists it; expanding one reads its
    // sub-folders, so folders made meanwhile appear.
    // The selection, not the current node: a tree that takes the focus marks a node current
    // without selecting it, and the list shows only what the user chose.
    connect(localDirView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { LocalDirViewChange(selectedLocalNode()); });
    connect(localDirView_, &QTreeView::expanded, localTree_, &LocalTreeModel::refreshSubfolders);

    auto* bar = new QToolBar(tr("Local"));
    bar->setIconSize(QSize(16, 16));
    bar->addAction(action(Act::LocalUpdate));
    bar->addAction(action(Act::Send));
    bar->addSeparator();
    viewStyleBar(bar, localFileStack_, localFileView_, "Local");
    return paneOf(bar, localDirView_, localFileStack_, "LocalSplit");
}

QWidget* TPcLinkForm::buildKbdPane() {
    kbdTree_ = new KbdTreeModel(driver_, modelName_, this);
    kbdList_ = new KbdListModel(driver_, messages_, this);
    kbdDirView_ = folderTree(kbdTree_, "KbdDirView", tr("Keyboard folders"));
    const FileViews kbd = fileViews(kbdList_, "KbdFileView", "KbdFileDetails", tr("Keyboard items"),
                                    {193, 100, 100, 160});
    kbdFileView_ = kbd.list;
    kbdFileDetails_ = kbd.details;
    kbdFileStack_ = kbd.stack;
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(kbdFileView_),
                                    static_cast<QAbstractItemView*>(kbdFileDetails_)}) {
        connect(view, &QAbstractItemView::doubleClicked, this, &TPcLinkForm::KbdFileViewDblClick);
        connect(view, &QAbstractItemView::activated, this, &TPcLinkForm::KbdFileViewDblClick);
        auto* del = new QShortcut(QKeySequence::Delete, view, nullptr, nullptr, Qt::WidgetShortcut);
        connect(del, &QShortcut::activated, action(Act::Delete), &QAction::trigger);
    }

    auto* bar = new QToolBar(tr("Keyboard"));
    bar->setIconSize(QSize(16, 16));
    bar->addAction(action(Act::Connect));
    bar->addAction(action(Act::Receive));
    bar->addAction(action(Act::Delete));
    bar->addSeparator();
    viewStyleBar(bar, kbdFileStack_, kbdFileView_, "Kbd");

    connect(kbdDirView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListKbdFiles(selectedKbdNode()); });
    QWidget* pane = paneOf(bar, kbdDirView_, kbdFileStack_, "KbdSplit");
    BuildKbdTree();
    return pane;
}

void TPcLinkForm::start() {
    LoadSettings();
    BuildLocalTree();
    startLibrary();
    // Back from another program: the selected folder is read again, so files made meanwhile
    // show up.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, &TPcLinkForm::FormActivate);
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

std::unique_ptr<platform::KeyboardSession> TPcLinkForm::beginKeyboardCommand() {
    // The devices as they are now: a device unplugged since the last command is named in the
    // error, and one that came back under another number is found by its name.
    auto& service = platform::MidiService::instance();
    service.inputDevices();
    service.outputDevices();
    settings_.inputDevice = service.storedInput(settings_.inputDevice, settings_.inputDeviceName);
    settings_.outputDevice =
        service.storedOutput(settings_.outputDevice, settings_.outputDeviceName);
    return std::make_unique<platform::KeyboardSession>(settings_.outputDevice);
}

void TPcLinkForm::SaveSettings() {
    if (settingsSaved_) {
        return;
    }
    settingsSaved_ = true;
    try {
        store_->save(settings_);
    } catch (const platform::SystemError& e) {
        QMessageBox::critical(this, windowTitle(), QString::fromLocal8Bit(e.what()));
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
    // A command's wait serves the event loop: closing now would pull the window from under it.
    if (frame_->isBusy()) {
        event->ignore();
        return;
    }
    SaveSettings();
    layout_->save();
    event->accept();
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
        libraryFoldersChanged(libraryBefore);
    }
}

void TPcLinkForm::KbdDrvPropOpenExecute() {
    EkData* object = KbdTreeModel::dataObject(selectedKbdNode());
    if (object == nullptr || !object->isContainer()) {
        return;
    }
    const EkDataDrive* drive = EkDataDrive::from(object);
    TKbdDrivePropertyForm dialog(this);
    dialog.SetName(QString::fromLatin1(drive->name().c_str()));
    dialog.showUsed(drive->usedSpace());
    dialog.showFree(drive->freeSpace());
    dialog.showCapacity(drive->capacity());
    dialog.exec();
}
