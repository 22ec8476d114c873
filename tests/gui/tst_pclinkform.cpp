// The window on the offscreen platform, driving the real driver against the in-process software
// keyboard: start-up and settings, Get/Update List and what it enables, the keyboard pane's rows,
// a failed list, the busy guard and cancel, delete, drive properties, one copy at a time.

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDockWidget>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocalSocket>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>
#include <csignal>
#include <functional>
#include <map>
#include <mutex>

#include "backup/keyboardbackup.h"
#include "commands/commandframe.h"
#include "commands/editcommands.h"
#include "commands/keyboardjobs.h"
#include "dialogs/helpcommands.h"
#include "dialogs/kbddrivepropertyform.h"
#include "dialogs/prefform.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbdsim/simulatordevice.h"
#include "mainform/pclinkform.h"
#include "mainform/windowhandover.h"
#include "panes/kbdpanemodel.h"
#include "platform/filelock.h"
#include "platform/keyboardsession.h"
#include "platform/keyboardthread.h"
#include "platform/midilog.h"
#include "platform/midiservice.h"
#include "platform/quitonsignals.h"
#include "platform/systemerror.h"
#include "printing/listpages.h"
#include "safety/history.h"
#include "support/csvrecords.h"
#include "support/keyboardrig.h"
#include "support/modal.h"
#include "support/pagecatcher.h"
#include "support/recordingdevice.h"
#include "support/scripteddevice.h"
#include "support/songmemory.h"
#include "support/windowcommands.h"

namespace {

QAction* action(TPcLinkForm& window, const char* name) {
    return window.findChild<QAction*>(name);
}

QTreeView* view(TPcLinkForm& window, const char* name) {
    return window.findChild<QTreeView*>(name);
}

QAbstractItemModel* kbdList(TPcLinkForm& window) {
    return view(window, "KbdFileDetails")->model();
}

// The rows of the keyboard list: name, type word, size, icon index.
QStringList rows(TPcLinkForm& window) {
    QStringList out;
    QAbstractItemModel* model = kbdList(window);
    for (int row = 0; row < model->rowCount(); ++row) {
        out << QString("%1|%2|%3|%4")
                   .arg(model->index(row, 0).data().toString(),
                        model->index(row, 1).data().toString(),
                        model->index(row, 2).data().toString())
                   .arg(model->index(row, 0).data(kbdpane::IconIndexRole).toInt());
    }
    return out;
}

void selectNode(TPcLinkForm& window, const QStringList& texts) {
    QTreeView* tree = view(window, "KbdDirView");
    QModelIndex node = tree->model()->index(0, 0);
    for (const QString& text : texts) {
        const QModelIndexList found = tree->model()->match(
            tree->model()->index(0, 0, node), Qt::DisplayRole, text, 1, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(text));
        node = found.first();
    }
    tree->setCurrentIndex(node);
}

}  // namespace

class TestPcLinkForm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void firstStartAsksForDevicesBeforeTheWindow();
    void storedSettingsAreUsedAndWrittenBackOnClose();
    void listFillsThePaneAndEnablesWhatItShould();
    void keyboardRowsAfterTheList_data();
    void keyboardRowsAfterTheList();
    void failedListShowsTheTimeoutAndChangesNothing();
    void everyControlWaitsWhileACommandRunsAndEscapeStopsIt();
    void everyActionFollowsTheWindowsState();
    void deleteEmptiesTheSelectedSong();
    void keyboardTrafficNeverRunsOnTheWindowsThread();
    void driveProperties();
    void viewStylesShowOneModelFourWays_data();
    void viewStylesShowOneModelFourWays();
    void preferencesTakeEffectOnlyAfterOk_data();
    void preferencesTakeEffectOnlyAfterOk();
    void deleteWithoutAListSaysSo();
    void testAndFindSayWhatAnswers();
    void aFirstJobListsTheKeyboardAndEnablesItsCommands_data();
    void aFirstJobListsTheKeyboardAndEnablesItsCommands();
    void keyboardAloneActsOnlyOnWhatTheArrowsSelected();
    void rightClickChoosesWhatTheMenuActsOn();
    void statusStaysReadableWhileThePointerRestsOnTheButton();
    void noStoredFolderSelectsNothing();
    void oneProgramAtATimeOnAKeyboard();
    void secondCopyEndsAtOnce();
    void aPoliteKillEndsTheWindowAsExitDoes_data();
    void aPoliteKillEndsTheWindowAsExitDoes();
    void fileHandedToTheRunningWindow();
    void manyFailedHandOversFitOneBoxOnTheScreen();
    void aFileHandedOverDuringACommandIsShownAfterIt();
    void aChangeCutShortIsSaidOnceAtTheStart();
    void closingDuringACommandAsksToStopIt();
    void quittingDuringACommandStopsItTheSafeWay_data();
    void quittingDuringACommandStopsItTheSafeWay();
    void aWindowKilledDuringASendIsSaidAndUndoneAtItsNextStart();
    // The window that aWindowKilledDuringASendIsSaidAndUndoneAtItsNextStart kills, run by it
    // as a process of its own; skipped when run otherwise.
    void sendingUntilKilled();
    void theLayoutIsKeptAcrossAStartAndADamagedOneIsNotUsed();
    void aStoredSizeLargerThanTheScreenIsFittedToIt();
    void junkInTheSettingsIsNoFailureToWriteThem();
    void aSettingsFileThatIsNoFileIsNeitherWaitedOnNorReplaced_data();
    void aSettingsFileThatIsNoFileIsNeitherWaitedOnNorReplaced();
    void helpOpensTheManualAndAboutNamesTheVersions();
    void theKeyboardsListIsExportedAndPrintedWhole();

private:
    std::unique_ptr<TPcLinkForm> startedWindow(int input, int output);

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<KeyboardRig> rig_;
};

void TestPcLinkForm::init() {
    home_ = std::make_unique<QTemporaryDir>();
    // The library and the kept copies of this test only.
    qputenv("XDG_DATA_HOME", home_->filePath("data").toLocal8Bit());
    rig_ = std::make_unique<KeyboardRig>();
    // Every window starts from the driver's empty layout.
    EkKbdDrv::instance(mls850::kModel).disconnect();
}

void TestPcLinkForm::cleanup() {
    rig_.reset();
}

std::unique_ptr<TPcLinkForm> TestPcLinkForm::startedWindow(int input, int output) {
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home_->filePath("nvbman.ini"), QSettings::IniFormat));
        store.save({input, output, home_->path(), {}, {}});
    }
    auto window = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("nvbman.ini")));
    window->start();
    window->show();
    return window;
}

void TestPcLinkForm::firstStartAsksForDevicesBeforeTheWindow() {
    auto window = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("first.ini")));
    bool asked = false;
    onNextModal([&](QWidget* modal) {
        asked = modal->windowTitle() == "Preference";
        // Choose the test keyboard by its name in both lists.
        for (const char* box : {"MidiInDevBox", "MidiOutDevBox"}) {
            auto* combo = modal->findChild<QComboBox*>(box);
            combo->setCurrentIndex(combo->findText(rig_->device.name()));
        }
        static_cast<QDialog*>(modal)->accept();
    });
    window->start();
    QVERIFY(asked);
    QVERIFY(!window->isVisible());  // the dialog came before the window
    QCOMPARE(window->settings().inputDevice, rig_->inputNumber());
    QCOMPARE(window->settings().outputDeviceName, rig_->device.name());
    QCOMPARE(window->settings().defaultDirectory, QDir::currentPath());
}

void TestPcLinkForm::storedSettingsAreUsedAndWrittenBackOnClose() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QCOMPARE(window->settings().inputDevice, rig_->inputNumber());
    QVERIFY(window->close());
    QSettings stored(home_->filePath("nvbman.ini"), QSettings::IniFormat);
    QCOMPARE(stored.value("MIDI/InputDevice").toInt(), rig_->inputNumber());
    QCOMPARE(stored.value("Directory/Default").toString(), home_->path());
    // The next start asks nothing.
    auto next = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("nvbman.ini")));
    next->start();
    QCOMPARE(next->settings().outputDevice, rig_->outputNumber());
}

void TestPcLinkForm::listFillsThePaneAndEnablesWhatItShould() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    auto* bar = window->findChild<QProgressBar*>("ProgressBar");
    int highest = 0;
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) { highest = std::max(highest, v); });
    QVERIFY(!action(*window, "DeleteAction")->isEnabled());
    QCOMPARE(rows(*window).first(), QString("User 0|||5"));  // before the list: blank pages

    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QCOMPARE(highest, 143);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(window->findChild<QLabel*>("StatusBar")->text(), QString());
    QTreeView* tree = view(*window, "KbdDirView");
    const QModelIndex tone = tree->model()->index(0, 0, tree->model()->index(0, 0));
    QCOMPARE(tone.data().toString(), QString("Tone:\\"));
    QCOMPARE(tone.data(kbdpane::IconIndexRole).toInt(), int(kbdpane::AreaListed));
    QCOMPARE(tree->currentIndex(), tone);
    // Tones shown: Delete stays off; on the song folder it comes on.
    QVERIFY(!action(*window, "DeleteAction")->isEnabled());
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    QVERIFY(action(*window, "DeleteAction")->isEnabled());
    selectNode(*window, {"Song Rhythm:\\"});
    QVERIFY(!action(*window, "DeleteAction")->isEnabled());
}

void TestPcLinkForm::keyboardRowsAfterTheList_data() {
    QTest::addColumn<QStringList>("node");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("expected");  // name|type|size|icon
    QTest::newRow("tone") << QStringList{"Tone:\\"} << 3 << "Warm Pad|Tone|60|6";
    QTest::newRow("registration, spelt as the keyboard does")
        << QStringList{"Registration:\\", "Bank1"} << 2 << "Preset13|Registraion|176|8";
    QTest::newRow("song") << QStringList{"Song Rhythm:\\", "Song"} << 0 << "Sunrise |Song|1800|9";
    QTest::newRow("empty song slot") << QStringList{"Song Rhythm:\\", "Song"} << 1 << "Song 1|||5";
    QTest::newRow("empty rhythm slot")
        << QStringList{"Song Rhythm:\\", "Rhythm"} << 1 << "User 1|||5";
    QTest::newRow("folder row") << QStringList{"Song Rhythm:\\"} << 1 << "Rhythm|Folder||3";
}

void TestPcLinkForm::keyboardRowsAfterTheList() {
    QFETCH(QStringList, node);
    QFETCH(int, row);
    QFETCH(QString, expected);
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    selectNode(*window, node);
    const QStringList all = rows(*window);
    QVERIFY2(row < all.size(), qPrintable(all.join(", ")));
    QCOMPARE(all[row], expected);
}

void TestPcLinkForm::failedListShowsTheTimeoutAndChangesNothing() {
    ScriptedDevice silent("Test silent keyboard");
    auto window = startedWindow(silent.inputNumber(), silent.outputNumber());
    QString shown;
    onNextModal([&](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->text();
        static_cast<QMessageBox*>(modal)->accept();
    });
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QCOMPARE(shown, QString("MIDI Timeout"));
    QCOMPARE(window->findChild<QLabel*>("StatusBar")->text(), QString());
    QCOMPARE(window->findChild<QProgressBar*>("ProgressBar")->value(), 0);
    QTreeView* tree = view(*window, "KbdDirView");
    QCOMPARE(
        tree->model()->index(0, 0, tree->model()->index(0, 0)).data(kbdpane::IconIndexRole).toInt(),
        int(kbdpane::AreaNotListed));
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    QVERIFY(!action(*window, "DeleteAction")->isEnabled());
}

void TestPcLinkForm::everyActionFollowsTheWindowsState() {
    // Each command of the window, button and menu item alike, as a user meets it: before the
    // first list, while a list runs, after it on the tones and on the songs.
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    // The MIDI log shows the running command's traffic: it can be opened while it runs; the
    // tags column only shows what the window knows.
    const QStringList always{"ExitAction",    "HelpAction",    "AboutAction",
                             "AboutQtAction", "MidiLogAction", "TagsColumnAction"};
    const QStringList afterList{"SendAction",        "ReceiveAction",    "ExportDumpAction",
                                "PrintListAction",   "ExportListAction", "KbdPropOpen",
                                "KbdTagsAction",     "KbdVersionsAction", "CopyToAction",
                                "MoveToAction",      "SwapWithAction",   "RenameAction"};
    // The enabled ones among every named action of the window.
    const auto enabled = [&] {
        QStringList names;
        for (const QAction* each : window->findChildren<QAction*>()) {
            if (!each->objectName().isEmpty() && each->isEnabled()) {
                names << each->objectName();
            }
        }
        names.sort();
        return names;
    };
    QStringList all;
    for (const QAction* each : window->findChildren<QAction*>()) {
        if (!each->objectName().isEmpty()) {
            all << each->objectName();
        }
    }
    all.sort();
    QVERIFY(all.size() > always.size() + afterList.size() + 1);
    for (const QString& name : always + afterList + QStringList{"DeleteAction"}) {
        QVERIFY2(all.contains(name), qPrintable(name));
    }
    const auto without = [](QStringList names, const QStringList& gone) {
        for (const QString& name : gone) {
            names.removeAll(name);
        }
        return names;
    };
    QCOMPARE(enabled(), without(all, afterList + QStringList{"DeleteAction"}));
    // As the command begins (the window follows the frame before anyone else hears it).
    QStringList duringTheList;
    connect(&window->frame(), &CommandFrame::busyChanged, this, [&](bool busy) {
        if (busy) {
            duringTheList = enabled();
        }
    });
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QStringList sortedAlways = always;
    sortedAlways.sort();
    QCOMPARE(duringTheList, sortedAlways);
    QCOMPARE(enabled(), without(all, {"DeleteAction"}));  // the tones are shown
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    QCOMPARE(enabled(), all);
}

void TestPcLinkForm::everyControlWaitsWhileACommandRunsAndEscapeStopsIt() {
    rig_->keyboard.setTiming({true, {}});  // paced: the listing takes a while
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    bool checked = false;
    // A close while the command runs asks whether to stop it: here, no.
    MessageBoxes keepRunning(QMessageBox::Cancel);
    QTimer::singleShot(150, [&] {
        QVERIFY(window->frame().isBusy());
        for (const char* name : {"ConnectAction", "PrefOpen", "KbdDrvPropOpen", "KbdIconBtn"}) {
            QVERIFY2(!action(*window, name)->isEnabled(), name);
        }
        QVERIFY(!window->menuBar()->isEnabled());
        QVERIFY(!view(*window, "KbdDirView")->isEnabled());
        QVERIFY(!view(*window, "KbdFileDetails")->isEnabled());
        QVERIFY(!window->close());                    // refused while the command runs
        QApplication::setActiveWindow(window.get());  // back from the question's box
        QTest::keyClick(window.get(), Qt::Key_Escape);
        checked = true;
    });
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QVERIFY(checked);
    QCOMPARE(window->findChild<QLabel*>("StatusBar")->text(), QString("Cancelled"));
    QVERIFY(action(*window, "ConnectAction")->isEnabled());
    QVERIFY(window->menuBar()->isEnabled());
    QVERIFY(!EkKbdDrv::instance(mls850::kModel).isConnected());
    QVERIFY(!rig_->programHasItOpen());
    QVERIFY(window->close());
}

void TestPcLinkForm::deleteEmptiesTheSelectedSong() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    QTreeView* details = view(*window, "KbdFileDetails");
    details->setCurrentIndex(details->model()->index(0, 0));
    action(*window, "DeleteAction")->trigger();
    QVERIFY(commandsEnded(*window));
    QCOMPARE(rows(*window).first(), QString("Song 0|||5"));
    QVERIFY(rig_->keyboard.memory().data({DataType::Song, 0, 0}).empty());
}

void TestPcLinkForm::keyboardTrafficNeverRunsOnTheWindowsThread() {
    // Every message a command sends and every answer it takes in passes the MIDI log where it
    // is sent or handed to the driver: on the window's keyboard thread, never on its own.
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    std::mutex mutex;
    std::map<QThread*, int> recordedOn;
    const int listener =
        platform::MidiLog::instance().addListener([&](const platform::MidiLog::Entry& entry) {
            if (entry.direction != platform::MidiLog::Direction::Note) {
                const std::lock_guard lock(mutex);
                ++recordedOn[QThread::currentThread()];
            }
        });
    const auto stopListening =
        qScopeGuard([listener] { platform::MidiLog::instance().removeListener(listener); });
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    view(*window, "KbdFileDetails")->setCurrentIndex(kbdList(*window)->index(0, 0));
    action(*window, "DeleteAction")->trigger();
    QVERIFY(commandsEnded(*window));
    QVERIFY(rig_->keyboard.memory().data({DataType::Song, 0, 0}).empty());
    const std::lock_guard lock(mutex);
    QCOMPARE(recordedOn.size(), std::size_t(1));
    QCOMPARE(recordedOn.begin()->first, window->keyboardThread().thread());
    QVERIFY(recordedOn.begin()->second > 0);
}

void TestPcLinkForm::driveProperties() {
    QCOMPARE(TKbdDrivePropertyForm::bytesText(600), QString("600byte(s)"));
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    selectNode(*window, {"Song Rhythm:\\"});
    QStringList shown;
    QStringList read;
    onNextModal([&](QWidget* modal) {
        for (const char* label : {"DrvNameLbl", "UsedLbl", "FreeLbl", "CapacityLbl"}) {
            shown << modal->findChild<QLabel*>(label)->text();
        }
        // A screen reader hears the value, described by its caption.
        QAccessibleInterface* used =
            QAccessible::queryAccessibleInterface(modal->findChild<QLabel*>("UsedLbl"));
        read << used->text(QAccessible::Name) << used->text(QAccessible::Description);
        static_cast<QDialog*>(modal)->reject();
    });
    window->KbdDrvPropOpenExecute();
    const int used = 1800 + 640 + 1024;
    QCOMPARE(shown, (QStringList{"Song Rhythm:", QString("%1byte(s)").arg(used),
                                 QString("%1byte(s)").arg(21504 - used), "21504byte(s)"}));
    QCOMPARE(read, (QStringList{QString("%1byte(s)").arg(used), "Used Space"}));
}

void TestPcLinkForm::viewStylesShowOneModelFourWays_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("details");
    QTest::addColumn<int>("viewMode");  // QListView::ViewMode when not details
    QTest::addColumn<int>("iconSize");
    QTest::newRow("large icons") << "KbdIconBtn" << false << int(QListView::IconMode) << 32;
    QTest::newRow("small icons") << "KbdSmallIconBtn" << false << int(QListView::ListMode) << 16;
    QTest::newRow("list") << "KbdListBtn" << false << int(QListView::ListMode) << 16;
    QTest::newRow("details") << "KbdReportBtn" << true << 0 << 0;
}

void TestPcLinkForm::viewStylesShowOneModelFourWays() {
    QFETCH(QString, button);
    QFETCH(bool, details);
    QFETCH(int, viewMode);
    QFETCH(int, iconSize);
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QAction* style = action(*window, qPrintable(button));
    QCOMPARE(style->text(), style->toolTip());  // the hint is the action's text
    QWidget* toolButton = nullptr;
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        toolButton = toolButton ? toolButton : bar->widgetForAction(style);
    }
    QVERIFY(toolButton != nullptr);
    QCOMPARE(toolButton->accessibleName(), style->toolTip());
    // From another look, through the button's accessible toggle action (a screen reader's way,
    // which never triggers the action).
    action(*window, details ? "KbdIconBtn" : "KbdReportBtn")->trigger();
    QAccessibleActionInterface* actions =
        QAccessible::queryAccessibleInterface(toolButton)->actionInterface();
    QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    actions->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(style->isChecked());
    int checked = 0;
    for (const char* name : {"KbdIconBtn", "KbdSmallIconBtn", "KbdListBtn", "KbdReportBtn"}) {
        checked += action(*window, name)->isChecked() ? 1 : 0;
    }
    QCOMPARE(checked, 1);
    QTreeView* table = view(*window, "KbdFileDetails");
    auto* list = window->findChild<QListView*>("KbdFileView");
    QCOMPARE(table->isVisible(), details);
    QCOMPARE(list->isVisible(), !details);
    if (details) {
        QCOMPARE(table->model()->headerData(2, Qt::Horizontal).toString(), QString("Size(byte)"));
        QCOMPARE(table->header()->sectionSize(0), 193);
    } else {
        QCOMPARE(int(list->viewMode()), viewMode);
        QCOMPARE(list->iconSize(), QSize(iconSize, iconSize));
    }
    // Both looks share one selection: a row chosen in one is the row of the other.
    list->setCurrentIndex(list->model()->index(2, 0));
    QCOMPARE(table->currentIndex().row(), 2);
}

void TestPcLinkForm::preferencesTakeEffectOnlyAfterOk_data() {
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK") << true;
    QTest::newRow("Cancel") << false;
}

void TestPcLinkForm::preferencesTakeEffectOnlyAfterOk() {
    QFETCH(bool, ok);
    RecordingDevice other("Test other keyboard");
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    onNextModal([&](QWidget* modal) {
        auto* input = modal->findChild<QComboBox*>("MidiInDevBox");
        QCOMPARE(input->currentText(), rig_->device.name());  // the stored device is shown
        input->setCurrentIndex(input->findText(other.name()));
        modal->findChild<QLineEdit*>("DefDirEdit")->setText("/tmp");
        ok ? static_cast<QDialog*>(modal)->accept() : static_cast<QDialog*>(modal)->reject();
    });
    window->PrefOpenExecute();
    QCOMPARE(window->settings().inputDevice, ok ? other.inputNumber() : rig_->inputNumber());
    QCOMPARE(window->settings().inputDeviceName, ok ? other.name() : QString());
    QCOMPARE(window->settings().defaultDirectory, ok ? QString("/tmp") : home_->path());
    QCOMPARE(window->settings().outputDevice, rig_->outputNumber());
}

void TestPcLinkForm::testAndFindSayWhatAnswers() {
    ScriptedDevice silent("Test silent keyboard");
    kbdsim::KeyboardMemory otherKind = kbdsim::KeyboardMemory::demo();
    otherKind.kind = 3;
    KeyboardRig other(otherKind, "Test other kind");
    const std::size_t before = rig_->fromProgram().size();
    TPrefForm dialog(nullptr);
    // Opening the dialog asks nothing of any device.
    QCOMPARE(rig_->fromProgram().size(), before);
    QVERIFY(silent.received.empty());
    auto* input = dialog.findChild<QComboBox*>("MidiInDevBox");
    auto* output = dialog.findChild<QComboBox*>("MidiOutDevBox");
    auto* result = dialog.findChild<QLabel*>("ProbeResultLabel");
    auto* test = dialog.findChild<QPushButton*>("TestConnectionBtn");
    const auto choose = [&](const QString& name) {
        input->setCurrentIndex(input->findText(name));
        output->setCurrentIndex(output->findText(name));
    };
    const std::pair<QString, QString> cases[] = {
        {silent.name(), "no answer"},
        {other.device.name(), "another kind of keyboard (kind 3)"},
        {rig_->device.name(), "MLS-850 found"},
    };
    for (const auto& [device, said] : cases) {
        choose(device);
        test->click();
        QCOMPARE(result->text(), said);
    }
    // Find chooses the pair an MLS-850 answers on, whatever was chosen before.
    choose(silent.name());
    dialog.findChild<QPushButton*>("FindKeyboardBtn")->click();
    QCOMPARE(result->text(), QString("MLS-850 found"));
    QCOMPARE(input->currentText(), rig_->device.name());
    QCOMPARE(output->currentText(), rig_->device.name());
}

void TestPcLinkForm::aFirstJobListsTheKeyboardAndEnablesItsCommands_data() {
    QTest::addColumn<QString>("job");
    QTest::newRow("a backup") << "backup";
    QTest::newRow("a comparison with a backup") << "compare";
}

void TestPcLinkForm::aFirstJobListsTheKeyboardAndEnablesItsCommands() {
    QFETCH(QString, job);
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QAction* send = action(*window, "SendAction");
    QVERIFY(!send->isEnabled());
    const QString folder = home_->filePath("backup");
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    MessageBoxes boxes;
    window->jobs().backUp(folder);
    QVERIFY(commandsEnded(*window));
    if (job == "compare") {
        window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
        send = action(*window, "SendAction");
        QVERIFY(!send->isEnabled());
        window->jobs().compareWithBackup(folder);
        QVERIFY(commandsEnded(*window));
    }
    // The job listed the keyboard first: what needs a list works now, and during the job the
    // frame held every command (Compare included) back.
    QVERIFY(send->isEnabled());
    QVERIFY(action(*window, "ReceiveAction")->isEnabled());
    QVERIFY(action(*window, "CompareAction")->isEnabled());
}

void TestPcLinkForm::deleteWithoutAListSaysSo() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    selectNode(*window, {"Song Rhythm:\\", "Song"});
    QTreeView* details = view(*window, "KbdFileDetails");
    details->setCurrentIndex(details->model()->index(0, 0));
    QString shown;
    onNextModal([&](QWidget* modal) {
        shown = static_cast<QMessageBox*>(modal)->text();
        static_cast<QMessageBox*>(modal)->accept();
    });
    window->DeleteActionExecute();  // the disabled button would not let it through
    QVERIFY(commandsEnded(*window));
    QCOMPARE(shown, QString("Get list first!!"));
    QVERIFY(rig_->fromProgram().empty());
}

void TestPcLinkForm::keyboardAloneActsOnlyOnWhatTheArrowsSelected() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    MessageBoxes boxes;
    // Tab walks the four views in reading order.
    view(*window, "LocalDirView")->setFocus();
    QStringList order;
    for (int i = 0; i < 4; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({"LocalDirView", "LocalFileView", "KbdDirView", "KbdFileView"}));
    // F5 fetches the list wherever the focus is, and the focus is back there afterwards (not
    // on the Cancel button that hid when the command ended).
    QTreeView* tree = view(*window, "KbdDirView");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F5);
    QVERIFY(commandsEnded(*window));
    QCOMPARE(boxes.texts, QStringList());
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());
    QCOMPARE(QApplication::focusWidget(), tree);
    // Down to the song folder: arrow keys select the node they reach.
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(tree, Qt::Key_Down);
    }
    QCOMPARE(tree->selectionModel()->selectedIndexes().value(0).data().toString(), QString("Song"));
    // Tab into the list marks its first row without choosing it: Delete deletes nothing.
    auto* list = window->findChild<QListView*>("KbdFileView");
    QTest::keyClick(tree, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), list);
    QCOMPARE(list->currentIndex().data().toString(), QString("Sunrise "));
    const QJsonObject before = rig_->keyboard.memory().toJson();
    rig_->clearTraffic();
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(commandsEnded(*window));
    QCOMPARE(boxes.texts, QStringList{"Not select a data"});
    QCOMPARE(rig_->keyboard.memory().toJson(), before);
    QVERIFY(rig_->fromProgram().empty());
    // Right and back (the list shows large icons, side by side): the row the arrows reached is
    // chosen, and Delete removes that song.
    // The error box gave the window back its focus where it was.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QCOMPARE(QApplication::focusWidget(), list);
    QTest::keyClick(list, Qt::Key_Right);
    QTest::keyClick(list, Qt::Key_Left);
    QTest::keyClick(list, Qt::Key_Delete);
    QVERIFY(commandsEnded(*window));
    QCOMPARE(boxes.texts, QStringList{"Not select a data"});
    QVERIFY(rig_->keyboard.memory().data({DataType::Song, 0, 0}).empty());
    QCOMPARE(QApplication::focusWidget(), list);
}

void TestPcLinkForm::rightClickChoosesWhatTheMenuActsOn() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QTreeView* tree = view(*window, "KbdDirView");
    const auto rightClick = [](QAbstractItemView* on, QPoint at) {
        QContextMenuEvent request(QContextMenuEvent::Mouse, at, on->viewport()->mapToGlobal(at));
        QApplication::sendEvent(on->viewport(), &request);
    };
    const auto openMenu = [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu != nullptr && menu->isVisible() ? menu : nullptr;
    };
    // The tree: the node under the pointer is the one whose properties the menu shows.
    const QModelIndex songRhythm = tree->model()->index(3, 0, tree->model()->index(0, 0));
    QCOMPARE(songRhythm.data().toString(), QString("Song Rhythm:\\"));
    QVERIFY(tree->currentIndex() != songRhythm);
    rightClick(tree, tree->visualRect(songRhythm).center());
    QMenu* treeMenu = openMenu();
    QVERIFY(treeMenu != nullptr);
    QCOMPARE(tree->selectionModel()->selectedIndexes(), QModelIndexList{songRhythm});
    QString shown;
    onNextModal([&](QWidget* modal) {
        shown = modal->findChild<QLabel*>("DrvNameLbl")->text();
        static_cast<QDialog*>(modal)->reject();
    });
    treeMenu->actions().first()->trigger();
    treeMenu->close();
    QCOMPARE(shown, QString("Song Rhythm:"));
    // The list: a right-click chooses the row; on empty space nothing stays chosen. The menu is
    // the same one each time, with all its items (a screen reader reads it again).
    selectNode(*window, {"Tone:\\"});
    auto* list = window->findChild<QListView*>("KbdFileView");
    QMenu* first = nullptr;
    for (int row : {2, 4}) {
        rightClick(list, list->visualRect(list->model()->index(row, 0)).center());
        QMenu* menu = openMenu();
        QVERIFY(menu != nullptr);
        first = first ? first : menu;
        QCOMPARE(menu, first);
        // Import, Delete, separator, Tags, Versions, Properties
        QCOMPARE(menu->actions().size(), 6);
        menu->close();
        QCOMPARE(list->selectionModel()->selectedRows(),
                 QModelIndexList{list->model()->index(row, 0)});
    }
    rightClick(list, list->viewport()->rect().bottomRight() - QPoint(2, 2));
    QVERIFY(openMenu() != nullptr);
    openMenu()->close();
    QVERIFY(list->selectionModel()->selectedIndexes().isEmpty());
}

void TestPcLinkForm::statusStaysReadableWhileThePointerRestsOnTheButton() {
    rig_->keyboard.setTiming({true, {}});  // paced: the listing takes a while
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QWidget* button = nullptr;
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        button = button ? button : bar->widgetForAction(action(*window, "ConnectAction"));
    }
    QVERIFY(button != nullptr);
    auto* status = window->findChild<QLabel*>("StatusBar");
    auto* bar = window->findChild<QProgressBar*>("ProgressBar");
    // The pointer comes to rest on the button, as it does when the user clicks it.
    QEnterEvent enter(QPointF(4, 4), button->mapTo(window.get(), QPointF(4, 4)),
                      button->mapToGlobal(QPointF(4, 4)));
    QApplication::sendEvent(button, &enter);
    QStringList seen;
    QTimer::singleShot(150, [&] {
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(status);
        seen << status->text() << reader->text(QAccessible::Name)
             << QString::number(status->isVisible()) << QString::number(bar->isVisible())
             << window->statusBar()->currentMessage();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(commandsEnded(*window));
    QCOMPARE(seen, (QStringList{"Get list...", "Get list...", "1", "1", ""}));
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());
}

void TestPcLinkForm::noStoredFolderSelectsNothing() {
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home_->filePath("nvbman.ini"), QSettings::IniFormat));
        store.save({rig_->inputNumber(), rig_->outputNumber(), QString(), {}, {}});
    }
    auto window = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("nvbman.ini")));
    window->start();
    window->show();
    QTreeView* tree = view(*window, "LocalDirView");
    auto* files = window->findChild<QListView*>("LocalFileView");
    QVERIFY(tree->selectionModel()->selectedIndexes().isEmpty());
    // Focus marks a node current, which chooses no folder.
    tree->setFocus();
    QApplication::processEvents();
    QVERIFY(tree->selectionModel()->selectedIndexes().isEmpty());
    QCOMPARE(files->model()->rowCount(), 0);
}

void TestPcLinkForm::oneProgramAtATimeOnAKeyboard() {
    // The built-in keyboard: the device other programs of the user reach too (its memory file
    // is theirs as well). Its lock lives in this test's own runtime folder.
    qputenv("XDG_RUNTIME_DIR", home_->path().toLocal8Bit());
    kbdsim::BuiltInKeyboard builtIn(home_->filePath("builtin-keyboard.json"));
    auto& service = platform::MidiService::instance();
    const QString name = kbdsim::BuiltInKeyboard::kDeviceName;
    auto window = startedWindow(int(service.inputDevices().lastIndexOf(name)),
                                int(service.outputDevices().lastIndexOf(name)));
    const int output = int(service.outputDevices().lastIndexOf(name));
    const QString busy =
        platform::errorText({platform::ErrorCode::KeyboardBusy, {name}}, MsgStr().isJapanese());
    MessageBoxes boxes;
    {
        // Another program holds the keyboard: the window says so and changes nothing.
        platform::KeyboardSession other(output);
        window->ConnectActionExecute();
        QVERIFY(commandsEnded(*window));
        QCOMPARE(boxes.texts, QStringList{busy});
        QVERIFY(!EkKbdDrv::instance(mls850::kModel).isConnected());
    }
    // While the window lists, another program is kept off.
    QString refused;
    QTimer::singleShot(150, [&] {
        try {
            platform::KeyboardSession other(output);
        } catch (const platform::SystemError& e) {
            refused = QString::fromStdString(e.what());
        }
    });
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    QCOMPARE(refused, busy);
    QCOMPARE(boxes.texts, QStringList{busy});
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestPcLinkForm::secondCopyEndsAtOnce() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", home_->path());  // a lock of this test's own
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(NVBMAN_PATH);
    QVERIFY(first.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->filePath("NvbMan.lock")), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->filePath("NvbMan.socket")), 10000);
    // The second start brings the running window forward and ends, quietly.
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(NVBMAN_PATH);
    QVERIFY(second.waitForFinished(10000));
    QCOMPARE(second.exitCode(), 0);
    QVERIFY(second.readAllStandardOutput().isEmpty());
    QVERIFY(second.readAllStandardError().isEmpty());
    QCOMPARE(first.state(), QProcess::Running);
    // A window that does not answer (stopped) still keeps a second one out, which says so.
    ::kill(pid_t(first.processId()), SIGSTOP);
    second.start(NVBMAN_PATH);
    QVERIFY(second.waitForFinished(10000));
    ::kill(pid_t(first.processId()), SIGCONT);
    QCOMPARE(second.exitCode(), 1);
    QVERIFY(second.readAllStandardError().startsWith(
        "nvbman: a window of NvbMan already runs for this user, and it did not answer"));
    first.kill();
    first.waitForFinished();
    // A lock left by a copy that died is no obstacle to the next start.
    QProcess third;
    third.setProcessEnvironment(env);
    third.start(NVBMAN_PATH);
    QVERIFY(!third.waitForFinished(1500));
    third.kill();
    third.waitForFinished();
}

void TestPcLinkForm::aPoliteKillEndsTheWindowAsExitDoes_data() {
    QTest::addColumn<bool>("firstStart");  // the Preference dialog of a first start is open
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM to the window") << false << SIGTERM;
    QTest::newRow("SIGHUP to the window") << false << SIGHUP;
    QTest::newRow("SIGTERM during the first start's dialog") << true << SIGTERM;
}

// A session manager's or a user's polite kill ends the window the way File > Exit does: its
// settings and layout written, status 0; one that comes during the first start's dialog ends
// the start (the main loop never starts to wait for nobody).
void TestPcLinkForm::aPoliteKillEndsTheWindowAsExitDoes() {
    QFETCH(bool, firstStart);
    QFETCH(int, signal);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", home_->path());
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    const QString settingsFile = home_->filePath("config/Velta/NvbMan.conf");
    if (!firstStart) {
        const QString builtIn = kbdsim::BuiltInKeyboard::kDeviceName;
        platform::SettingsStore(settingsFile, QSettings::NativeFormat)
            .save({0, 0, home_->path(), builtIn, builtIn});
    }
    QProcess window;
    window.setProcessEnvironment(env);
    window.start(NVBMAN_PATH);
    QVERIFY(window.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home_->filePath("NvbMan.socket")), 10000);
    if (!firstStart) {
        // A second start hands over to the first once the first's main loop answers.
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(NVBMAN_PATH);
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
    }
    ::kill(pid_t(window.processId()), signal);
    QVERIFY(window.waitForFinished(30000));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 0);
    const QByteArray errors = window.readAllStandardError();
    QVERIFY2(!errors.contains("QThread"), errors.constData());
    QCOMPARE(QSettings(settingsFile, QSettings::NativeFormat).contains("Window/Geometry"),
             !firstStart);
}

void TestPcLinkForm::fileHandedToTheRunningWindow() {
    // This process is the running window: it holds the lock and listens, as nvbman does.
    qputenv("XDG_RUNTIME_DIR", home_->path().toLocal8Bit());
    platform::FileLock lock(home_->filePath("NvbMan.lock"));
    QCOMPARE(lock.tryLock(), platform::FileLock::State::Locked);
    WindowHandOver handOver;
    QString error;
    QVERIFY2(handOver.listen(&error), qPrintable(error));
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    connect(&handOver, &WindowHandOver::handedOver, window.get(), &TPcLinkForm::showFile);
    QVERIFY(QDir(home_->path()).mkpath("songs/old"));
    const QString file = home_->filePath("songs/old/SNG_Sunrise .nvb");
    QFile item(file);
    QVERIFY(item.open(QIODevice::WriteOnly));
    item.close();

    // "Open With" in the file manager: a second nvbman with the file hands it over and ends;
    // the window shows the file's folder with the file selected.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", home_->path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess second;
    second.setProcessEnvironment(env);
    second.setWorkingDirectory(home_->filePath("songs"));
    second.start(NVBMAN_PATH, {"old/SNG_Sunrise .nvb"});  // relative to where it started
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
    auto* dirs = window->findChild<QTreeView*>("LocalDirView");
    auto* files = window->findChild<QListView*>("LocalFileView");
    QTRY_COMPARE(dirs->currentIndex().data().toString(), QString("old"));
    QCOMPARE(files->selectionModel()->selectedRows().value(0).data().toString(),
             QString("SNG_Sunrise .nvb"));

    // Files that are gone, handed over one after another while the first box is open: each
    // start ends at once, and one box says them all. Answering it leaves the window working
    // (the box once ran inside the connection's handler, whose socket was deleted under it).
    QStringList gone;
    for (int i = 0; i < 3; ++i) {
        gone << "\"" + home_->filePath(QString("gone-%1.nvb").arg(i)) + "\" does not exist.";
        QProcess start;
        start.setProcessEnvironment(env);
        start.start(NVBMAN_PATH, {home_->filePath(QString("gone-%1.nvb").arg(i))});
        QTRY_COMPARE_WITH_TIMEOUT(start.state(), QProcess::NotRunning, 10000);
        QCOMPARE(start.exitCode(), 0);
    }
    QTRY_VERIFY(QApplication::activeModalWidget() != nullptr);
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    QTRY_COMPARE(box->text(), gone.join('\n'));
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
    second.start(NVBMAN_PATH, {"old"});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);

    // A connection that says nothing is dropped after a few seconds, and no number of them
    // keeps a real start out.
    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 40; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(WindowHandOver::socketPath());
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        std::all_of(
            idle.begin(), idle.end(),
            [](const auto& socket) { return socket->state() == QLocalSocket::UnconnectedState; }),
        15000);
    second.start(NVBMAN_PATH, {home_->filePath("songs")});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QCOMPARE(second.exitCode(), 0);
    QTRY_COMPARE(dirs->currentIndex().data().toString(), QString("songs"));

    // Hundreds of connections held open that say nothing, far more than the window keeps:
    // a real start is answered all the same, while they are still there.
    idle.clear();
    constexpr int kHeldOpen = 600;
    for (int i = 0; i < kHeldOpen; ++i) {
        idle.push_back(std::make_unique<QLocalSocket>());
        idle.back()->connectToServer(WindowHandOver::socketPath());
    }
    second.start(NVBMAN_PATH, {home_->filePath("songs/old")});
    QTRY_COMPARE_WITH_TIMEOUT(second.state(), QProcess::NotRunning, 10000);
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
    QTRY_COMPARE(dirs->currentIndex().data().toString(), QString("old"));
    qunsetenv("XDG_RUNTIME_DIR");
}

// Three hundred missing files handed over at once: one box, its first ten lines and a count of
// the rest, no taller than the screen; a path with a NUL byte in it is written out whole.
void TestPcLinkForm::manyFailedHandOversFitOneBoxOnTheScreen() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    constexpr int kHandedOver = 300;
    constexpr int kListed = 10;
    const QString oddPath = home_->filePath(QString("odd") + QChar(0) + "name.nvb");
    window->showFile(oddPath);
    for (int i = 1; i < kHandedOver; ++i) {
        window->showFile(home_->filePath(QString("gone-%1.nvb").arg(i)));
    }
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    const QStringList lines = box->text().split('\n');
    QCOMPARE(lines.size(), kListed + 1);
    QCOMPARE(lines.first(),
             QString("\"%1\" does not exist.").arg(home_->filePath("odd\\x00name.nvb")));
    QCOMPARE(lines[kListed - 1],
             QString("\"%1\" does not exist.").arg(home_->filePath("gone-9.nvb")));
    QCOMPARE(lines.last(), QString("... and %1 more").arg(kHandedOver - kListed));
    QVERIFY(box->sizeHint().height() <= window->screen()->availableGeometry().height());
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(QApplication::activeModalWidget() == nullptr);
}

// A file handed over while a command runs is shown once the command has ended.
void TestPcLinkForm::aFileHandedOverDuringACommandIsShownAfterIt() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QVERIFY(QDir(home_->path()).mkpath("songs"));
    QFile item(home_->filePath("songs/SNG_Sunrise .nvb"));
    QVERIFY(item.open(QIODevice::WriteOnly));
    item.close();
    window->ConnectActionExecute();
    window->showFile(item.fileName());
    QVERIFY(commandsEnded(*window));
    auto* dirs = window->findChild<QTreeView*>("LocalDirView");
    auto* files = window->findChild<QListView*>("LocalFileView");
    QTRY_COMPARE(dirs->currentIndex().data().toString(), QString("songs"));
    QCOMPARE(files->selectionModel()->selectedRows().value(0).data().toString(),
             QString("SNG_Sunrise .nvb"));
}

// A change left under way by a program that is gone (its lock held by no one) is said at the
// start, once, with the slot and what undo does; a change still under way is not.
void TestPcLinkForm::aChangeCutShortIsSaidOnceAtTheStart() {
    safety::History history(safety::Store::defaultFolder());
    safety::Change cut;
    cut.action = "send";
    cut.subjects = QStringList{"song:0"};
    cut.steps.push_back({*SlotAddress::parse("song:0"), 0, std::nullopt});
    cut.owner = "gone";
    history.begun(cut);
    safety::Change running = cut;
    running.id = 0;
    running.owner = "still-here";
    QVERIFY(QDir().mkpath(QFileInfo(history.ownerLock(running.owner)).absolutePath()));
    platform::FileLock held(history.ownerLock(running.owner));
    QCOMPARE(held.tryLock(), platform::FileLock::State::Locked);
    history.begun(running);

    MessageBoxes boxes;
    startedWindow(rig_->inputNumber(), rig_->outputNumber())->close();
    QCOMPARE(boxes.texts.size(), 1);
    QCOMPARE(boxes.texts.first(),
             QString("The change \"Send to song:0\" was cut short (NvbMan ended during it): "
                     "song:0 may hold the old item, the new one or neither. Edit > Undo, or "
                     "nvbman-cli undo, empties it again."));
    startedWindow(rig_->inputNumber(), rig_->outputNumber())->close();
    QCOMPARE(boxes.texts.size(), 1);
}

// Closing (the window manager's close, Alt+F4, File > Exit) while a command runs asks first:
// Cancel lets the command go on and keeps the window; Stop and Close stops the command at its
// next message and closes the window once it has ended.
void TestPcLinkForm::closingDuringACommandAsksToStopIt() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    // Each answer takes 30 ms: a listing lasts seconds.
    rig_->keyboard.setTiming({false, std::chrono::milliseconds(30)});
    const auto answerWith = [](QMessageBox::ButtonRole role, QString* asked) {
        onNextModal([role, asked](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            *asked = box != nullptr ? box->text() : modal->objectName();
            for (QAbstractButton* button :
                 box != nullptr ? box->buttons() : QList<QAbstractButton*>{}) {
                if (box->buttonRole(button) == role) {
                    button->click();
                    return;
                }
            }
            modal->close();
        });
    };
    QString asked;
    answerWith(QMessageBox::RejectRole, &asked);
    window->ConnectActionExecute();
    QVERIFY(!window->close());
    QCOMPARE(asked, QString("A command is running. Stop it and close?"));
    QVERIFY(commandsEnded(*window));
    QVERIFY(window->isVisible());
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());  // the listing went on to its end

    asked.clear();
    EkKbdDrv::instance(mls850::kModel).disconnect();
    answerWith(QMessageBox::AcceptRole, &asked);
    window->ConnectActionExecute();
    QVERIFY(!window->close());
    QCOMPARE(asked, QString("A command is running. Stop it and close?"));
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(window->frame().isIdle());
    QVERIFY(!EkKbdDrv::instance(mls850::kModel).isConnected());  // stopped before its end
}

namespace {

// A keyboard on a thread of its own, as one on a cable answers beside the program: the window's
// thread may wait for the window's keyboard thread (the window going away does) without the
// keyboard needing either of them.
class KeyboardBeside {
public:
    explicit KeyboardBeside(kbdsim::KeyboardMemory memory) {
        thread_.start();
        context_->moveToThread(&thread_);
        platform::callOn(context_.get(), [&] {
            rig_ = std::make_unique<KeyboardRig>(std::move(memory));
            rig_->keyboard.setTiming({true, {}});  // paced: a song takes seconds
        });
    }
    ~KeyboardBeside() {
        platform::callOn(context_.get(), [&] { rig_.reset(); });
        thread_.quit();
        thread_.wait();
    }
    int inputNumber() const { return rig_->inputNumber(); }
    int outputNumber() const { return rig_->outputNumber(); }
    std::vector<std::uint16_t> data(const kbdsim::SlotRef& slot) const {
        std::vector<std::uint16_t> words;
        platform::callOn(context_.get(), [&] { words = rig_->keyboard.memory().data(slot); });
        return words;
    }
    void setData(const kbdsim::SlotRef& slot, std::vector<std::uint16_t> words) {
        platform::callOn(context_.get(), [&] { rig_->keyboard.memory().setData(slot, words); });
    }

private:
    QThread thread_;
    std::unique_ptr<QObject> context_ = std::make_unique<QObject>();
    std::unique_ptr<KeyboardRig> rig_;
};

}  // namespace

void TestPcLinkForm::quittingDuringACommandStopsItTheSafeWay_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("send of a song") << "send";
    QTest::newRow("backup") << "backup";
    QTest::newRow("restore") << "restore";
}

// The program ending by another path than the close question (a polite kill) while a command
// runs: the command is stopped the safe way, nothing is shown, the window goes without waiting
// on itself, and what the command replaced is kept: the next start's Undo puts it back, byte
// for byte. (QCoreApplication::quit() asks the window to close: the question, tested above.)
void TestPcLinkForm::quittingDuringACommandStopsItTheSafeWay() {
    QFETCH(QString, command);
    // Both songs and the one that replaces the old fit the memory together.
    constexpr int kOldSong = 4000;
    constexpr int kNewSong = 8000;
    const kbdsim::SlotRef song0{DataType::Song, 0, 0};
    KeyboardBeside keyboard(twoSongsNoRhythms(kOldSong, kNewSong));
    auto window = startedWindow(keyboard.inputNumber(), keyboard.outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    const QString backup = home_->filePath("backup");
    QVERIFY(QDir().mkpath(backup));
    auto* files = window->findChild<QListView*>("KbdFileView");
    selectNode(*window, {"Song Rhythm:\\", mls850::kSongFolder});
    if (command == "send") {
        // song:1 imported, to be sent onto song:0
        files->setCurrentIndex(files->model()->index(1, 0));
        window->ReceiveActionExecute();
        QVERIFY(commandsEnded(*window));
        const QStringList imported = QDir(home_->path()).entryList({"SNG_*.nvb"}, QDir::Files);
        QCOMPARE(imported.size(), 1);
        window->showFile(home_->filePath(imported.first()));
        files->setCurrentIndex(files->model()->index(0, 0));
    } else if (command == "restore") {
        window->jobs().backUp(backup);
        QVERIFY(commandsEnded(*window));
        // The backup holds the old song; the keyboard gets a bigger one since.
        keyboard.setData(song0, std::vector<std::uint16_t>(kOldSong, 0x4321));
    }
    const std::vector<std::uint16_t> before = keyboard.data(song0);
    MessageBoxes boxes(QMessageBox::Yes);  // the restore's plan
    if (command == "send") {
        window->SendActionExecute();
    } else if (command == "backup") {
        window->jobs().backUp(backup);
    } else {
        window->jobs().restore(backup);
    }
    // Under way: items are moving.
    auto* bar = window->findChild<QProgressBar*>("ProgressBar");
    QTRY_VERIFY_WITH_TIMEOUT(window->frame().isBusy() && bar->value() > 0, 60000);
    const QStringList boxesBefore = boxes.texts;
    {
        // As the program ends on a polite kill: the signal ends the main loop, then what main
        // holds goes (see app/nvbman.cpp).
        const platform::QuitOnSignals quitOnSignals;
        ::kill(::getpid(), SIGTERM);
        QCoreApplication::exec();
        QVERIFY(quitOnSignals.quitRequested());
    }
    window.reset();
    // Nothing was shown while the program went.
    QVERIFY2(boxes.texts == boxesBefore, qPrintable(boxes.texts.join('\n')));

    if (command == "backup") {
        QCOMPARE(keyboard.data(song0), before);
        QVERIFY(!backup::holdsBackup(backup));  // no half a backup that looks whole
        return;
    }
    // Started again: the stopped change is the one Undo takes back.
    window = startedWindow(keyboard.inputNumber(), keyboard.outputNumber());
    window->edits().takeBackLatest(true);
    QVERIFY(commandsEnded(*window));
    QCOMPARE(keyboard.data(song0), before);
}

namespace {

// The home folder the killed window of sendingUntilKilled works in, given by its parent.
constexpr char kKilledHomeVariable[] = "NVBMAN_TEST_KILLED_HOME";

// A window on the built-in keyboard as nvbman starts one: the keyboard on the window's
// keyboard thread, its memory kept in the data folder's file after every change.
class WindowOnTheBuiltInKeyboard {
public:
    explicit WindowOnTheBuiltInKeyboard(const QString& home) {
        const QString builtIn = kbdsim::BuiltInKeyboard::kDeviceName;
        const QString settings = QDir(home).filePath("nvbman.ini");
        platform::SettingsStore(std::make_unique<QSettings>(settings, QSettings::IniFormat))
            .save({0, 0, home, builtIn, builtIn});
        window_ = std::make_unique<TPcLinkForm>(storeAt(settings));
        window_->keyboardThread().call(
            [this] { keyboard_ = std::make_unique<kbdsim::BuiltInKeyboard>(); });
        window_->start();
        window_->show();
    }
    ~WindowOnTheBuiltInKeyboard() {
        window_->keyboardThread().call([this] { keyboard_.reset(); });
    }
    TPcLinkForm& window() { return *window_; }

private:
    std::unique_ptr<TPcLinkForm> window_;
    std::unique_ptr<kbdsim::BuiltInKeyboard> keyboard_;
};

}  // namespace

// The window killed (SIGKILL: nothing of it runs any more) while it sends a song over another
// on the built-in keyboard: its next start says the change was cut short, once, and Undo puts
// the keyboard back as it was, byte for byte, whatever of the send the keyboard had kept.
void TestPcLinkForm::aWindowKilledDuringASendIsSaidAndUndoneAtItsNextStart() {
    const QString memoryFile = kbdsim::BuiltInKeyboard::defaultStatePath();
    QVERIFY(QDir().mkpath(QFileInfo(memoryFile).absolutePath()));
    constexpr int kOldSong = 4000;
    constexpr int kNewSong = 8000;  // song:1, sent over song:0: both fit the memory
    const kbdsim::KeyboardMemory before = twoSongsNoRhythms(kOldSong, kNewSong);
    before.save(memoryFile);

    QProcess killed;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kKilledHomeVariable, home_->path());
    killed.setProcessEnvironment(env);
    killed.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    killed.start(QCoreApplication::applicationFilePath(), {"sendingUntilKilled"});
    QVERIFY(killed.waitForStarted());
    // Under way: the change's owner holds its lock in the history from its first intent on.
    const QDir underWay(safety::Store::defaultFolder() + "/under-way");
    QTRY_VERIFY_WITH_TIMEOUT(!underWay.entryList({"*.lock"}, QDir::Files).isEmpty() ||
                                 killed.state() == QProcess::NotRunning,
                             120000);
    QCOMPARE(killed.state(), QProcess::Running);
    ::kill(pid_t(killed.processId()), SIGKILL);
    QVERIFY(killed.waitForFinished(-1));
    QCOMPARE(killed.exitStatus(), QProcess::CrashExit);

    MessageBoxes boxes;
    {
        WindowOnTheBuiltInKeyboard again(home_->path());
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts.first().startsWith(
                     "The change \"Send to song:0\" was cut short (NvbMan ended during it)"),
                 qPrintable(boxes.texts.first()));
        again.window().ConnectActionExecute();
        QVERIFY(commandsEnded(again.window()));
        again.window().edits().takeBackLatest(true);
        QVERIFY(commandsEnded(again.window()));
    }
    QCOMPARE(kbdsim::KeyboardMemory::load(memoryFile).toJson(), before.toJson());
    // Said once: the next start says nothing more of it.
    WindowOnTheBuiltInKeyboard third(home_->path());
    QCOMPARE(boxes.texts.size(), 1);
}

void TestPcLinkForm::sendingUntilKilled() {
    const QString home = qEnvironmentVariable(kKilledHomeVariable);
    if (home.isEmpty()) {
        QSKIP("run by aWindowKilledDuringASendIsSaidAndUndoneAtItsNextStart");
    }
    qputenv("XDG_DATA_HOME", QDir(home).filePath("data").toLocal8Bit());
    MessageBoxes boxes(QMessageBox::Yes);
    WindowOnTheBuiltInKeyboard running(home);
    TPcLinkForm& window = running.window();
    window.ConnectActionExecute();
    QVERIFY(commandsEnded(window));
    // song:1 imported, then sent onto song:0.
    auto* files = window.findChild<QListView*>("KbdFileView");
    selectNode(window, {"Song Rhythm:\\", mls850::kSongFolder});
    files->setCurrentIndex(files->model()->index(1, 0));
    window.ReceiveActionExecute();
    QVERIFY(commandsEnded(window));
    const QStringList imported = QDir(home).entryList({"SNG_*.nvb"}, QDir::Files);
    QCOMPARE(imported.size(), 1);
    window.showFile(QDir(home).filePath(imported.first()));
    files->setCurrentIndex(files->model()->index(0, 0));
    window.SendActionExecute();
    // Until the parent kills this process; a send that ended first fails the parent's check.
    QVERIFY(commandsEnded(window));
    QCoreApplication::exec();
}

namespace {

// What a user sees of the window's layout, one line per part, so that a difference names it.
QStringList layoutOf(TPcLinkForm& window) {
    QStringList parts{QString("window %1x%2 at %3,%4")
                          .arg(window.width())
                          .arg(window.height())
                          .arg(window.x())
                          .arg(window.y())};
    for (const char* name : {"Panes", "LocalSplit", "KbdSplit"}) {
        QStringList sizes;
        for (const int size : window.findChild<QSplitter*>(name)->sizes()) {
            sizes << QString::number(size);
        }
        parts << QString("%1 %2").arg(name, sizes.join(' '));
    }
    for (const char* pane : {"Local", "Kbd"}) {
        const auto* list = window.findChild<QListView*>(QString(pane) + "FileView");
        const auto* details = window.findChild<QTreeView*>(QString(pane) + "FileDetails");
        QStringList widths;
        for (int column = 0; column < details->header()->count(); ++column) {
            widths << QString::number(details->header()->sectionSize(column));
        }
        parts << QString("%1 details %2, icons %3, list %4, columns %5")
                     .arg(pane)
                     .arg(details->isVisibleTo(&window))
                     .arg(list->viewMode() == QListView::IconMode)
                     .arg(list->flow() == QListView::TopToBottom)
                     .arg(widths.join(' '));
    }
    auto* log = window.findChild<QDockWidget*>("MidiLogDock");
    parts << QString("MIDI log shown %1 in area %2")
                 .arg(log->isVisibleTo(&window))
                 .arg(int(window.dockWidgetArea(log)));
    return parts;
}

}  // namespace

void TestPcLinkForm::theLayoutIsKeptAcrossAStartAndADamagedOneIsNotUsed() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    const QStringList firstStart = layoutOf(*window);

    // The user makes it their own: size and place, splitters, the keyboard's details view with
    // a wider name column, the PC pane's list, the MIDI log beside the panes.
    window->setGeometry(40, 50, 720, 560);
    window->findChild<QAction*>("KbdReportBtn")->trigger();
    window->findChild<QAction*>("LocalListBtn")->trigger();
    window->findChild<QTreeView*>("KbdFileDetails")->header()->resizeSection(0, 260);
    auto* log = window->findChild<QDockWidget*>("MidiLogDock");
    window->addDockWidget(Qt::RightDockWidgetArea, log);
    log->show();
    QApplication::processEvents();
    window->findChild<QSplitter*>("Panes")->setSizes({150, 300});
    window->findChild<QSplitter*>("KbdSplit")->setSizes({120, 300});
    QTRY_COMPARE(window->findChild<QSplitter*>("Panes")->sizes().value(0), 150);
    const QStringList changed = layoutOf(*window);
    QVERIFY(changed != firstStart);
    QVERIFY(window->close());
    window.reset();

    window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QTRY_COMPARE(layoutOf(*window), changed);
    QVERIFY(window->close());
    window.reset();

    // Every value damaged (a hand-edited file, another version's): the first start's layout.
    {
        QSettings ini(home_->filePath("nvbman.ini"), QSettings::IniFormat);
        ini.beginGroup("Window");
        const QStringList keys = ini.allKeys();
        QVERIFY(keys.size() >= 9);
        for (const QString& key : keys) {
            ini.setValue(key, key.endsWith("Count") ? QVariant(99) : QVariant("damaged"));
        }
    }
    window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QTRY_COMPARE(layoutOf(*window), firstStart);
}

// A size from a hand-edited settings file (or a larger screen) would make a window of
// gigabytes whose edges are out of reach: it is fitted to the screen before it is shown.
void TestPcLinkForm::aStoredSizeLargerThanTheScreenIsFittedToIt() {
    constexpr int kHuge = 100000;
    QMainWindow huge;
    huge.setGeometry(-kHuge, -kHuge, kHuge, kHuge);
    startedWindow(rig_->inputNumber(), rig_->outputNumber())->close();
    {
        QSettings ini(home_->filePath("nvbman.ini"), QSettings::IniFormat);
        ini.setValue("Window/Geometry", huge.saveGeometry());
    }
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    const QRect available = window->screen()->availableGeometry();
    // Its size within the screen's, its corner on it (the platform adds its frame around it).
    QVERIFY2(window->width() <= available.width() && window->height() <= available.height() &&
                 available.contains(window->geometry().topLeft()),
             qPrintable(QString("%1x%2 at %3,%4")
                            .arg(window->width())
                            .arg(window->height())
                            .arg(window->x())
                            .arg(window->y())));
}

// A line the settings' reader cannot parse (binary junk in the window's group) is no failure
// to write them: the close says nothing, and the settings are written whole.
void TestPcLinkForm::junkInTheSettingsIsNoFailureToWriteThem() {
    startedWindow(rig_->inputNumber(), rig_->outputNumber())->close();
    {
        QFile ini(home_->filePath("nvbman.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write(QByteArray("[Window]\n\x01\x02\xff\xfe junk\0\x07\n", 21));
    }
    MessageBoxes boxes;
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    QVERIFY(window->close());
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QSettings stored(home_->filePath("nvbman.ini"), QSettings::IniFormat);
    QCOMPARE(stored.value("MIDI/InputDevice").toInt(), rig_->inputNumber());
}

void TestPcLinkForm::aSettingsFileThatIsNoFileIsNeitherWaitedOnNorReplaced_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to a character device") << "device";
    QTest::newRow("a link to a folder") << "folder";
}

// Opening a FIFO for reading waits for a writer, for ever; writing the settings through a link
// to a device would replace the device with a regular file. Neither is opened: the window says
// what is wrong with the file, starts as a first start, and leaves the file as it was.
void TestPcLinkForm::aSettingsFileThatIsNoFileIsNeitherWaitedOnNorReplaced() {
    QFETCH(QString, kind);
    const QString path = home_->filePath("odd.ini");
    const QString target = home_->filePath("target");
    if (kind == "fifo") {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), S_IRUSR | S_IWUSR), 0);
    } else {
        if (kind == "device") {
            // The same device as /dev/null, as a node of the test's own.
            constexpr unsigned kMemoryDevices = 1;
            constexpr unsigned kNull = 3;
            if (mknod(QFile::encodeName(target).constData(), S_IFCHR | S_IRUSR | S_IWUSR,
                      makedev(kMemoryDevices, kNull)) != 0) {
                QSKIP("no device node can be made here (it takes root)");
            }
        } else {
            QVERIFY(QDir().mkdir(target));
        }
        QVERIFY(QFile::link(target, path));
    }
    struct stat before {};
    struct stat targetBefore {};
    QCOMPARE(lstat(QFile::encodeName(path).constData(), &before), 0);
    stat(QFile::encodeName(path).constData(), &targetBefore);

    QString warned;
    bool asked = false;
    std::function<void(QWidget*)> answer = [&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            warned = box->text();
            box->button(QMessageBox::Ok)->click();
            onNextModal(answer);
            return;
        }
        asked = modal->windowTitle() == "Preference";
        static_cast<QDialog*>(modal)->reject();
    };
    onNextModal(answer);
    auto window = std::make_unique<TPcLinkForm>(
        std::make_unique<platform::SettingsStore>(path, QSettings::IniFormat));
    window->start();
    QVERIFY(asked);
    QVERIFY2(warned.startsWith(QString("The settings file \"%1\" cannot be used: it is not a "
                                       "regular file.")
                                   .arg(path)),
             qPrintable(warned));
    window->show();
    QVERIFY(window->close());
    window.reset();

    struct stat after {};
    struct stat targetAfter {};
    QCOMPARE(lstat(QFile::encodeName(path).constData(), &after), 0);
    stat(QFile::encodeName(path).constData(), &targetAfter);
    QCOMPARE(after.st_ino, before.st_ino);
    QCOMPARE(after.st_mode, before.st_mode);
    QCOMPARE(targetAfter.st_ino, targetBefore.st_ino);
    QCOMPARE(targetAfter.st_mode, targetBefore.st_mode);
}

namespace {

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The pages of a PDF file: its page objects.
qsizetype pdfPages(const QString& path) {
    QFile document(path);
    if (!document.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray bytes = document.readAll();
    if (!bytes.startsWith("%PDF-")) {
        return -1;
    }
    static const QRegularExpression page(R"(/Type\s*/Page\b(?!s))");
    qsizetype pages = 0;
    for (auto matches = page.globalMatch(QString::fromLatin1(bytes)); matches.hasNext();
         matches.next()) {
        ++pages;
    }
    return pages;
}

// The text of a PDF file as Debian's pdftotext reads it; a null text where it is not installed.
QString pdfText(const QString& path) {
    const QString pdftotext = QStandardPaths::findExecutable("pdftotext");
    if (pdftotext.isEmpty()) {
        return {};
    }
    QProcess text;
    text.start(pdftotext, {"-layout", "-enc", "UTF-8", path, "-"});
    text.waitForFinished(-1);
    return QString::fromUtf8(text.readAllStandardOutput());
}

}  // namespace

// File > Export List... writes every slot of the keyboard once, in its order, as the list shows
// it; a PDF has one page per fifty rows and holds the names; File > Print List... shows the
// same list in Qt's print preview; a file name of another kind is refused, nothing written.
void TestPcLinkForm::theKeyboardsListIsExportedAndPrintedWhole() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    window->ConnectActionExecute();
    QVERIFY(commandsEnded(*window));
    // No command runs: the driver's tree can be read here.
    const auto slots = allSlots(EkKbdDrv::instance(mls850::kModel));

    const QString csv = home_->filePath("list.csv");
    QVERIFY(window->exportList(csv));
    const QList<QStringList> records = csvRecords(fileBytes(csv));
    QCOMPARE(records.value(0), (QStringList{"Slot", "Name", "Type", "Size(byte)", "On PC"}));
    QCOMPARE(records.size(), qsizetype(slots.size()) + 1);
    for (std::size_t i = 0; i < slots.size(); ++i) {
        const auto& [address, where] = slots[i];
        QCOMPARE(records[qsizetype(i) + 1].value(0), address.text());
        QCOMPARE(records[qsizetype(i) + 1].value(3),
                 where.slot->isPresent() ? QString::number(where.slot->size()) : QString());
    }
    QCOMPARE(records[2].mid(0, 4), (QStringList{"tone:1", "Glass EP", "Tone", "60"}));

    const QString pdf = home_->filePath("list.pdf");
    QVERIFY(window->exportList(pdf));
    const qsizetype wanted =
        (qsizetype(slots.size()) + lists::kRowsPerPage - 1) / lists::kRowsPerPage;
    QCOMPARE(pdfPages(pdf), wanted);
    const QString words = pdfText(pdf);
    for (const char* name : {"Glass EP", "Brass Up", "tone:1", "Slot", "On PC"}) {
        QVERIFY2(words.isNull() || words.contains(name),
                 qPrintable(QString(name) + "\n" + words.left(600)));
    }
    // A longer list (a library's finds): a page per fifty rows, every row on one of them,
    // Japanese names as they are.
    lists::ItemList longer;
    longer.title = "曲の一覧";
    longer.headings = QStringList{"File", "Name"};
    constexpr int kRows = 120;
    for (int row = 1; row <= kRows; ++row) {
        longer.rows.push_back({QString("/home/me/曲/%1, live.nvb").arg(row), "ピアノ"});
    }
    const QString longerPdf = home_->filePath("longer.pdf");
    lists::save(longer, lists::Format::Pdf, longerPdf);
    QCOMPARE(pdfPages(longerPdf), qsizetype(3));
    const QString longerWords = pdfText(longerPdf);
    for (const QString& text : {QString("/home/me/曲/1, live.nvb"),
                                QString("/home/me/曲/120, live.nvb"), QString("ピアノ")}) {
        QVERIFY2(longerWords.isNull() || longerWords.contains(text), qPrintable(text));
    }

    MessageBoxes boxes;
    QVERIFY(!window->exportList(home_->filePath("list.txt")));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(!QFile::exists(home_->filePath("list.txt")));

    QString shown;
    int previewPages = 0;
    onNextModal([&](QWidget* modal) {
        shown = modal->windowTitle();
        if (auto* view = modal->findChild<QPrintPreviewWidget*>()) {
            view->updatePreview();
            previewPages = view->pageCount();
        }
        modal->close();
    });
    window->findChild<QAction*>("PrintListAction")->trigger();
    QCOMPARE(shown, QString("Print List"));
    QCOMPARE(previewPages, int(wanted));
}

void TestPcLinkForm::helpOpensTheManualAndAboutNamesTheVersions() {
    auto window = startedWindow(rig_->inputNumber(), rig_->outputNumber());
    PageCatcher browser;
    QDesktopServices::setUrlHandler("file", &browser, "open");
    // F1 wherever the focus is.
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTreeView* tree = view(*window, "KbdDirView");
    tree->setFocus();
    QTest::keyClick(tree, Qt::Key_F1);
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(browser.opened.size(), 1);
    // The manual the build put beside the programs, whole: its pages and pictures.
    const QString page = browser.opened.front().toLocalFile();
    // With nothing to open it (the offscreen platform has no desktop services), what was
    // tried and the address to open by hand.
    QString failure;
    QVERIFY(!help::openManual(&failure));
    QVERIFY2(failure.contains("xdg-open") &&
                 failure.endsWith(": " + QUrl::fromLocalFile(page).toString()),
             qPrintable(failure));
    QVERIFY2(page.endsWith("/share/nvbman/manual/en/index.html"), qPrintable(page));
    QFile manual(page);
    QVERIFY(manual.open(QIODevice::ReadOnly));
    const QByteArray html = manual.readAll();
    for (const QByteArray& link : {QByteArray("../images/window-en.png"),
                                   QByteArray("../style.css"), QByteArray("../ja/index.html")}) {
        QVERIFY2(html.contains("\"" + link + "\""), link.constData());
        QVERIFY2(QFileInfo::exists(QFileInfo(page).dir().filePath(QString::fromUtf8(link))),
                 link.constData());
    }

    QCoreApplication::setApplicationVersion("9.8.7");
    QString about;
    onNextModal([&](QWidget* box) {
        about = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    window->findChild<QAction*>("AboutAction")->trigger();
    // The MIDI systems this machine has (JACK when its test server runs, ALSA where the kernel
    // has a sequencer), as the service names them.
    const QStringList systems = platform::MidiService::instance().systemVersions();
    for (const QString& part :
         {QString("NvbMan 9.8.7"), QString("<td>Qt</td><td>%1</td>").arg(qVersion()),
          QString("<td>RtMidi</td><td>5."),
          "<td>MIDI systems</td><td>" +
              (systems.isEmpty() ? QString("none found") : systems.join("<br>")) + "</td>",
          // The test keyboard lives in this program, on no MIDI system.
          QString("Test MLS-850, inside this program")}) {
        QVERIFY2(about.contains(part), qPrintable(about));
    }
    // A keyboard chosen that is not there now is named so, not as no choice at all.
    QVERIFY(help::aboutText(-1, "Gone Keyboard").contains("Gone Keyboard (not connected)"));
}

QTEST_MAIN(TestPcLinkForm)
#include "tst_pclinkform.moc"
