// The window's transfers on the offscreen platform against the in-process software keyboard and
// real folders: Send and Import with their refusals and what they select afterwards, Properties
// and renaming, drag and drop through the lists' drag-and-drop events, and a whole-keyboard
// backup restored onto an emptied keyboard.

#include <sys/resource.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDropEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <csignal>

#include "backup/keyboardbackup.h"
#include "commands/commandframe.h"
#include "commands/editcommands.h"
#include "commands/keyboardjobs.h"
#include "commands/transfercommands.h"
#include "data/ekdatafile.h"
#include "dialogs/ekdatapropertyform.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "mainform/midilogdock.h"
#include "mainform/pclinkform.h"
#include "panes/kbdpanemodel.h"
#include "panes/localpanemodel.h"
#include "panes/panedragdrop.h"
#include "safety/safetystore.h"
#include "stream/nvbfilestream.h"
#include "support/keyboardrig.h"
#include "support/modal.h"
#include "support/songmemory.h"
#include "support/windowcommands.h"
#include "sysex/sysexrecords.h"
#include "syx/syxdump.h"

using kbdsim::KeyboardMemory;

namespace {

// Stands in for the desktop's file browser: records the folder it was asked to open.
class FileBrowser : public QObject {
    Q_OBJECT
public:
    Q_INVOKABLE void open(const QUrl& url) { opened << url; }
    QList<QUrl> opened;
};

const kbdsim::SlotRef kTone0{DataType::Tone, 0, 0};
const kbdsim::SlotRef kTone1{DataType::Tone, 0, 1};
const kbdsim::SlotRef kTone3{DataType::Tone, 0, 3};
const kbdsim::SlotRef kSong0{DataType::Song, 0, 0};
const kbdsim::SlotRef kSong1{DataType::Song, 0, 1};

std::vector<std::uint16_t> fileWords(const QString& path) {
    EkDataFile item(DataType::NoType);
    NvbFileStream(path, NvbFileStream::OpenRead).read(item);
    return item.words();
}

}  // namespace

class TestWindowTransfers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void sendRefusals_data();
    void sendRefusals();
    void rowsOnlyMarkedCurrentAreNotChosen_data();
    void rowsOnlyMarkedCurrentAreNotChosen();
    void sendFillsTheSlotAndSelectsIt();
    void importWritesReplacesAndSelectsTheFile();
    void changesTheKeyboardDoesNotShowAreMadeAgainOrFail();
    void aSlotChangedSinceTheListIsReadBeforeTheSend();
    void importOfAnUnsafeNameStaysInTheFolder();
    void importThatCannotWriteKeepsTheOldFile();
    void properties_data();
    void properties();
    void dragAndDrop_data();
    void dragAndDrop();
    void dragStartsOnlyFromDataAfterFivePixels_data();
    void dragStartsOnlyFromDataAfterFivePixels();
    void backupRestoredOntoAnEmptiedKeyboard();
    void aRestoreMakesRoomFirstOrIsRefusedBeforeTheQuestion();
    void replacedSongsComeBack_data();
    void replacedSongsComeBack();
    void explorerAndActivationWorkOnTheSelectedFolder();
    void backupsComparedSendsCheckedRetriesNoted();
    void midiLogShowsEveryMessageAndSavesIt();
    void midiLogNeverGrowsTheAccessibilityTree();
    void severalRowsInOneCommand();
    void dumpsExportedListedAndSent();
    void filesFromOtherPrograms_data();
    void filesFromOtherPrograms();
    void editMenuOrganisesTheKeyboardAndUndoes();

private:
    void startWindow(KeyboardMemory memory = KeyboardMemory::demo());
    QTreeView* tree(const char* name) { return window_->findChild<QTreeView*>(name); }
    QListView* list(const char* name) { return window_->findChild<QListView*>(name); }
    LocalListModel* localList() {
        return static_cast<LocalListModel*>(list("LocalFileView")->model());
    }
    void selectKbd(const QStringList& nodes, int row);
    void selectLocal(const QString& name);
    // Adds these rows of the list to its selection, as Ctrl+click does.
    void addRows(const char* listName, std::initializer_list<int> rows);
    // Drops `data` onto the row named `target` of the list (empty: its empty space); returns
    // whether the drop was taken, after its command has run.
    bool dropOnto(const char* listName, const QString& target, QMimeData* data);
    // Imports a slot through the window into the home folder; returns the file's path.
    QString importSlot(const QStringList& nodes, int row);
    int currentKbdRow() { return list("KbdFileView")->currentIndex().row(); }
    QString currentLocalName() { return list("LocalFileView")->currentIndex().data().toString(); }
    QJsonObject keyboard() { return rig_->keyboard.memory().toJson(); }

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<KeyboardRig> rig_;
    std::unique_ptr<TPcLinkForm> window_;
};

void TestWindowTransfers::init() {
    home_ = std::make_unique<QTemporaryDir>();
    // The kept copies of this test only.
    qputenv("XDG_DATA_HOME", home_->filePath("data").toLocal8Bit());
    EkKbdDrv::instance(mls850::kModel).disconnect();
}

void TestWindowTransfers::cleanup() {
    window_.reset();
    rig_.reset();
}

void TestWindowTransfers::startWindow(KeyboardMemory memory) {
    rig_ = std::make_unique<KeyboardRig>(std::move(memory));
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home_->filePath("nvbman.ini"), QSettings::IniFormat));
        store.save({rig_->inputNumber(), rig_->outputNumber(), home_->path(), {}, {}});
    }
    window_ = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("nvbman.ini")));
    window_->start();
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QCOMPARE(tree("LocalDirView")->currentIndex().data().toString(),
             QFileInfo(home_->path()).fileName());
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());
}

void TestWindowTransfers::selectKbd(const QStringList& nodes, int row) {
    QTreeView* dirs = tree("KbdDirView");
    QModelIndex node = dirs->model()->index(0, 0);
    for (const QString& text : nodes) {
        const QModelIndexList found = dirs->model()->match(
            dirs->model()->index(0, 0, node), Qt::DisplayRole, text, 1, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(text));
        node = found.first();
    }
    dirs->setCurrentIndex(node);
    QListView* files = list("KbdFileView");
    files->setCurrentIndex(row < 0 ? QModelIndex() : files->model()->index(row, 0));
}

void TestWindowTransfers::addRows(const char* listName, std::initializer_list<int> rows) {
    QListView* view = list(listName);
    for (int row : rows) {
        view->selectionModel()->select(view->model()->index(row, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

bool TestWindowTransfers::dropOnto(const char* listName, const QString& target, QMimeData* data) {
    QListView* view = list(listName);
    QModelIndex row;
    if (!target.isEmpty()) {
        const QModelIndexList found = view->model()->match(
            view->model()->index(0, 0), Qt::DisplayRole, target, 1, Qt::MatchExactly);
        row = found.value(0);
    }
    view->scrollTo(row);
    QApplication::processEvents();
    const QPoint at = row.isValid()
                          ? view->visualRect(row).center()
                          : QPoint(view->viewport()->width() - 2, view->viewport()->height() - 2);
    QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &drop);
    // The drop posted its command, to run after the drag: run it now, to its end.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    [&] { QVERIFY(commandsEnded(*window_)); }();
    return enter.isAccepted() && drop.isAccepted();
}

void TestWindowTransfers::selectLocal(const QString& name) {
    list("LocalFileView")->setCurrentIndex(localList()->rowNamed(name));
}

QString TestWindowTransfers::importSlot(const QStringList& nodes, int row) {
    selectKbd(nodes, row);
    window_->ReceiveActionExecute();
    [&] { QVERIFY(commandsEnded(*window_)); }();
    return home_->filePath(currentLocalName());
}

void TestWindowTransfers::sendRefusals_data() {
    QTest::addColumn<QString>("file");  // "tone", "song", "text" or none
    QTest::addColumn<QStringList>("nodes");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("text");
    QTest::newRow("no file") << "" << QStringList{"Tone:\\"} << 3 << "Not select a source data";
    QTest::newRow("no slot") << "tone" << QStringList{"Tone:\\"} << -1
                             << "Not select a distination data";
    QTest::newRow("folder row") << "tone" << QStringList{"Song Rhythm:\\"} << 0 << "Not acceptable";
    QTest::newRow("not a .nvb file") << "text" << QStringList{"Tone:\\"} << 0 << "No NVB file";
    QTest::newRow("tone onto DSP")
        << "tone" << QStringList{"DSP:\\"} << 0 << "Data type is different";
    QTest::newRow("memory full") << "song" << QStringList{"Song Rhythm:\\", "Song"} << 1
                                 << "Not enough memory";
}

void TestWindowTransfers::sendRefusals() {
    QFETCH(QString, file);
    QFETCH(QStringList, nodes);
    QFETCH(int, row);
    QFETCH(QString, text);
    // Rhythm 1 takes all but 1,000 bytes of the song and rhythm memory.
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData({DataType::Rhythm, 0, 1},
                   std::vector<std::uint16_t>((memory.freeMemory() - 1000) / 2, 0x0101));
    startWindow(memory);
    QString name;
    if (file == "tone") {
        name = QFileInfo(importSlot({"Tone:\\"}, 0)).fileName();
    } else if (file == "song") {
        name = QFileInfo(importSlot({"Song Rhythm:\\", "Song"}, 0)).fileName();
    } else if (file == "text") {
        QFile plain(home_->filePath("notes.txt"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write(QByteArray(200, 'x'));
        name = "notes.txt";
    }
    window_->LocalUpdateActionExecute();
    list("LocalFileView")->setCurrentIndex(localList()->rowNamed(name));
    selectKbd(nodes, row);
    const QJsonObject before = keyboard();
    rig_->clearTraffic();
    MessageBoxes boxes;
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts, QStringList{text});
    QCOMPARE(keyboard(), before);
    QCOMPARE(window_->findChild<QLabel*>("StatusBar")->text(), QString());
}

void TestWindowTransfers::rowsOnlyMarkedCurrentAreNotChosen_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("unchosen");  // the list whose row is current but not selected
    QTest::addColumn<QString>("text");
    QTest::newRow("send, PC file") << "send"
                                   << "LocalFileView"
                                   << "Not select a source data";
    QTest::newRow("send, keyboard slot") << "send"
                                         << "KbdFileView"
                                         << "Not select a distination data";
    QTest::newRow("import, keyboard slot") << "import"
                                           << "KbdFileView"
                                           << "Not select a source data";
    QTest::newRow("delete, song") << "delete"
                                  << "KbdFileView"
                                  << "Not select a data";
}

void TestWindowTransfers::rowsOnlyMarkedCurrentAreNotChosen() {
    QFETCH(QString, command);
    QFETCH(QString, unchosen);
    QFETCH(QString, text);
    startWindow();
    const QString file = QFileInfo(importSlot({"Tone:\\"}, 3)).fileName();
    const QStringList slot =
        command == "delete" ? QStringList{"Song Rhythm:\\", "Song"} : QStringList{"Tone:\\"};
    selectKbd(slot, 0);
    selectLocal(file);
    // What a list does when it takes the keyboard focus: its row becomes current, unselected.
    QListView* view = list(qPrintable(unchosen));
    view->selectionModel()->clearSelection();
    view->selectionModel()->setCurrentIndex(view->model()->index(0, 0),
                                            QItemSelectionModel::NoUpdate);
    const QJsonObject before = keyboard();
    const QStringList filesBefore = QDir(home_->path()).entryList(QDir::Files);
    rig_->clearTraffic();
    MessageBoxes boxes;
    if (command == "send") {
        window_->SendActionExecute();
        QVERIFY(commandsEnded(*window_));
    } else if (command == "import") {
        window_->ReceiveActionExecute();
        QVERIFY(commandsEnded(*window_));
    } else {
        window_->DeleteActionExecute();
        QVERIFY(commandsEnded(*window_));
    }
    QCOMPARE(boxes.texts, QStringList{text});
    QCOMPARE(keyboard(), before);
    QVERIFY(rig_->fromProgram().empty());
    QCOMPARE(QDir(home_->path()).entryList(QDir::Files), filesBefore);
}

void TestWindowTransfers::sendFillsTheSlotAndSelectsIt() {
    startWindow();
    const QString file = importSlot({"Tone:\\"}, 0);
    QProgressBar* bar = window_->findChild<QProgressBar*>("ProgressBar");
    int maximum = 0;
    connect(bar, &QProgressBar::valueChanged, this,
            [&](int value) { maximum = value > 0 ? bar->maximum() : maximum; });
    selectLocal(QFileInfo(file).fileName());
    selectKbd({"Tone:\\"}, 3);
    MessageBoxes boxes;
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(maximum, 60);  // the item's size, known before the first block went
    // The End message that makes the keyboard keep it leaves from the event loop.
    QTRY_COMPARE(rig_->keyboard.memory().data(kTone3), KeyboardMemory::demo().data(kTone0));
    // The list shows the slot's new name, and the slot is current with the focus on the list.
    QCOMPARE(currentKbdRow(), 3);
    QCOMPARE(list("KbdFileView")->currentIndex().data().toString(), QString("Velvet  "));
    QVERIFY(list("KbdFileView")->hasFocus());
}

void TestWindowTransfers::changesTheKeyboardDoesNotShowAreMadeAgainOrFail() {
    startWindow();
    auto* status = window_->findChild<QLabel*>("StatusBar");
    const QString file = importSlot({"Tone:\\"}, 0);
    MessageBoxes boxes;
    const auto lose = [this](const char* lossList) {
        kbdsim::Faults faults;
        QString error;
        QVERIFY2(kbdsim::addLosses(faults, lossList, &error), qPrintable(error));
        rig_->keyboard.setFaults(faults);
    };

    // The End lost once: the keyboard is asked, the tone goes again, and it is done.
    lose("end:1");
    selectLocal(QFileInfo(file).fileName());
    selectKbd({"Tone:\\"}, 3);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(rig_->keyboard.memory().data(kTone3), KeyboardMemory::demo().data(kTone0));
    QCOMPARE(status->text(),
             QString("Sending a data... (the keyboard did not show the change; made again)"));

    // Lost every time: one box that says what the slot holds and where its old tone is kept.
    lose("end:-1");
    selectLocal(QFileInfo(file).fileName());
    selectKbd({"Tone:\\"}, 4);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith("The keyboard did not take the item into tone:4 (sent 3 "
                                       "times): the slot holds \"Nylon Gt\" (60 bytes)") &&
                 boxes.texts[0].contains("was kept as copy"),
             qPrintable(boxes.texts[0]));
    QCOMPARE(rig_->keyboard.memory().data({DataType::Tone, 0, 4}),
             KeyboardMemory::demo().data({DataType::Tone, 0, 4}));
    QCOMPARE(list("KbdFileView")
                 ->model()
                 ->index(4, 0, list("KbdFileView")->rootIndex())
                 .data()
                 .toString(),
             QString("Nylon Gt"));

    // A deletion lost every time: the rhythm is still there, and the list says so.
    lose("delete:-1");
    selectKbd({"Song Rhythm:\\", "Rhythm"}, 0);
    window_->DeleteActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts[1].startsWith("The keyboard did not delete the item in rhythm:0"),
             qPrintable(boxes.texts[1]));
    QCOMPARE(rig_->keyboard.memory().size({DataType::Rhythm, 0, 0}), 640);
    rig_->keyboard.setFaults({});
}

// The list is minutes old; meanwhile the keyboard's panel put an older version of the tone
// about to be sent (its name and size) into the slot. With the End of the first try lost, the
// slot must not pass for the new tone: the send starts from what the slot holds now.
void TestWindowTransfers::aSlotChangedSinceTheListIsReadBeforeTheSend() {
    startWindow();
    const QString file = importSlot({"Tone:\\"}, 0);
    std::vector<std::uint16_t> older = KeyboardMemory::demo().data(kTone0);
    older.back() ^= 1;
    rig_->keyboard.memory().setData(kTone3, older);
    kbdsim::Faults faults;
    faults.lose.end = 1;
    rig_->keyboard.setFaults(faults);
    MessageBoxes boxes;
    selectLocal(QFileInfo(file).fileName());
    selectKbd({"Tone:\\"}, 3);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(rig_->keyboard.memory().data(kTone3), KeyboardMemory::demo().data(kTone0));
    rig_->keyboard.setFaults({});
}

void TestWindowTransfers::importWritesReplacesAndSelectsTheFile() {
    startWindow();
    MessageBoxes boxes;
    const QString file = importSlot({"Tone:\\"}, 0);
    QCOMPARE(file, home_->filePath("TON_Velvet  .nvb"));
    QCOMPARE(fileWords(file), KeyboardMemory::demo().data(kTone0));
    QVERIFY(list("LocalFileView")->hasFocus());
    // Again after the keyboard's tone changed: the file is replaced without a question.
    auto changed = KeyboardMemory::demo().data(kTone3);
    rig_->keyboard.memory().setData(kTone0, changed);
    rig_->keyboard.memory().setName(kTone0, "Velvet");
    changed = rig_->keyboard.memory().data(kTone0);
    QCOMPARE(importSlot({"Tone:\\"}, 0), file);
    QCOMPARE(fileWords(file), changed);
    QVERIFY(boxes.texts.isEmpty());
    // A song, from its folder.
    QCOMPARE(QFileInfo(importSlot({"Song Rhythm:\\", "Song"}, 0)).fileName(),
             QString("SNG_Sunrise .nvb"));
    QCOMPARE(fileWords(home_->filePath("SNG_Sunrise .nvb")), KeyboardMemory::demo().data(kSong0));
}

void TestWindowTransfers::importOfAnUnsafeNameStaysInTheFolder() {
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setName(kTone0, std::string("../a/\x01"
                                       "b",
                                       7));
    startWindow(memory);
    MessageBoxes boxes;
    const QString file = importSlot({"Tone:\\"}, 0);
    QVERIFY(boxes.texts.isEmpty());
    QCOMPARE(file, home_->filePath("TON_.._a__b .nvb"));
    QVERIFY(QFileInfo::exists(file));
    // No folder made by the name: only the program's data folder (its library).
    QCOMPARE(QDir(home_->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"data"});
}

void TestWindowTransfers::importThatCannotWriteKeepsTheOldFile() {
    startWindow();
    const QString file = importSlot({"Song Rhythm:\\", "Song"}, 0);
    const QByteArray old = [&] {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QVERIFY(old.size() > 1000);
    rig_->keyboard.memory().setName(kSong0, "Sunrise");  // the same file name again
    // A file-size limit binds root too: the new file cannot be written past 1,000 bytes, as on
    // a full disk.
    rlimit saved{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 1000;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    MessageBoxes boxes;
    selectKbd({"Song Rhythm:\\", "Song"}, 0);
    window_->ReceiveActionExecute();
    QVERIFY(commandsEnded(*window_));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    // The import's failure, and (the same full disk) once that the song's version could not be
    // recorded either.
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts.filter("SNG_Sunrise .nvb").size(), 1);
    QCOMPARE(boxes.texts.filter("The keyboard's past was not recorded").size(), 1);
    QFile now(file);
    QVERIFY(now.open(QIODevice::ReadOnly));
    QCOMPARE(now.readAll(), old);
    // Nothing half-written is left beside it.
    QCOMPARE(QDir(home_->path()).entryList(QDir::Files, QDir::Name),
             QStringList({"SNG_Sunrise .nvb", "nvbman.ini"}));
}

void TestWindowTransfers::properties_data() {
    QTest::addColumn<QString>("entry");      // a PC file name, or "keyboard" for tone slot 2
    QTest::addColumn<QString>("typed");      // typed into the name field before OK
    QTest::addColumn<QStringList>("shown");  // file name, type, size, location's end, name
    QTest::addColumn<QString>("nameAfter");  // the name inside the file afterwards
    QTest::addColumn<QString>("error");
    QTest::newRow("PC .nvb renamed")
        << "TON_Velvet  .nvb" << QString::fromUtf8("Soft~\u00e9\t")
        << QStringList{"TON_Velvet  .nvb", "Tone", "60byte(s)", "Velvet  "} << "Soft___ "
        << "";
    QTest::newRow("empty name acts as Cancel")
        << "TON_Velvet  .nvb"
        << "" << QStringList{"TON_Velvet  .nvb", "Tone", "60byte(s)", "Velvet  "} << "Velvet  "
        << "";
    QTest::newRow("capital extension") << "COPY.NVB"
                                       << "x" << QStringList{"COPY.NVB", "", "", ""} << "Velvet  "
                                       << "";
    QTest::newRow("damaged file") << "bad.nvb"
                                  << "" << QStringList{} << ""
                                  << "No NVB file";
    QTest::newRow("keyboard slot")
        << "keyboard"
        << "" << QStringList{"Brass Up", "Tone", "60byte(s)", "Brass Up"} << "Brass Up"
        << "";
    // On the keyboard: the item is renamed in its slot (and the rename is one change to undo).
    QTest::newRow("keyboard slot renamed")
        << "keyboard"
        << "Horns" << QStringList{"Brass Up", "Tone", "60byte(s)", "Brass Up"} << "Horns   "
        << "";
}

void TestWindowTransfers::properties() {
    QFETCH(QString, entry);
    QFETCH(QString, typed);
    QFETCH(QStringList, shown);
    QFETCH(QString, nameAfter);
    QFETCH(QString, error);
    startWindow();
    const QString tone = importSlot({"Tone:\\"}, 0);
    QVERIFY(QFile::copy(tone, home_->filePath("COPY.NVB")));
    QFile bad(home_->filePath("bad.nvb"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("not a keyboard file at all");
    bad.close();
    window_->LocalUpdateActionExecute();
    const bool keyboardSide = entry == "keyboard";
    if (keyboardSide) {
        selectKbd({"Tone:\\"}, 2);
    } else {
        selectLocal(entry);
    }
    QStringList seen;
    bool nameField = false;
    onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<TEkDataPropertyForm*>(modal);
        if (dialog == nullptr) {
            return;  // an error box: MessageBoxes answers it
        }
        for (const char* label : {"FileNameLbl", "TypeLbl", "SizeLbl", "NameEdit"}) {
            QWidget* widget = dialog->findChild<QWidget*>(label);
            seen << (qobject_cast<QLabel*>(widget) ? static_cast<QLabel*>(widget)->text()
                                                   : static_cast<QLineEdit*>(widget)->text());
        }
        nameField = dialog->findChild<QLineEdit*>("NameEdit")->isVisibleTo(dialog);
        auto* edit = dialog->findChild<QLineEdit*>("NameEdit");
        edit->clear();
        edit->insert(typed);  // as a paste would put it
        dialog->accept();
    });
    MessageBoxes boxes;
    window_->PropOpenExecute(keyboardSide);
    // A rename on the keyboard is a command: it ends (and says how) after the dialog.
    QTRY_VERIFY(window_->frame().isIdle());
    QCOMPARE(boxes.texts, error.isEmpty() ? QStringList() : QStringList{error});
    QCOMPARE(seen, shown);
    QCOMPARE(nameField, error.isEmpty());
    if (keyboardSide) {
        QTRY_COMPARE(rig_->keyboard.memory().name({DataType::Tone, 0, 2}), nameAfter.toStdString());
    } else if (!nameAfter.isEmpty()) {
        EkDataFile item(DataType::NoType);
        NvbFileStream(home_->filePath(entry == "COPY.NVB" ? "TON_Velvet  .nvb" : entry),
                      NvbFileStream::OpenRead)
            .read(item);
        QCOMPARE(QString::fromLatin1(item.name().c_str()), nameAfter);
        QCOMPARE(item.size(), 60u);
    }
}

void TestWindowTransfers::dragAndDrop_data() {
    QTest::addColumn<QString>("from");    // the list the drag began on
    QTest::addColumn<QString>("onto");    // the list it is dropped on
    QTest::addColumn<QString>("target");  // the row under the pointer: a caption, or empty space
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("outcome");  // an error text, "sent", "imported:<folder>"
    QTest::newRow("file onto tone slot") << "local"
                                         << "kbd"
                                         << "Marimba " << true << "sent";
    QTest::newRow("file onto folder row") << "local"
                                          << "kbd"
                                          << "Song" << true << "Not acceptable";
    QTest::newRow("file onto empty space") << "local"
                                           << "kbd"
                                           << "" << true << "Not select a distination data";
    QTest::newRow("slot onto sub-folder") << "kbd"
                                          << "local"
                                          << "Sub" << true << "imported:Sub";
    QTest::newRow("slot onto empty space") << "kbd"
                                           << "local"
                                           << "" << true << "imported:";
    QTest::newRow("slot onto a file row") << "kbd"
                                          << "local"
                                          << "notes.txt" << true << "imported:";
    QTest::newRow("within the PC list") << "local"
                                        << "local"
                                        << "" << false << "";
    QTest::newRow("within the keyboard list") << "kbd"
                                              << "kbd"
                                              << "" << false << "";
    QTest::newRow("slot onto another slot") << "kbd"
                                            << "kbd"
                                            << "Marimba " << true << "sent";
    QTest::newRow("from another program") << "other"
                                          << "kbd"
                                          << "Marimba " << false << "";
}

void TestWindowTransfers::dragAndDrop() {
    QFETCH(QString, from);
    QFETCH(QString, onto);
    QFETCH(QString, target);
    QFETCH(bool, accepted);
    QFETCH(QString, outcome);
    startWindow();
    QVERIFY(QDir(home_->path()).mkdir("Sub"));
    QFile notes(home_->filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.close();
    // The file a drag from the PC list carries; the keyboard's tone 0 is the slot a drag from
    // the keyboard list carries.
    QVERIFY(QFile::rename(importSlot({"Tone:\\"}, 0), home_->filePath("drag.nvb")));
    window_->LocalUpdateActionExecute();
    selectLocal("drag.nvb");
    QCOMPARE(currentLocalName(), QString("drag.nvb"));
    if (onto == "kbd") {
        // Slots to drop on in the tone area; a folder row and empty space in the song area. A
        // drag within the keyboard list carries its selected row, tone 0.
        selectKbd({target == "Marimba " ? "Tone:\\" : "Song Rhythm:\\"}, from == "kbd" ? 0 : -1);
    }

    QListView* view = list(onto == "kbd" ? "KbdFileView" : "LocalFileView");
    QModelIndex row;
    if (!target.isEmpty()) {
        const QModelIndexList found = view->model()->match(
            view->model()->index(0, 0), Qt::DisplayRole, target, 1, Qt::MatchExactly);
        QVERIFY2(!found.isEmpty(), qPrintable(target));
        row = found.first();
    }
    view->scrollTo(row);
    QApplication::processEvents();
    const QPoint at = row.isValid()
                          ? view->visualRect(row).center()
                          : QPoint(view->viewport()->width() - 2, view->viewport()->height() - 2);
    QVERIFY(!row.isValid() || view->indexAt(at) == row);
    QVERIFY(row.isValid() || !view->indexAt(at).isValid());
    std::unique_ptr<QMimeData> data(
        from == "other"
            ? new QMimeData
            : PaneDragDrop::mimeData(from == "kbd" ? PaneDragDrop::Keyboard : PaneDragDrop::Local));
    if (from == "other") {
        data->setData(PaneDragDrop::kMimeType, "1 LocalFileView");  // another process's drag
    }
    QDragEnterEvent enter(at, Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    QDropEvent drop(QPointF(at), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    const QJsonObject before = keyboard();
    const QStringList filesBefore = QDir(home_->path()).entryList(QDir::Files);
    MessageBoxes boxes;
    QApplication::sendEvent(view->viewport(), &drop);
    QCOMPARE(drop.isAccepted(), accepted);
    // The drop posted its command, to run after the drag: run it now, to its end.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    QTRY_VERIFY(!window_->frame().isBusy());
    const kbdsim::SlotRef marimba{DataType::Tone, 0, 7};
    if (outcome == "sent") {
        QVERIFY(boxes.texts.isEmpty());
        QTRY_COMPARE(rig_->keyboard.memory().data(marimba), KeyboardMemory::demo().data(kTone0));
        QCOMPARE(currentKbdRow(), 7);
    } else if (outcome.startsWith("imported:")) {
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
        const QString folder =
            outcome == "imported:" ? home_->path() : home_->filePath(outcome.mid(9));
        QVERIFY(QFileInfo::exists(QDir(folder).filePath("TON_Velvet  .nvb")));
        QCOMPARE(tree("LocalDirView")->currentIndex().data().toString(),
                 QFileInfo(folder).fileName());
        QCOMPARE(currentLocalName(), QString("TON_Velvet  .nvb"));
    } else {
        QCOMPARE(boxes.texts, outcome.isEmpty() ? QStringList() : QStringList{outcome});
        QCOMPARE(keyboard(), before);
        QCOMPARE(QDir(home_->path()).entryList(QDir::Files), filesBefore);
    }
}

void TestWindowTransfers::dragStartsOnlyFromDataAfterFivePixels_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QStringList>("nodes");  // the keyboard node shown; empty: the PC list
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("distance");
    QTest::addColumn<bool>("listed");
    QTest::addColumn<bool>("starts");
    const QStringList tones{"Tone:\\"};
    const QStringList songs{"Song Rhythm:\\", "Song"};
    QTest::newRow("PC file, 5 px")
        << "LocalFileView" << QStringList() << "nvbman.ini" << 5 << true << true;
    QTest::newRow("PC file, 4 px: a click")
        << "LocalFileView" << QStringList() << "nvbman.ini" << 4 << true << false;
    QTest::newRow("tone slot") << "KbdFileView" << tones << "Velvet  " << 8 << true << true;
    QTest::newRow("tone slot before the list")
        << "KbdFileView" << tones << "User 0" << 8 << false << false;
    QTest::newRow("empty song slot") << "KbdFileView" << songs << "Song 1" << 8 << true << false;
    QTest::newRow("folder row") << "KbdFileView" << QStringList{"Song Rhythm:\\"} << "Song" << 8
                                << true << false;
}

void TestWindowTransfers::dragStartsOnlyFromDataAfterFivePixels() {
    QFETCH(QString, list);
    QFETCH(QStringList, nodes);
    QFETCH(QString, row);
    QFETCH(int, distance);
    QFETCH(bool, listed);
    QFETCH(bool, starts);
    startWindow();
    if (!listed) {
        window_->DisconnectActionExecute();
    }
    if (!nodes.isEmpty()) {
        selectKbd(nodes, -1);
    }
    QListView* view = this->list(qPrintable(list));
    const QModelIndexList found =
        view->model()->match(view->model()->index(0, 0), Qt::DisplayRole, row, 1, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(row));
    view->scrollTo(found.first());
    const QPoint at = view->visualRect(found.first()).center();
    auto* dragDrop = window_->findChild<PaneDragDrop*>();
    QSignalSpy started(dragDrop, &PaneDragDrop::dragStarted);
    const auto mouse = [&](QEvent::Type type, QPoint where, Qt::MouseButtons buttons) {
        QMouseEvent event(type, where, view->viewport()->mapToGlobal(where), Qt::LeftButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &event);
    };
    mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    mouse(QEvent::MouseMove, at + QPoint(distance - 2, 2), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, at + QPoint(distance - 2, 2), Qt::NoButton);
    QCOMPARE(started.size(), starts ? 1 : 0);
}

void TestWindowTransfers::replacedSongsComeBack_data() {
    QTest::addColumn<bool>("failedSend");  // else a delete
    QTest::newRow("deleted, put back from Replaced Items") << false;
    QTest::newRow("a send that failed after the delete, put back at once") << true;
}

void TestWindowTransfers::replacedSongsComeBack() {
    QFETCH(bool, failedSend);
    startWindow();
    const QJsonObject before = keyboard();
    // Every box answered: errors with OK, the offer to put the song back with Yes.
    QStringList shown;
    QTimer answer;
    answer.setInterval(10);
    connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || box->property("answered").toBool()) {
            return;
        }
        box->setProperty("answered", true);
        shown << box->text();
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        (yes != nullptr ? yes : box->button(QMessageBox::Ok))->click();
    });
    answer.start();
    if (failedSend) {
        // A song file of the keyboard's own, sent over Sunrise; its third block is refused.
        const QString song = QFileInfo(importSlot({"Song Rhythm:\\", "Song"}, 0)).fileName();
        window_->LocalUpdateActionExecute();
        selectLocal(song);
        kbdsim::Faults faults;
        faults.blockStatus = {2, 2, 1};
        rig_->keyboard.setFaults(faults);
        selectKbd({"Song Rhythm:\\", "Song"}, 0);
        window_->SendActionExecute();
        QVERIFY(commandsEnded(*window_));
        QCOMPARE(shown.size(), 2);
        QVERIFY2(shown[0].contains("The song slot is now empty"), qPrintable(shown[0]));
        QVERIFY2(shown[1].contains("was kept as copy 1"), qPrintable(shown[1]));
        QTRY_COMPARE(keyboard(), before);
        return;
    }
    selectKbd({"Song Rhythm:\\", "Song"}, 0);
    window_->DeleteActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY(rig_->keyboard.memory().data(kSong0).empty());
    QStringList rows;
    onNextModal([&](QWidget* modal) {
        auto* view = modal->findChild<QTreeView*>("ReplacedView");
        const QAbstractItemModel* model = view->model();
        for (int column = 1; column < model->columnCount(); ++column) {
            rows << model->index(0, column).data().toString();
        }
        view->setCurrentIndex(model->index(0, 0));
        modal->findChild<QPushButton*>("PutBackBtn")->click();
        static_cast<QDialog*>(modal)->reject();
    });
    window_->transfers().showReplacedItems();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(rows, (QStringList{"song:0", "Sunrise ", "Song", "1800", "deleted"}));
    QCOMPARE(shown, QStringList());
    QTRY_COMPARE(keyboard(), before);
}

// Songs of 10,600 and 10,800 bytes go back onto songs of 9,000 and 12,000 only with song:1 made
// smaller first; with a rhythm the backup lacks they fit in no order, which is said with the
// figures before the user is asked, and nothing changes.
void TestWindowTransfers::aRestoreMakesRoomFirstOrIsRefusedBeforeTheQuestion() {
    const kbdsim::SlotRef rhythm0{DataType::Rhythm, 0, 0};
    const auto songs = twoSongsNoRhythms;
    const KeyboardMemory backedUp = songs(10600, 10800);
    startWindow(backedUp);
    const QString folder = home_->filePath("backup");
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    MessageBoxes boxes(QMessageBox::Yes);
    window_->jobs().backUp(folder);
    QVERIFY(commandsEnded(*window_));

    rig_->keyboard.memory() = songs(9000, 12000);
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);  // the question, and no failure
    QTRY_COMPARE(keyboard(), backedUp.toJson());

    KeyboardMemory withRhythm = songs(9000, 12000);
    withRhythm.setData(rhythm0, std::vector<std::uint16_t>(200, 0x3456));
    rig_->keyboard.memory() = withRhythm;
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts[1].startsWith("The restore does not fit: the songs and rhythms would take "
                                       "21800 bytes of the keyboard's 21504."),
             qPrintable(boxes.texts[1]));
    QCOMPARE(keyboard(), withRhythm.toJson());
}

void TestWindowTransfers::backupRestoredOntoAnEmptiedKeyboard() {
    startWindow();
    const QString folder = home_->filePath("backup");
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    MessageBoxes boxes(QMessageBox::Yes);
    window_->jobs().backUp(folder);
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    const backup::Manifest manifest = backup::Manifest::read(folder);
    QCOMPARE(int(manifest.entries.size()), 10 + 10 + 16 + 1 + 2);
    QCOMPARE(manifest.entries.front().slot.text(), QString("tone:0"));
    QCOMPARE(manifest.entries.front().file, QString("TON_Velvet  .nvb"));
    QCOMPARE(manifest.entries.back().slot.text(), QString("rhythm:2"));

    rig_->keyboard.memory() = KeyboardMemory();  // every slot blank, no songs or rhythms
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);  // the one question before the restore, with its plan
    QVERIFY(boxes.texts.first().contains("39"));
    QVERIFY(boxes.texts.first().contains("kept as a copy before it is replaced"));
    QVERIFY2(
        boxes.texts.first().endsWith("To replace: 36, to fill: 3, the same already (not sent): 0."),
        qPrintable(boxes.texts.first()));
    QTRY_COMPARE(keyboard(), KeyboardMemory::demo().toJson());
    auto* status = window_->findChild<QLabel*>("StatusBar");
    QCOMPARE(status->text(), QString("39 items restored (the same already, not sent: 0; kept "
                                     "before being replaced: 36)"));

    // One tone changed since: only that one is sent, and the tone it replaces is kept.
    rig_->keyboard.memory().setData({DataType::Tone, 0, 0},
                                    KeyboardMemory::demo().data({DataType::Tone, 0, 1}));
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    QTRY_COMPARE(keyboard(), KeyboardMemory::demo().toJson());
    QVERIFY(
        boxes.texts.last().endsWith("To replace: 1, to fill: 0, the same already (not sent): 38."));
    QCOMPARE(status->text(), QString("39 items restored (the same already, not sent: 38; kept "
                                     "before being replaced: 1)"));
    // Onto the keyboard as the backup has it: said, and nothing is sent.
    rig_->clearTraffic();
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.last(), QString("The keyboard holds the same data as the backup (39 "
                                         "items)."));
    QVERIFY(std::none_of(rig_->fromProgram().begin(), rig_->fromProgram().end(),
                         [](const QByteArray& m) {
                             return m.size() > 5 && (quint8(m[5]) >> 4) == SysExType::DataBlock;
                         }));
    const safety::Copy newest = safety::Store(home_->filePath("data/NvbMan/replaced")).copies()[0];
    QCOMPARE(newest.slot.text(), QString("tone:0"));
    QCOMPARE(newest.why, safety::Why::Restore);

    // Stopped after its third item was on its way: what it replaced so far is offered back,
    // and Yes undoes the stopped restore.
    rig_->keyboard.memory() = KeyboardMemory();
    const QJsonObject blank = keyboard();
    QSet<QByteArray> written;
    bool stopped = false;
    const auto connection =
        connect(&rig_->keyboard, &kbdsim::SimulatedKeyboard::traffic,
                [&](bool fromProgram, const QByteArray& message) {
                    constexpr int kTypeByte = 5;
                    if (fromProgram && message.size() > 9 &&
                        (quint8(message[kTypeByte]) >> 4) == SysExType::DataBlock) {
                        written.insert(message.mid(kTypeByte, 5));
                        if (written.size() == 3 && !stopped) {
                            stopped = true;
                            window_->frame().cancel();
                        }
                    }
                });
    boxes.texts.clear();
    window_->jobs().restore(folder);
    QVERIFY(commandsEnded(*window_));
    disconnect(connection);
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY2(boxes.texts.last().contains("items that the restore replaced before it stopped"),
             qPrintable(boxes.texts.last()));
    QTRY_COMPARE(keyboard(), blank);
    auto* redo = window_->findChild<QAction*>("RedoAction");
    QVERIFY2(redo->text().startsWith("&Redo Restore from"), qPrintable(redo->text()));
}

void TestWindowTransfers::backupsComparedSendsCheckedRetriesNoted() {
    startWindow();
    auto* status = window_->findChild<QLabel*>("StatusBar");
    const QString folder = home_->filePath("backup");
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    MessageBoxes boxes(QMessageBox::Ok);
    window_->jobs().backUp(folder);
    QVERIFY(commandsEnded(*window_));
    window_->jobs().compareWithBackup(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts,
             QStringList{"The keyboard holds the same data as the backup (39 items)."});

    // The keyboard's first tone changed since the backup.
    rig_->keyboard.memory().setData({DataType::Tone, 0, 0},
                                    KeyboardMemory::demo().data({DataType::Tone, 0, 1}));
    window_->jobs().compareWithBackup(folder);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 2);
    QCOMPARE(boxes.texts.last(), QString("1 of 39 slots differ from the backup:\n"
                                         "tone:0: different (TON_Velvet  .nvb)"));

    // "Verify after sending" on: a keyboard that keeps something else than it was sent is caught.
    onNextModal([](QWidget* dialog) {
        dialog->findChild<QCheckBox*>("VerifyAfterSendingBox")->setChecked(true);
        static_cast<QDialog*>(dialog)->accept();
    });
    window_->PrefOpenExecute();
    const QString file = importSlot({"Tone:\\"}, 3);
    kbdsim::Faults faults;
    faults.keepWrong = true;
    rig_->keyboard.setFaults(faults);
    selectLocal(QFileInfo(file).fileName());
    selectKbd({"Tone:\\"}, 4);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 3);
    QCOMPARE(boxes.texts.last(), QString("The keyboard holds different data than was sent."));

    // An answer lost during a listing: asked again, and the status line says so.
    faults = {};
    faults.dropAnswer = int(rig_->toProgram().size()) + 5;
    rig_->keyboard.setFaults(faults);
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 3);
    QCOMPARE(status->text(), QString("Get list... (an answer was lost; asked again)"));

    // An answer lost in the middle of a send's transfers (the copy kept first, the send, the
    // check): that item goes again from its start, and the status line says so.
    // (The keyboard counts the answers it meant to send, the lost ones too.)
    int lost = 1;
    for (const int dropped : {1, 2, 3, 4}) {
        rig_->keyboard.memory().setData({DataType::Tone, 0, 5}, KeyboardMemory().data({2, 0, 5}));
        faults = {};
        faults.dropAnswer = int(rig_->toProgram().size()) + lost++ + dropped;
        rig_->keyboard.setFaults(faults);
        selectLocal(QFileInfo(file).fileName());
        selectKbd({"Tone:\\"}, 5);
        window_->SendActionExecute();
        QVERIFY(commandsEnded(*window_));
        QCOMPARE(boxes.texts.size(), 3);
        QCOMPARE(status->text(), QString("Sending a data... (an answer was lost; asked again)"));
        QCOMPARE(rig_->keyboard.memory().data({DataType::Tone, 0, 5}),
                 KeyboardMemory::demo().data({DataType::Tone, 0, 3}));
    }
}

void TestWindowTransfers::midiLogShowsEveryMessageAndSavesIt() {
    startWindow();
    auto* dock = window_->findChild<MidiLogDock*>("MidiLogDock");
    QVERIFY(dock != nullptr && !dock->isVisible());
    // View > MIDI Log shows it, with the listing that came before it was opened.
    QAction* toggle = window_->findChild<QAction*>("MidiLogAction");
    QVERIFY(toggle != nullptr);
    toggle->trigger();
    QVERIFY(dock->isVisible());
    MidiLogModel* log = dock->model();
    QVERIFY(log->rowCount() > 0);

    log->clear();
    QCOMPARE(log->rowCount(), 0);
    const std::size_t before = rig_->fromProgram().size() + rig_->toProgram().size();
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    const int messages = int(rig_->fromProgram().size() + rig_->toProgram().size() - before);
    QVERIFY(messages > int(MidiLogDock::kShownMessages));
    // The dock shows the most recent messages: the listing's last answer is the last row.
    QCOMPARE(log->rowCount(), int(MidiLogDock::kShownMessages));
    const auto cell = [&](int row, int column) {
        return log->index(row, column).data().toString();
    };
    const int last = log->rowCount() - 1;
    QCOMPARE(cell(last, MidiLogModel::DirectionColumn), QString("in"));
    QCOMPARE(cell(last, MidiLogModel::BytesColumn),
             QString::fromLatin1(rig_->toProgram().back().toHex(' ').toUpper()));
    QCOMPARE(cell(last - 1, MidiLogModel::DirectionColumn), QString("out"));

    // Saved as text: a line per message, in order.
    const QString path = home_->filePath("midi.txt");
    QVERIFY(dock->saveTo(path));
    QFile saved(path);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    // Saved, the whole log: the first request asks for the keyboard's kind.
    QCOMPARE(lines.size(), messages);
    QVERIFY2(
        lines.first().endsWith(" out F0 44 11 01 7F 10 00 0D 00 00 00 F7 | ParamRequest area 0 "
                               "addr 0 cmd 0 param 0"),
        qPrintable(lines.first()));
    QVERIFY2(lines[1].contains(" in ") && lines[1].contains("ParamData area 0 addr 0 cmd 0"),
             qPrintable(lines[1]));
}

namespace {

// Every object of the accessibility tree below `node`, as a screen reader's full walk meets
// them.
int accessibleObjects(QAccessibleInterface* node) {
    int count = 1;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* child = node->child(i)) {
            count += accessibleObjects(child);
        }
    }
    return count;
}

}  // namespace

void TestWindowTransfers::midiLogNeverGrowsTheAccessibilityTree() {
    startWindow();
    const auto objects = [&] {
        return accessibleObjects(QAccessible::queryAccessibleInterface(window_.get()));
    };
    const auto listings = [&](int count) {
        for (int i = 0; i < count; ++i) {
            window_->ConnectActionExecute();
            QVERIFY(commandsEnded(*window_));
        }
    };
    listings(1);
    const int afterOne = objects();
    listings(20);
    const int hidden = objects();
    QVERIFY2(hidden <= afterOne + afterOne / 10,
             qPrintable(QString("%1 -> %2 objects").arg(afterOne).arg(hidden)));
    // Shown, the log adds a bounded number of rows, however long it grows.
    window_->findChild<QAction*>("MidiLogAction")->trigger();
    const int shown = objects();
    listings(20);
    const int shownLater = objects();
    QVERIFY2(shown - hidden < 500 && shownLater == shown,
             qPrintable(QString("hidden %1, shown %2, after 20 more listings %3")
                            .arg(hidden)
                            .arg(shown)
                            .arg(shownLater)));
    qInfo(
        "accessible objects: %d after one listing, %d after 21 (log hidden), %d shown, %d "
        "shown after 20 more listings",
        afterOne, hidden, shown, shownLater);
    // Hidden again, it exposes nothing more than before it was shown.
    window_->findChild<QAction*>("MidiLogAction")->trigger();
    QVERIFY2(objects() <= hidden + hidden / 10, qPrintable(QString::number(objects())));
}

void TestWindowTransfers::explorerAndActivationWorkOnTheSelectedFolder() {
    startWindow();
    FileBrowser browser;
    QDesktopServices::setUrlHandler("file", &browser, "open");
    window_->findChild<QAction*>("ShellOpen")->trigger();
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(browser.opened, QList<QUrl>{QUrl::fromLocalFile(home_->path() + '/')});

    // Back from another program: a file made meanwhile is listed, the current row stays.
    selectLocal("nvbman.ini");
    QFile made(home_->filePath("made meanwhile.nvb"));
    QVERIFY(made.open(QIODevice::WriteOnly));
    made.close();
    QVERIFY(!localList()->rowNamed(made.fileName().section('/', -1)).isValid());
    Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
    QVERIFY(localList()->rowNamed("made meanwhile.nvb").isValid());
    QCOMPARE(currentLocalName(), QString("nvbman.ini"));
}

void TestWindowTransfers::editMenuOrganisesTheKeyboardAndUndoes() {
    startWindow();
    const QJsonObject demo = keyboard();
    const KeyboardMemory original = KeyboardMemory::demo();
    const auto action = [&](const char* name) { return window_->findChild<QAction*>(name); };
    // Each question of the Edit menu answered as a user would: the first slot offered, or a
    // name typed.
    const auto answer = [](const QString& text) {
        onNextModal([text](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            QVERIFY(dialog != nullptr);
            dialog->setTextValue(text.isEmpty() ? dialog->comboBoxItems().value(0) : text);
            dialog->accept();
        });
    };
    QCOMPARE(action("UndoAction")->shortcut(), QKeySequence(QKeySequence::Undo));
    QCOMPARE(action("UndoAction")->text(), QString("&Undo"));

    selectKbd({"Tone:\\"}, 0);
    answer({});
    action("CopyToAction")->trigger();
    QVERIFY(commandsEnded(*window_));
    QTRY_COMPARE(rig_->keyboard.memory().data(kTone1), original.data(kTone0));
    QCOMPARE(action("UndoAction")->text(), QString("&Undo Copy tone:0 to tone:1"));

    selectKbd({"Song Rhythm:\\", "Song"}, 0);
    answer({});
    action("SwapWithAction")->trigger();  // with the empty song:1: a move
    QVERIFY(commandsEnded(*window_));
    QTRY_COMPARE(rig_->keyboard.memory().data(kSong1), original.data(kSong0));
    QVERIFY(rig_->keyboard.memory().data(kSong0).empty());

    selectKbd({"Tone:\\"}, 3);
    answer("Abc");
    action("RenameAction")->trigger();
    QVERIFY(commandsEnded(*window_));
    QTRY_COMPARE(rig_->keyboard.memory().name(kTone3), std::string("Abc     "));
    QCOMPARE(list("KbdFileView")->model()->index(3, 0).data().toString().trimmed(), QString("Abc"));

    // The keyboard's panel changes the renamed tone: Undo asks, and Yes takes it back all the
    // same, the panel's tone kept first.
    rig_->keyboard.memory().setData(kTone3, original.data(kTone0));
    MessageBoxes boxes(QMessageBox::Yes);
    // Undo as the menu runs it, waited for: whether it took the change back.
    const auto undo = [this] {
        bool taken = false;
        window_->edits().takeBackLatest(true, false, [&taken](bool done) { taken = done; });
        return commandsEnded(*window_) && taken;
    };
    QVERIFY(undo());
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith("tone:3 changed since \"Rename tone:3 to \"Abc\"\""),
             qPrintable(boxes.texts[0]));
    QVERIFY(undo());
    QVERIFY(undo());
    QTRY_COMPARE(keyboard(), demo);
    QCOMPARE(action("UndoAction")->text(), QString("&Undo"));
    QCOMPARE(action("RedoAction")->text(), QString("&Redo Copy tone:0 to tone:1"));
    QVERIFY(!undo());  // nothing left: said, nothing changed
    QCOMPARE(boxes.texts.last(), QString("There is nothing to undo."));
    QCOMPARE(keyboard(), demo);
}

QTEST_MAIN(TestWindowTransfers)

void TestWindowTransfers::severalRowsInOneCommand() {
    startWindow();
    QDir(home_->path()).mkdir("in");
    const KeyboardMemory demo = KeyboardMemory::demo();

    // Import of three tones: three files, one after the other under one progress.
    selectKbd({"Tone:\\"}, 0);
    addRows("KbdFileView", {2, 3});
    QCOMPARE(list("KbdFileView")->selectionModel()->selectedRows().size(), 3);
    MessageBoxes boxes;
    window_->ReceiveActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(fileWords(home_->filePath("TON_Velvet  .nvb")), demo.data(kTone0));
    QCOMPARE(fileWords(home_->filePath("TON_Brass Up.nvb")), demo.data({DataType::Tone, 0, 2}));
    QCOMPARE(fileWords(home_->filePath("TON_Warm Pad.nvb")), demo.data(kTone3));
    QCOMPARE(window_->findChild<QLabel*>("StatusBar")->text(), QString("3 items imported"));

    // Send of two files from tone 8 on: tones 8 and 9, in the order shown (by name).
    window_->LocalUpdateActionExecute();
    selectLocal("TON_Velvet  .nvb");
    addRows("LocalFileView", {localList()->rowNamed("TON_Brass Up.nvb").row()});
    selectKbd({"Tone:\\"}, 8);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QTRY_COMPARE(rig_->keyboard.memory().data({DataType::Tone, 0, 9}), demo.data(kTone0));
    QCOMPARE(rig_->keyboard.memory().data({DataType::Tone, 0, 8}),
             demo.data({DataType::Tone, 0, 2}));

    // From tone 9 they do not fit; a song file among tones is of the wrong type. Both are
    // refused before anything is sent.
    importSlot({"Song Rhythm:\\", "Song"}, 0);
    window_->LocalUpdateActionExecute();
    const QJsonObject before = keyboard();
    selectLocal("TON_Brass Up.nvb");
    addRows("LocalFileView", {localList()->rowNamed("TON_Velvet  .nvb").row()});
    selectKbd({"Tone:\\"}, 9);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    selectLocal("TON_Brass Up.nvb");
    addRows("LocalFileView", {localList()->rowNamed("SNG_Sunrise .nvb").row()});
    selectKbd({"Tone:\\"}, 0);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts,
             (QStringList{"The files do not fit into the folder from the selected slot on",
                          "A file's type does not match the folder it would go into"}));
    QCOMPARE(keyboard(), before);
    boxes.texts.clear();

    // Delete of both rhythms: each kept first, then gone from the keyboard.
    selectKbd({"Song Rhythm:\\", "Rhythm"}, 0);
    addRows("KbdFileView", {2});
    window_->DeleteActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(rig_->keyboard.memory().size({DataType::Rhythm, 0, 0}), 0);
    QCOMPARE(rig_->keyboard.memory().size({DataType::Rhythm, 0, 2}), 0);
    const auto copies = safety::Store().copies();
    QCOMPARE(copies.size(), std::size_t(2 + 2));  // and the two tones the send replaced
    QCOMPARE(copies[0].slot.text(), QString("rhythm:2"));
    QCOMPARE(copies[1].slot.text(), QString("rhythm:0"));

    // A press on one of several selected rows keeps them all for a drag; a release without a
    // drag leaves that row alone selected, as a click does.
    selectKbd({"Tone:\\"}, 0);
    addRows("KbdFileView", {1});
    QListView* view = list("KbdFileView");
    const QPoint at = view->visualRect(view->model()->index(1, 0)).center();
    QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 1);
    QCOMPARE(view->selectionModel()->selectedRows().first().row(), 1);
    // From the keyboard alone: in the large-icon view the next row is to the right, and
    // Shift+Right adds it (Shift+Down would take the icons of the grid's rectangle below).
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
    QCOMPARE(view->selectionModel()->selectedRows().last().row(), 2);
}

void TestWindowTransfers::filesFromOtherPrograms_data() {
    QTest::addColumn<QString>("onto");     // the list: kbd or local
    QTest::addColumn<QString>("target");   // the row dropped on
    QTest::addColumn<QString>("carried");  // files, a text file, text or a remote address
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("two files onto a slot") << "kbd"
                                           << "Marimba "
                                           << "files" << true << "sent";
    QTest::newRow("a text file onto a slot") << "kbd"
                                             << "Marimba "
                                             << "text file" << true << "No NVB file";
    QTest::newRow("plain text onto a slot") << "kbd"
                                            << "Marimba "
                                            << "text" << false << "";
    QTest::newRow("a remote file onto a slot") << "kbd"
                                               << "Marimba "
                                               << "remote" << false << "";
    QTest::newRow("two files onto the PC list") << "local"
                                                << ""
                                                << "files" << true << "copied";
    QTest::newRow("onto a sub-folder") << "local"
                                       << "Sub"
                                       << "files" << true << "copied:Sub";
    QTest::newRow("a dump of two items onto the PC list") << "local"
                                                          << ""
                                                          << "dump" << true << "copied dump";
    QTest::newRow("a text file onto the PC list") << "local"
                                                  << ""
                                                  << "text file" << true << "No NVB file";
}

void TestWindowTransfers::filesFromOtherPrograms() {
    QFETCH(QString, onto);
    QFETCH(QString, target);
    QFETCH(QString, carried);
    QFETCH(bool, accepted);
    QFETCH(QString, outcome);
    startWindow();
    // The other program's folder, with two tones and a text file.
    QTemporaryDir elsewhere;
    QVERIFY(QFile::copy(importSlot({"Tone:\\"}, 0), elsewhere.filePath("a.nvb")));
    QVERIFY(QFile::copy(importSlot({"Tone:\\"}, 3), elsewhere.filePath("b.nvb")));
    QFile text(elsewhere.filePath("notes.txt"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a keyboard item");
    text.close();
    QVERIFY(QDir(home_->path()).mkdir("Sub"));
    // A file of the same name waits in the PC list's folder: replacing it is asked first.
    QVERIFY(QFile::copy(elsewhere.filePath("b.nvb"), home_->filePath("a.nvb")));
    window_->LocalUpdateActionExecute();

    QMimeData data;
    if (carried == "files") {
        data.setUrls({QUrl::fromLocalFile(elsewhere.filePath("a.nvb")),
                      QUrl::fromLocalFile(elsewhere.filePath("b.nvb"))});
    } else if (carried == "dump") {
        QFile dump(elsewhere.filePath("two.syx"));
        QVERIFY(dump.open(QIODevice::WriteOnly));
        for (const char* name : {"a.nvb", "b.nvb"}) {
            EkDataFile item(DataType::NoType);
            NvbFileStream(elsewhere.filePath(name), NvbFileStream::OpenRead).read(item);
            const auto bytes = syx::dumpOf(item, *SlotAddress::parse("tone:2"));
            dump.write(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        }
        dump.close();
        data.setUrls({QUrl::fromLocalFile(elsewhere.filePath("two.syx"))});
    } else if (carried == "text file") {
        data.setUrls({QUrl::fromLocalFile(elsewhere.filePath("notes.txt"))});
    } else if (carried == "text") {
        data.setText("a.nvb");
    } else {
        data.setUrls({QUrl("https://example.org/a.nvb")});
    }
    if (onto == "kbd") {
        selectKbd({"Tone:\\"}, -1);
    }
    const QJsonObject before = keyboard();
    MessageBoxes boxes(QMessageBox::Yes);
    QCOMPARE(dropOnto(onto == "kbd" ? "KbdFileView" : "LocalFileView", target, &data), accepted);
    if (outcome == "sent") {
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
        // Both tones: the second one's last message may still be on its way to the keyboard
        // when the first is already right.
        QTRY_VERIFY(rig_->keyboard.memory().data({DataType::Tone, 0, 7}) ==
                        KeyboardMemory::demo().data(kTone0) &&
                    rig_->keyboard.memory().data({DataType::Tone, 0, 8}) ==
                        KeyboardMemory::demo().data(kTone3));
    } else if (outcome == "copied dump") {
        QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
        QFile copied(home_->filePath("two.syx"));
        QFile original(elsewhere.filePath("two.syx"));
        QVERIFY(copied.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
        QCOMPARE(copied.readAll(), original.readAll());
        QCOMPARE(currentLocalName(), QString("two.syx"));
    } else if (outcome.startsWith("copied")) {
        const QString folder =
            outcome == "copied" ? home_->path() : home_->filePath(outcome.mid(7));
        QCOMPARE(fileWords(QDir(folder).filePath("a.nvb")), KeyboardMemory::demo().data(kTone0));
        QCOMPARE(fileWords(QDir(folder).filePath("b.nvb")), KeyboardMemory::demo().data(kTone3));
        QCOMPARE(boxes.texts, outcome == "copied"
                                  ? QStringList{"\"a.nvb\" exists already. Replace it?"}
                                  : QStringList());
        QCOMPARE(currentLocalName(), QString("b.nvb"));
    } else {
        QCOMPARE(boxes.texts, outcome.isEmpty() ? QStringList() : QStringList{outcome});
        QCOMPARE(keyboard(), before);
        QVERIFY(!QFileInfo::exists(home_->filePath("notes.txt")));
    }
}

#include "tst_windowtransfers.moc"

// File > Export As .syx: the selected slots as dumps; the PC list shows the items inside them,
// and a dump of one item is sent like a .nvb file.
void TestWindowTransfers::dumpsExportedListedAndSent() {
    startWindow();
    const KeyboardMemory demo = KeyboardMemory::demo();
    selectKbd({"Tone:\\"}, 1);
    addRows("KbdFileView", {3});
    MessageBoxes boxes;
    window_->transfers().exportSelectedSlots(home_->path());
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QCOMPARE(window_->findChild<QLabel*>("StatusBar")->text(), QString("2 items imported"));
    QCOMPARE(QDir(home_->path()).entryList({"*.syx"}, QDir::Files),
             (QStringList{"TON_Glass EP.syx", "TON_Warm Pad.syx"}));

    // Two dumps in one file: one row, both items named.
    QFile both(home_->filePath("both.syx"));
    QVERIFY(both.open(QIODevice::WriteOnly));
    for (const char* name : {"TON_Glass EP.syx", "TON_Warm Pad.syx"}) {
        QFile dump(home_->filePath(name));
        QVERIFY(dump.open(QIODevice::ReadOnly));
        both.write(dump.readAll());
    }
    both.close();
    window_->LocalUpdateActionExecute();
    const auto shown = [&](const QString& file, int column) {
        return localList()->rowNamed(file).siblingAtColumn(column).data().toString();
    };
    QCOMPARE(shown("TON_Glass EP.syx", LocalListModel::ItemNameColumn), QString("Glass EP"));
    QCOMPARE(shown("TON_Glass EP.syx", LocalListModel::ItemTypeColumn), QString("Tone"));
    QCOMPARE(shown("both.syx", LocalListModel::ItemNameColumn), QString("Glass EP, Warm Pad"));
    QCOMPARE(shown("both.syx", LocalListModel::ItemTypeColumn), QString("Tone"));
    // The details view opens the two-item dump onto a row per item, which only shows: the
    // file is what a command takes.
    const QModelIndex twoItems = localList()->rowNamed("both.syx");
    QTreeView* details = tree("LocalFileDetails");
    details->expand(twoItems);
    QCOMPARE(localList()->rowCount(twoItems), 2);
    QStringList items;
    for (int row = 0; row < 2; ++row) {
        const QModelIndex item = localList()->index(row, LocalListModel::NameColumn, twoItems);
        items << item.data().toString() + '/' +
                     item.siblingAtColumn(LocalListModel::TypeColumn).data().toString();
        QVERIFY(!(item.flags() & Qt::ItemIsSelectable));
        QCOMPARE(item.parent(), twoItems);
        QVERIFY(!localList()->entry(item).exists());
    }
    QCOMPARE(items, QStringList({"Glass EP/Tone", "Warm Pad/Tone"}));
    const QModelIndex one = localList()->rowNamed("TON_Glass EP.syx");
    QCOMPARE(localList()->rowCount(one), 0);
    QVERIFY(!localList()->hasChildren(one));

    // Sent into tone 6: the keyboard holds the tone it was dumped from. (Row 6 alone, whatever
    // modifier keys an earlier test left pressed.)
    const auto onlyTone = [&](int row) {
        selectKbd({"Tone:\\"}, row);
        QListView* view = list("KbdFileView");
        view->selectionModel()->setCurrentIndex(view->model()->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect);
    };
    selectLocal("TON_Glass EP.syx");
    onlyTone(6);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QTRY_COMPARE(rig_->keyboard.memory().data({DataType::Tone, 0, 6}),
                 demo.data({DataType::Tone, 0, 1}));
    // Two items cannot go into one slot: the box says what to do, nothing is sent.
    const QJsonObject before = keyboard();
    selectLocal("both.syx");
    onlyTone(6);
    window_->SendActionExecute();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.first().contains("holds 2 items"), qPrintable(boxes.texts.first()));
    QCOMPARE(keyboard(), before);
}
