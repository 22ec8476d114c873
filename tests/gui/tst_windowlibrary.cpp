// The window's library on the offscreen platform against the in-process software keyboard and
// real folders: the keyboard list's "On PC" column after a backup, a rename and a change of a
// file, what it says before the items are known, Check On PC, a double click that shows the
// file, the Library dialog's search and duplicates, and folders left out of the library.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include "commands/keyboardjobs.h"
#include "commands/windowlibrary.h"
#include "commands/editcommands.h"
#include "commands/windowversions.h"
#include "dialogs/pastforms.h"
#include "dialogs/versionsform.h"
#include "data/ekdatafile.h"
#include "dialogs/libraryform.h"
#include "dialogs/tagsform.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbddrv/slotaddress.h"
#include "library/itemtags.h"
#include "mainform/pclinkform.h"
#include "panes/kbdpanemodel.h"
#include "panes/localpanemodel.h"
#include "printing/listdialogs.h"
#include "stream/nvbfilestream.h"
#include "support/keyboardrig.h"
#include "support/modal.h"
#include "support/windowcommands.h"

using kbdsim::KeyboardMemory;

namespace {

const QString kCopy = QStringLiteral("曲, \"live\".nvb");

const kbdsim::SlotRef kTone0{DataType::Tone, 0, 0};
const kbdsim::SlotRef kTone1{DataType::Tone, 0, 1};

// A scan reads the folders on its own thread; the column follows when it has ended.
constexpr int kScanWaitMs = 20000;

// Answers the next Tags... dialog: records what it showed ("tags | note") in `shown`, then
// gives it `tags` and, unless null, `note` (typed).
void answerTagsDialog(const QString& tags, const QString& note, QString* shown) {
    onNextModal([=](QWidget* modal) {
        auto* form = qobject_cast<TTagsForm*>(modal);
        QVERIFY(form != nullptr);
        auto* tagsEdit = form->findChild<QLineEdit*>("TagsEdit");
        auto* noteEdit = form->findChild<QLineEdit*>("NoteEdit");
        QCOMPARE(tagsEdit->accessibleName(), QString("Tags"));
        QCOMPARE(noteEdit->accessibleName(), QString("Note"));
        *shown = tagsEdit->text() + " | " + noteEdit->text();
        tagsEdit->setText(tags);
        if (!note.isNull()) {
            noteEdit->clear();
            QTest::keyClicks(noteEdit, note);
        }
        form->findChild<QPushButton*>("OkBtn")->click();
    });
}

}  // namespace

class TestWindowLibrary : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void onPcFollowsBackupsRenamesAndChanges();
    void scansEndingDuringACommandNeverTouchTheKeyboardsData();
    void unknownItemsAreCheckedOnRequest();
    void libraryDialogSearchesAndMarksDuplicates();
    void foldersLeftOutOfTheLibraryAreForgotten();
    void aLibraryThatCannotBeOpenedIsSaid();
    void tagsGivenToAFileAreTheSlotsTagsToo();
    void tagsShowInTheListsTheLibraryAndWhatIsPrinted();
    void aSlotsVersionsGoBackAndTheKeyboardAsOfADate();
    void versionsThatCannotBeRecordedAreSaidOnceAndTheImportsGoOn();

private:
    void startWindow(const QStringList& libraryFolders = {});
    void showTones();
    void checkLibraryForm(TLibraryForm* form, QString& shown);
    QList<QStringList> listedRows_;  // what the library dialog listed, as it showed them
    QString onPc(int row) const {
        const QAbstractItemModel* model = window_->findChild<QTreeView*>("KbdFileDetails")->model();
        return model->index(row, KbdListModel::OnPcColumn).data().toString();
    }
    QString music() const { return home_->filePath("music"); }

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<KeyboardRig> rig_;
    std::unique_ptr<TPcLinkForm> window_;
};

void TestWindowLibrary::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir(home_->path()).mkpath("music"));
    // The index and the kept copies of this test only, in a hidden folder no scan walks.
    qputenv("XDG_DATA_HOME", home_->filePath(".data").toLocal8Bit());
    EkKbdDrv::instance(mls850::kModel).disconnect();
}

void TestWindowLibrary::cleanup() {
    window_.reset();
    rig_.reset();
    home_.reset();
}

void TestWindowLibrary::startWindow(const QStringList& libraryFolders) {
    rig_ = std::make_unique<KeyboardRig>();
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home_->filePath("nvbman.ini"), QSettings::IniFormat));
        platform::Settings settings{rig_->inputNumber(), rig_->outputNumber(), music(), {}, {}};
        settings.libraryFolders = libraryFolders;
        store.save(settings);
    }
    window_ = std::make_unique<TPcLinkForm>(storeAt(home_->filePath("nvbman.ini")));
    window_->start();
    window_->show();
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY(EkKbdDrv::instance(mls850::kModel).isConnected());
    showTones();
}

void TestWindowLibrary::showTones() {
    QTreeView* dirs = window_->findChild<QTreeView*>("KbdDirView");
    const QModelIndexList found =
        dirs->model()->match(dirs->model()->index(0, 0, dirs->model()->index(0, 0)),
                             Qt::DisplayRole, "Tone:\\", 1, Qt::MatchExactly);
    QVERIFY(!found.isEmpty());
    dirs->setCurrentIndex(found.first());
}

void TestWindowLibrary::onPcFollowsBackupsRenamesAndChanges() {
    startWindow();
    // Nothing in the library: no file can hold any of the tones.
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("No"), kScanWaitMs);
    QCOMPARE(onPc(9), QString("No"));

    const QString backup = QDir(music()).filePath("backup");
    QVERIFY(QDir().mkpath(backup));
    MessageBoxes boxes;
    window_->jobs().backUp(backup);
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    showTones();
    // The backup fetched every item: each tone is known to be in its file.
    const QString velvet = QString::fromStdString("TON_" + rig_->keyboard.memory().name(kTone0));
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), "Yes: " + velvet + ".nvb", kScanWaitMs);
    QVERIFY(onPc(1).startsWith("Yes: TON_"));

    // Renamed: the same item, in the file of its new name.
    QVERIFY(QFile::rename(QDir(backup).filePath(velvet + ".nvb"),
                          QDir(backup).filePath("my velvet.nvb")));
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("Yes: my velvet.nvb"), kScanWaitMs);

    // Enter or a double click: that file, selected in the PC list.
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    Q_EMIT kbdList->activated(kbdList->model()->index(0, 0));
    QListView* localList = window_->findChild<QListView*>("LocalFileView");
    QCOMPARE(localList->currentIndex().data().toString(), QString("my velvet.nvb"));

    // Changed: the file holds tone 1 now, so nothing holds tone 0 any more, and tone 1 is in
    // two files.
    {
        EkDataFile item(DataType::NoType);
        NvbFileStream(QDir(backup).filePath(QString::fromStdString(
                          "TON_" + rig_->keyboard.memory().name(kTone1) + ".nvb")),
                      NvbFileStream::OpenRead)
            .read(item);
        NvbFileStream(QDir(backup).filePath("my velvet.nvb"), NvbFileStream::Create).write(item);
    }
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("No"), kScanWaitMs);
    QVERIFY2(onPc(1).endsWith(" and 1 more"), qPrintable(onPc(1)));
}

// The user's files are scanned whenever a library folder changes, also while a command runs (a
// backup writes into one): a scan that ends then looks the keyboard list's rows up again from
// the pane's own copy of them, while the keyboard thread rewrites the driver's tree. Run under
// ThreadSanitizer this is where a race would show.
void TestWindowLibrary::scansEndingDuringACommandNeverTouchTheKeyboardsData() {
    startWindow();
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("No"), kScanWaitMs);
    rig_->keyboard.setTiming({true, {}});  // paced: the backup takes seconds
    const QString backup = QDir(music()).filePath("backup");
    QVERIFY(QDir().mkpath(backup));
    MessageBoxes boxes;
    window_->jobs().backUp(backup);
    int endedDuring = 0;
    while (window_->frame().isBusy()) {
        window_->library().scan();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->library().isScanning(), kScanWaitMs);
        endedDuring += window_->frame().isBusy() ? 1 : 0;
    }
    QVERIFY(commandsEnded(*window_));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join('\n')));
    QVERIFY(endedDuring > 0);
    // Afterwards the column knows the backup's files.
    showTones();
    QTRY_VERIFY_WITH_TIMEOUT(onPc(0).startsWith("Yes: TON_"), kScanWaitMs);
}

void TestWindowLibrary::unknownItemsAreCheckedOnRequest() {
    // The same tone in a file under another name: after a fresh start of the link the items are
    // not known, only that files of their shape exist.
    startWindow();
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("No"), kScanWaitMs);
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    window_->ReceiveActionExecute();
    QVERIFY(commandsEnded(*window_));
    QTRY_VERIFY_WITH_TIMEOUT(onPc(0).startsWith("Yes: TON_"), kScanWaitMs);
    window_->DisconnectActionExecute();
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    showTones();
    QCOMPARE(onPc(0), QString("Not checked"));
    QCOMPARE(onPc(1), QString("Not checked"));  // same shape as tone 0's file

    rig_->clearTraffic();
    window_->library().checkOnPc();
    QVERIFY(commandsEnded(*window_));
    QVERIFY(onPc(0).startsWith("Yes: TON_"));
    QCOMPARE(onPc(1), QString("No"));
    int present = 0;
    for (const auto& [address, where] : allSlots(EkKbdDrv::instance(mls850::kModel))) {
        present += where.slot->isPresent() ? 1 : 0;
    }
    QCOMPARE(window_->findChild<QLabel*>("StatusBar")->text(),
             QString("%1 item(s) checked: %2 not on the PC.").arg(present).arg(present - 1));
    // Every item was fetched: data requests went to the keyboard.
    QVERIFY(rig_->requestCount() > 0);
}

void TestWindowLibrary::libraryDialogSearchesAndMarksDuplicates() {
    startWindow();
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    // Tone 0 imported twice (the second under another name) and tone 1 once.
    for (int row : {0, 1}) {
        kbdList->setCurrentIndex(kbdList->model()->index(row, 0));
        window_->ReceiveActionExecute();
        QVERIFY(commandsEnded(*window_));
    }
    const QString velvet = QString::fromStdString("TON_" + rig_->keyboard.memory().name(kTone0));
    // The copy's name has a comma, quotes and Japanese characters: the list shared keeps them.
    QVERIFY(QFile::copy(QDir(music()).filePath(velvet + ".nvb"), QDir(music()).filePath(kCopy)));
    window_->library().scan();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->library().isScanning(), kScanWaitMs);

    QString shown;
    onNextModal([&](QWidget* modal) {
        auto* form = qobject_cast<TLibraryForm*>(modal);
        // A failed check returns early: the dialog closes all the same.
        [&] { checkLibraryForm(form, shown); }();
        if (form != nullptr && form->isVisible()) {
            form->reject();
        }
    });
    window_->library().showDialog();
    QVERIFY(!shown.isEmpty());
    // Every row as the dialog showed it, one record each; the copy's path quoted as RFC 4180
    // says (the comma, the doubled quotes and the Japanese characters kept). Reading it back
    // with Python's reader is the command-line test's and the window's list test's.
    QFile written(home_->filePath("library.csv"));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(written.readAll());
    QCOMPARE(text.count("\r\n"), 1 + listedRows_.size());
    QVERIFY(text.startsWith("Name,Type,Size(byte),Copies,File\r\n"));
    QVERIFY2(text.contains('"' + QDir(music()).filePath("曲, \"\"live\"\".nvb") + "\"\r\n"),
             qPrintable(text));
    QCOMPARE(
        QDir::toNativeSeparators(QDir(music()).filePath(
            window_->findChild<QListView*>("LocalFileView")->currentIndex().data().toString())),
        shown);
}

void TestWindowLibrary::checkLibraryForm(TLibraryForm* form, QString& shown) {
    QVERIFY(form != nullptr);
    QCOMPARE(form->rowCount(), 3);
    auto* view = form->findChild<QTreeView*>("LibraryView");
    const auto cell = [view](int row, int column) {
        return view->model()->index(row, column).data().toString();
    };
    // By path: the two imports (capitals first), then the copy, the same item as tone 0's.
    QCOMPARE(cell(2, 5), QDir::toNativeSeparators(QDir(music()).filePath(kCopy)));
    // Exported as the dialog lists them; read back (by Python's CSV reader) once the dialog
    // has closed.
    QVERIFY(lists::saveSaying(form->listed(), home_->filePath("library.csv"),
                              [](const QString& text) { QFAIL(qPrintable(text)); }));
    for (int row = 0; row < 3; ++row) {
        QStringList shownRow;
        for (int column = 0; column < 6; ++column) {
            // The tags column, empty here, is left out of what is shared.
            if (column != 4) {
                shownRow << cell(row, column);
            }
        }
        listedRows_ << shownRow;
    }
    QCOMPARE(cell(2, 3), QString("2 (duplicate)"));
    QCOMPARE(cell(0, 3) + cell(1, 3), QString("12 (duplicate)"));
    QCOMPARE(form->findChild<QLabel*>("LibrarySummary")->text(), QString("3 item(s), 3 file(s)"));
    form->findChild<QCheckBox*>("LibraryDuplicatesBox")->setChecked(true);
    QCOMPARE(form->rowCount(), 2);
    form->findChild<QLineEdit*>("LibraryNameEdit")
        ->setText(QString::fromStdString(rig_->keyboard.memory().name(kTone1)));
    QCOMPARE(form->rowCount(), 0);  // tone 1 has one file only
    form->findChild<QCheckBox*>("LibraryDuplicatesBox")->setChecked(false);
    QCOMPARE(form->rowCount(), 1);
    auto* type = form->findChild<QComboBox*>("LibraryTypeBox");
    type->setCurrentIndex(type->findData(int(DataType::DSP)));
    QCOMPARE(form->rowCount(), 0);
    type->setCurrentIndex(type->findData(int(DataType::Tone)));
    QCOMPARE(form->rowCount(), 1);
    view->setCurrentIndex(view->model()->index(0, 0));
    shown = cell(0, 5);
    form->findChild<QPushButton*>("ShowFileBtn")->click();
}

// Tags given to a file in the PC list are the tags of the keyboard's slot that holds the same
// item: its Tags... dialog shows them, and a change there is the file's too.
void TestWindowLibrary::tagsGivenToAFileAreTheSlotsTagsToo() {
    startWindow();
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    window_->ReceiveActionExecute();
    QVERIFY(commandsEnded(*window_));
    const QString file = QDir(music()).filePath(
        QString::fromStdString("TON_" + rig_->keyboard.memory().name(kTone0)) + ".nvb");
    window_->showFile(file);
    const QString sha256 = library::Index::hashesOf(file).value(0);

    QString shown;
    answerTagsDialog("pads, live set", "for the June concert", &shown);
    window_->findChild<QAction*>("LocalTagsAction")->trigger();
    QCOMPARE(shown, QString(" | "));
    QCOMPARE(library::TagStore().of(sha256).tags, (QStringList{"live set", "pads"}));

    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    answerTagsDialog("pads", {}, &shown);
    window_->findChild<QAction*>("KbdTagsAction")->trigger();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(shown, QString("live set, pads | for the June concert"));
    const library::ItemTags now = library::TagStore().of(sha256);
    QCOMPARE(now.tags, QStringList{"pads"});
    QCOMPARE(now.note, QString("for the June concert"));

    // File > Export Tags..., then Import Tags... on a PC that has none; a file that is no tags
    // file is said, and changes nothing.
    const QString exported = home_->filePath("tags.json");
    QVERIFY(window_->library().exportTags(exported));
    qputenv("XDG_DATA_HOME", home_->filePath("new-pc").toLocal8Bit());
    QCOMPARE(library::TagStore().of(sha256).tags, QStringList());
    MessageBoxes boxes;
    QVERIFY(!window_->library().importTags(file));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY(window_->library().importTags(exported));
    QCOMPARE(library::TagStore().of(sha256).tags, QStringList{"pads"});
    QCOMPARE(library::TagStore().of(sha256).note, QString("for the June concert"));
}

// The tags of an item, once given, show in both lists' Tags column (hidden until View > Tags
// Column), in the keyboard's printed list, and in the Library dialog, which finds items by
// tag and by the words of their tags and notes and changes the tags of what it lists.
void TestWindowLibrary::tagsShowInTheListsTheLibraryAndWhatIsPrinted() {
    startWindow();
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    for (int row : {0, 1}) {
        kbdList->setCurrentIndex(kbdList->model()->index(row, 0));
        window_->ReceiveActionExecute();
        QVERIFY(commandsEnded(*window_));
    }
    const QString file = QDir(music()).filePath(
        QString::fromStdString("TON_" + rig_->keyboard.memory().name(kTone0)) + ".nvb");
    window_->showFile(file);
    QString shown;
    answerTagsDialog("pads, live set", "for the June concert", &shown);
    window_->findChild<QAction*>("LocalTagsAction")->trigger();

    auto* pcDetails = window_->findChild<QTreeView*>("LocalFileDetails");
    auto* kbdDetails = window_->findChild<QTreeView*>("KbdFileDetails");
    QVERIFY(pcDetails->isColumnHidden(LocalListModel::TagsColumn));
    QVERIFY(kbdDetails->isColumnHidden(KbdListModel::TagsColumn));
    auto* tagsColumn = window_->findChild<QAction*>("TagsColumnAction");
    QVERIFY(tagsColumn->isCheckable() && !tagsColumn->isChecked());
    tagsColumn->trigger();
    QVERIFY(!pcDetails->isColumnHidden(LocalListModel::TagsColumn));
    QVERIFY(!kbdDetails->isColumnHidden(KbdListModel::TagsColumn));
    const QModelIndex fileRow = pcDetails->currentIndex();
    QCOMPARE(fileRow.siblingAtColumn(LocalListModel::TagsColumn).data().toString(),
             QString("live set, pads"));
    QCOMPARE(kbdDetails->model()->index(0, KbdListModel::TagsColumn).data().toString(),
             QString("live set, pads"));
    QCOMPARE(kbdDetails->model()->index(1, KbdListModel::TagsColumn).data().toString(), QString());

    // The keyboard's list as printed: a Tags column with tone 0's tags.
    const lists::ItemList printed = window_->keyboardList();
    QCOMPARE(printed.headings.last(), QString("Tags"));
    const auto tone0 = std::find_if(printed.rows.begin(), printed.rows.end(),
                                    [](const QStringList& row) { return row[0] == "tone:0"; });
    QVERIFY(tone0 != printed.rows.end());
    QCOMPARE(tone0->last(), QString("live set, pads"));

    window_->library().scan();
    QTRY_VERIFY_WITH_TIMEOUT(!window_->library().isScanning(), kScanWaitMs);
    QStringList found;
    onNextModal([&](QWidget* modal) {
        auto* form = qobject_cast<TLibraryForm*>(modal);
        [&] {
            QVERIFY(form != nullptr);
            auto* tagBox = form->findChild<QComboBox*>("LibraryTagBox");
            auto* words = form->findChild<QLineEdit*>("LibraryWordsEdit");
            QVERIFY(!words->accessibleDescription().isEmpty());
            QCOMPARE(form->rowCount(), 2);
            QCOMPARE(tagBox->count(), 3);  // any tag, "live set", "pads"
            tagBox->setCurrentIndex(tagBox->findText("pads"));
            found << QString::number(form->rowCount());
            words->setText("JUNE concert");
            found << QString::number(form->rowCount());
            words->setText("june lesson");
            found << QString::number(form->rowCount());
            tagBox->setCurrentIndex(0);
            words->clear();
            // Both items tagged at once from the dialog; its list and its tag box follow.
            auto* view = form->findChild<QTreeView*>("LibraryView");
            view->selectAll();
            answerTagsDialog("lesson 3", QString(), &shown);
            form->findChild<QPushButton*>("LibraryTagsBtn")->click();
            found << shown;
            QCOMPARE(tagBox->count(), 4);  // any tag, "lesson 3", "live set", "pads"
            QStringList cells;
            for (int row = 0; row < 2; ++row) {
                cells << view->model()->index(row, 4).data().toString();
            }
            cells.sort();
            found << cells;
            found << form->listed().headings.join(',');
        }();
        if (form != nullptr && form->isVisible()) {
            form->reject();
        }
    });
    window_->library().showDialog();
    // The two items' tags differ: the dialog starts from what they share (nothing), adds to
    // each, and keeps the note, which they do not share.
    QCOMPARE(found, (QStringList{"1", "1", "0", " | ", "lesson 3", "lesson 3, live set, pads",
                                 "Name,Type,Size(byte),Copies,Tags,File"}));
    QCOMPARE(library::TagStore().of(library::Index::hashesOf(file).value(0)).note,
             QString("for the June concert"));
    QCOMPARE(fileRow.siblingAtColumn(LocalListModel::TagsColumn).data().toString(),
             QString("lesson 3, live set, pads"));
}

// Tone 0 as imported, then as the panel changed it and imported again: its Versions... lists
// both, the newest on the keyboard now, and sends the older one back as one change Undo takes
// back; What Changed names the slot; the keyboard as of a moment between the imports comes
// back through Restore Keyboard's question.
void TestWindowLibrary::aSlotsVersionsGoBackAndTheKeyboardAsOfADate() {
    startWindow();
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    const auto importTone0 = [&] {
        kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
        window_->ReceiveActionExecute();
        return commandsEnded(*window_);
    };
    QVERIFY(importTone0());
    const std::vector<std::uint16_t> original = rig_->keyboard.memory().data(kTone0);
    QThread::msleep(2);
    const QDateTime between = QDateTime::currentDateTimeUtc();
    QThread::msleep(2);
    rig_->keyboard.memory().setData(kTone0, KeyboardMemory::demo().data(kTone1));
    rig_->keyboard.memory().setName(kTone0, "Changed ");
    const std::vector<std::uint16_t> changed = rig_->keyboard.memory().data(kTone0);
    window_->ConnectActionExecute();
    QVERIFY(commandsEnded(*window_));
    QVERIFY(importTone0());

    QStringList shown;
    onNextModal([&](QWidget* modal) {
        auto* form = qobject_cast<TVersionsForm*>(modal);
        [&] {
            QVERIFY(form != nullptr);
            auto* view = form->findChild<QTreeView*>("VersionsView");
            QVERIFY(!view->accessibleName().isEmpty());
            for (int row = 0; row < form->rowCount(); ++row) {
                shown << view->model()->index(row, 1).data().toString() + '|' +
                             view->model()->index(row, 5).data().toString();
            }
            view->setCurrentIndex(view->model()->index(1, 0));
            form->findChild<QPushButton*>("SendVersionBtn")->click();
        }();
        if (form != nullptr && form->isVisible()) {
            form->reject();
        }
    });
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    window_->findChild<QAction*>("KbdVersionsAction")->trigger();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(shown, (QStringList{"Changed |on the keyboard now", "Velvet  |"}));
    QCOMPARE(rig_->keyboard.memory().data(kTone0), original);
    window_->edits().takeBackLatest(true);
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(rig_->keyboard.memory().data(kTone0), changed);

    // Properties offers the same versions.
    int fromProperties = -1;
    std::function<void()> closeVersions = [&] {
        if (auto* form = qobject_cast<TVersionsForm*>(QApplication::activeModalWidget())) {
            fromProperties = form->rowCount();
            form->reject();
            return;
        }
        QTimer::singleShot(10, closeVersions);
    };
    onNextModal([&](QWidget* modal) {
        if (auto* button = modal->findChild<QPushButton*>("PropVersionsBtn")) {
            QTimer::singleShot(10, closeVersions);
            button->click();
        }
        modal->close();
    });
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    window_->findChild<QAction*>("KbdPropOpen")->trigger();
    // Both imports; the put-back (what it replaced, fetched, and what it sent); the undo (the
    // same two).
    QCOMPARE(fromProperties, 6);

    // The first import's file: where and when its item was on the keyboard.
    window_->showFile(QDir(music()).filePath("TON_Velvet  .nvb"));
    QStringList places;
    onNextModal([&](QWidget* modal) {
        if (auto* form = qobject_cast<TVersionsForm*>(modal)) {
            const QAbstractItemModel* rows = form->findChild<QTreeView*>("VersionsView")->model();
            for (int row = 0; row < rows->rowCount(); ++row) {
                places << rows->index(row, 6).data().toString() + '|' +
                              rows->index(row, 3).data().toString();
            }
        }
        modal->close();
    });
    window_->findChild<QAction*>("LocalVersionsAction")->trigger();
    places.removeDuplicates();
    places.sort();
    QCOMPARE(places, (QStringList{"tone:0|read from the keyboard", "tone:0|sent"}));

    int changes = -1;
    QString changedSlot;
    onNextModal([&](QWidget* modal) {
        auto* form = qobject_cast<TChangesForm*>(modal);
        if (form != nullptr) {
            form->sinceEdit()->setDateTime(between.toLocalTime().addSecs(-60));
            changes = form->rowCount();
            changedSlot = form->findChild<QTreeView*>("ChangesView")->model()->index(0, 0).data().toString();
        }
        modal->close();
    });
    window_->versions().showWhatChanged();
    QCOMPARE(changes, 1);
    QCOMPARE(changedSlot, QString("tone:0"));

    MessageBoxes boxes(QMessageBox::Yes);
    QVERIFY(window_->versions().restoreAsOf(between));
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);  // Restore Keyboard's question
    QCOMPARE(rig_->keyboard.memory().data(kTone0), original);
}

// A file where the versions' folder would be: each import still writes its file, and the
// window says once that the keyboard's past was not recorded.
void TestWindowLibrary::versionsThatCannotBeRecordedAreSaidOnceAndTheImportsGoOn() {
    QVERIFY(QDir().mkpath(home_->filePath(".data/NvbMan")));
    QFile blocker(home_->filePath(".data/NvbMan/versions"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    startWindow();
    MessageBoxes boxes;
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    for (int row : {0, 1}) {
        kbdList->setCurrentIndex(kbdList->model()->index(row, 0));
        window_->ReceiveActionExecute();
        QVERIFY(commandsEnded(*window_));
    }
    QTRY_COMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts[0].startsWith("The keyboard's past was not recorded: "),
             qPrintable(boxes.texts[0]));
    QCOMPARE(QDir(music()).entryList({"*.nvb"}, QDir::Files).size(), 2);
    // The second import's failure was posted before its command's end, which has been seen.
    QCOMPARE(boxes.texts.size(), 1);
}

void TestWindowLibrary::foldersLeftOutOfTheLibraryAreForgotten() {
    const QString other = home_->filePath("other");
    QVERIFY(QDir().mkpath(other));
    startWindow({music(), other});
    QTRY_COMPARE_WITH_TIMEOUT(onPc(0), QString("No"), kScanWaitMs);
    QListView* kbdList = window_->findChild<QListView*>("KbdFileView");
    kbdList->setCurrentIndex(kbdList->model()->index(0, 0));
    window_->jobs().backUp(other);
    QVERIFY(commandsEnded(*window_));
    showTones();
    QTRY_VERIFY_WITH_TIMEOUT(onPc(0).startsWith("Yes: TON_"), kScanWaitMs);

    // The preferences leave the folder out: its files no longer count, and stay where they are.
    onNextModal([&](QWidget* modal) {
        auto* folders = modal->findChild<QListWidget*>("LibraryFolderList");
        QVERIFY(folders != nullptr);
        QCOMPARE(folders->count(), 2);
        folders->setCurrentRow(1);
        modal->findChild<QPushButton*>("RemoveLibraryFolderBtn")->click();
        modal->findChild<QPushButton*>("OkBtn")->click();
    });
    window_->PrefOpenExecute();
    QCOMPARE(window_->settings().libraryFolders, QStringList{music()});
    QCOMPARE(onPc(0), QString("No"));
    QVERIFY(QDir(other).entryList({"*.nvb"}).size() > 10);
}

void TestWindowLibrary::aLibraryThatCannotBeOpenedIsSaid() {
    // The data folder is a file: no index can be made there.
    QFile blocker(home_->filePath("blocked"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("XDG_DATA_HOME", home_->filePath("blocked").toLocal8Bit());
    startWindow();
    QCOMPARE(onPc(0), QString());  // nothing said rather than a guess
    rig_->clearTraffic();
    MessageBoxes boxes;
    window_->library().checkOnPc();
    QVERIFY(commandsEnded(*window_));
    QCOMPARE(boxes.texts.size(), 1);
    QVERIFY2(boxes.texts.first().startsWith("The library cannot be used: "),
             qPrintable(boxes.texts.first()));
    QVERIFY(rig_->fromProgram().empty());
}

QTEST_MAIN(TestWindowLibrary)
#include "tst_windowlibrary.moc"
