// The window under a Japanese locale (the test runs with LC_ALL=ja_JP.UTF-8): its menus, tool
// buttons, list headers and dialogs (Preference, Property, the drive's Properties, the folder
// chooser, Replaced Items), its questions and the failures it reports show no English words,
// beyond the names that stay as they are (MIDI, MLS-850, PipeWire, slot and file names...).

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeView>
#include <QtTest>

#include "backup/keyboardbackup.h"
#include "commands/keyboardjobs.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "dialogs/dirbrowseform.h"
#include "dialogs/ekdatapropertyform.h"
#include "dialogs/helpcommands.h"
#include "dialogs/kbddrivepropertyform.h"
#include "dialogs/libraryform.h"
#include "dialogs/pastforms.h"
#include "dialogs/tagsform.h"
#include "dialogs/versionsform.h"
#include "dialogs/replaceditemsform.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/mls850layout.h"
#include "kbdsim/simulatordevice.h"
#include "library/libraryindex.h"
#include "library/slotsonpc.h"
#include "mainform/pclinkform.h"
#include "mainform/windowtexts.h"
#include "panes/kbdpanemodel.h"
#include "platform/keyboardsession.h"
#include "platform/midiservice.h"
#include "platform/userlocale.h"
#include "safety/safetystore.h"
#include "stream/nvbfilestream.h"
#include "support/modal.h"
#include "support/pagecatcher.h"
#include "support/windowcommands.h"

namespace {

// Words that are names, the same in every language.
const QStringList kNames = {"MIDI", "MLS", "NVB", "DSP", "JACK", "ALSA", "PipeWire", "NvbMan",
                            "kHz", "txt", "syx", "GNU", "LGPL", "MIT", "RtMidi",
                            // file formats
                            "CSV", "csv", "HTML", "html", "PDF", "pdf"};

// The English words of `text` (three letters or more) that are no name. Slots ("song:1",
// "reg:0.2"), file names ("(TON_Velvet  .nvb)") and commands of the command-line tool are
// names too, as is the desktop's opener (xdg-open).
QStringList englishWords(QString text) {
    static const QRegularExpression word("[A-Za-z][A-Za-z']{2,}");
    static const QRegularExpression names(
        "[a-z]+:\\d(\\.\\d)?|nvbman-cli [a-z-]+|xdg-open|\\([^)]*\\.nvb\\)");
    text.remove(names);
    QStringList found;
    for (const auto& match : word.globalMatch(text)) {
        if (!kNames.contains(match.captured())) {
            found << match.captured();
        }
    }
    return found;
}

// Every text a user sees or a screen reader reads on `widget` and its children.
QStringList textsOf(QWidget* widget) {
    QStringList texts{widget->windowTitle(), widget->accessibleName(),
                      widget->accessibleDescription(), widget->toolTip()};
    for (QWidget* child : widget->findChildren<QWidget*>()) {
        if (!child->isVisibleTo(widget)) {
            continue;
        }
        texts << child->accessibleName() << child->accessibleDescription() << child->toolTip();
        if (auto* label = qobject_cast<QLabel*>(child)) {
            texts << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            texts << button->text();
        } else if (auto* tabs = qobject_cast<QTabWidget*>(child)) {
            for (int i = 0; i < tabs->count(); ++i) {
                texts << tabs->tabText(i);
            }
        } else if (auto* spin = qobject_cast<QSpinBox*>(child)) {
            texts << spin->specialValueText() << spin->suffix();
        } else if (auto* view = qobject_cast<QTreeView*>(child); view && view->model()) {
            for (int column = 0; column < view->model()->columnCount(); ++column) {
                texts << view->model()->headerData(column, Qt::Horizontal).toString();
            }
        }
    }
    return texts;
}

QStringList textsOf(const QList<QAction*>& actions) {
    QStringList texts;
    for (QAction* action : actions) {
        if (!action->isSeparator()) {
            texts << action->text() << action->toolTip();
        }
        if (action->menu() != nullptr) {
            texts << textsOf(action->menu()->actions());
        }
    }
    return texts;
}

}  // namespace

class TestWindowJapanese : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void nothingIsLeftInEnglish();
    void questionsAndFailuresAreJapanese();
};

void TestWindowJapanese::nothingIsLeftInEnglish() {
    QVERIFY(installWindowTexts(*qApp));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home.filePath("nvbman.ini"), QSettings::IniFormat));
        store.markRun();
        store.save({0, 0, home.path(), {}, {}});
    }
    TPcLinkForm window(storeAt(home.filePath("nvbman.ini")));
    window.start();
    window.show();

    QStringList texts = textsOf(window.menuBar()->actions());
    for (QToolBar* bar : window.findChildren<QToolBar*>()) {
        texts << bar->windowTitle() << textsOf(bar->actions());
    }
    texts << textsOf(&window);
    bool preferenceSeen = false;
    onNextModal([&](QWidget* dialog) {
        preferenceSeen = true;
        texts << textsOf(dialog);
        static_cast<QDialog*>(dialog)->reject();
    });
    window.PrefOpenExecute();
    QVERIFY(preferenceSeen);  // its texts are among those checked

    // The About box (its versions and device names are names) and a manual that is missing.
    {
        QString about = help::aboutText(0);
        about.remove(QRegularExpression("<[^>]*>"));
        for (const QString& version : platform::MidiService::instance().systemVersions()) {
            about.remove(version);
        }
        texts << about.remove(platform::MidiService::instance().outputName(0));
        // A keyboard chosen but not connected now.
        QString unplugged = help::aboutText(-1, "Gone MLS");
        unplugged.remove(QRegularExpression("<[^>]*>"));
        for (const QString& version : platform::MidiService::instance().systemVersions()) {
            unplugged.remove(version);
        }
        QVERIFY(unplugged.contains("Gone MLS"));
        texts << unplugged.remove("Gone MLS");
        // Help opens the Japanese manual (caught here instead of the desktop's browser).
        PageCatcher browser;
        QDesktopServices::setUrlHandler("file", &browser, "open");
        QString error;
        QVERIFY2(help::openManual(&error), qPrintable(error));
        QDesktopServices::unsetUrlHandler("file");
        QCOMPARE(browser.opened.size(), 1);
        QVERIFY2(browser.opened.front().path().endsWith("/manual/ja/index.html"),
                 qPrintable(browser.opened.front().path()));
        for (const char* failure :
             {"The manual is not installed: \"%1\" is missing.",
              "The manual \"%1\" could not be opened: no program to show it was found (NvbMan "
              "asked the desktop, xdg-open and the usual web browsers). Open this address in a "
              "web browser: %2"}) {
            texts << QCoreApplication::translate("Help", failure);
        }
    }

    // A file handed over that is gone: said in a box (the path itself is a name).
    const QString gone = home.filePath("gone.nvb");
    window.showFile(gone);
    auto* box = window.findChild<QMessageBox*>();
    QVERIFY(box != nullptr);
    texts << box->text().remove(QDir::toNativeSeparators(gone));
    box->close();

    // The other dialogs, as the window fills them.
    TEkDataPropertyForm property(&window);
    property.showType(DataType::Registration);
    property.showSize(176);
    property.allowRename(true);
    property.offerVersions([] {});
    texts << textsOf(&property) << TEkDataPropertyForm::typeWord(DataType::Song);
    TKbdDrivePropertyForm drive(&window);
    drive.showUsed(1);
    texts << textsOf(&drive);
    TDirBrowseForm folders(&window);
    texts << textsOf(&folders);
    // The keyboard's past: a slot's versions (one of each kind, the newest on the keyboard
    // now), the keyboard as of a date, what changed (one change of each kind).
    {
        std::vector<versions::Version> found;
        for (const versions::How how :
             {versions::How::Sent, versions::How::Fetched, versions::How::Emptied}) {
            versions::Version version;
            version.slot = {"song", 0, 0};
            version.at = QDateTime::currentDateTimeUtc();
            version.how = how;
            version.name = how == versions::How::Emptied ? QString() : "Sunrise ";
            version.sha256 = how == versions::How::Emptied ? QString() : QString(64, 'a');
            found.push_back(version);
        }
        TVersionsForm past("song:0", found, QString(64, 'a'), {}, &window);
        texts << textsOf(&past);
        const QAbstractItemModel* rows = past.findChild<QTreeView*>("VersionsView")->model();
        for (int row = 0; row < rows->rowCount(); ++row) {
            texts << rows->index(row, 3).data().toString() << rows->index(row, 5).data().toString();
        }
        TAsOfForm asOf(QDateTime::currentDateTime(), &window);
        texts << textsOf(&asOf);
        TChangesForm changed(
            QDateTime::currentDateTime(),
            [&](const QDateTime&, const QDateTime&) {
                std::vector<versions::SlotChangeSince> changes;
                for (const versions::Change change :
                     {versions::Change::Added, versions::Change::Changed,
                      versions::Change::Removed, versions::Change::Unknown}) {
                    changes.push_back({{"tone", 0, 0}, change, found[0], found[0]});
                }
                return changes;
            },
            &window);
        texts << textsOf(&changed);
        const QAbstractItemModel* listed = changed.findChild<QTreeView*>("ChangesView")->model();
        for (int row = 0; row < listed->rowCount(); ++row) {
            texts << listed->index(row, 1).data().toString();
        }
    }
    safety::Store store(home.filePath("kept"));
    EkDataFile tone(DataType::Tone);
    tone.setSize(60);
    tone.words().assign(30, 0x4141);
    for (const safety::Why why : {safety::Why::Delete, safety::Why::Edit, safety::Why::Undo}) {
        store.add(tone, {"tone", 0, 1}, why);
    }
    // The library, with a duplicate marked, a scan running and a file it could not read.
    {
        library::Index index(home.filePath("library.sqlite"));
        QDir().mkpath(home.filePath("music"));
        for (const char* name : {"a.nvb", "b.nvb"}) {
            NvbFileStream(QDir(home.filePath("music")).filePath(name), NvbFileStream::Create)
                .write(tone);
        }
        index.scan({home.filePath("music")}, MsgStr());
        const MsgStr japanese(platform::kLocaleJapanese);
        TLibraryForm library(&index, {}, japanese, &window);
        library.refresh(true, {"x"});
        texts << textsOf(&library);
        const QAbstractItemModel* items = library.findChild<QTreeView*>("LibraryView")->model();
        texts << items->index(0, 3).data().toString();
        TLibraryForm broken(nullptr, "x", japanese, &window);
        texts << textsOf(&broken);
    }
    // The keyboard list's "On PC" column, in each of its states.
    {
        library::Index index(home.filePath("library.sqlite"));
        library::SeenItems seen;
        const MsgStr japanese(platform::kLocaleJapanese);
        KbdListModel list(japanese);
        EkData known{DataType::Tone};
        known.setName("Velvet");
        known.setSize(60);
        known.setPresent();
        seen.saw(known, tone);
        // Every row shows the known tone.
        list.setOnPcSource([&](const library::SlotView&) {
            return library::onPc(index, seen, library::viewOf(known));
        });
        list.list(KeyboardPicture::of(EkKbdDrv::instance(mls850::kModel)),
                  QString::fromLatin1(mls850::kToneArea) + '\\');
        list.refreshOnPc();
        QString tip = list.item(0, KbdListModel::OnPcColumn)->toolTip();
        for (const char* name : {"a.nvb", "b.nvb"}) {
            tip.remove(QDir::toNativeSeparators(QDir(home.filePath("music")).filePath(name)));
        }
        const QString onPc = list.item(0, KbdListModel::OnPcColumn)->text();
        QCOMPARE(onPc, QString::fromUtf8("あり: a.nvb ほか 1 件"));
        texts << QString(onPc).remove("a.nvb") << tip;
    }
    // Tags of several items whose notes differ.
    TTagsForm tags("song:1", {}, {}, true, &window);
    texts << textsOf(&tags);
    TReplacedItemsForm replaced(store, [](const safety::Copy&, const std::function<void()>&) {});
    texts << textsOf(&replaced);
    const QAbstractItemModel* rows = replaced.findChild<QTreeView*>("ReplacedView")->model();
    for (int row = 0; row < rows->rowCount(); ++row) {
        texts << rows->index(row, rows->columnCount() - 1).data().toString();
    }

    // The window's title is the product's own name, the same in every language.
    texts.removeAll(QString::fromLatin1(TPcLinkForm::kTitle));
    QStringList english;
    for (const QString& text : texts) {
        if (!englishWords(text).isEmpty()) {
            english << text;
        }
    }
    english.removeDuplicates();
    for (const QString& text : english) {
        qWarning("left in English: %s", qPrintable(text));
    }
    QVERIFY2(english.isEmpty(), qPrintable("English left: " + english.join(" | ")));
    // And the check itself sees English where there is some, and no names.
    QCOMPARE(englishWords("Get/Update &List"), (QStringList{"Get", "Update", "List"}));
    QCOMPARE(englishWords(QString::fromUtf8("MIDI ログ(&M)")), QStringList());
    QCOMPARE(englishWords(QString::fromUtf8("tone:0: 異なる (TON_Velvet  .nvb) reg:1.2")),
             QStringList());
}

// The boxes of the whole-keyboard commands and of failures from every layer: the keyboard held
// by another program, a backup into a folder that holds one, the restore's plan and question, a
// damaged backup, a folder that is gone.
void TestWindowJapanese::questionsAndFailuresAreJapanese() {
    QVERIFY(installWindowTexts(*qApp));
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit());
    EkKbdDrv::instance(mls850::kModel).disconnect();
    // Its memory in a file, as other programs of the user share it: another program can hold it.
    const QString builtInState = home.filePath("builtin-keyboard.json");
    kbdsim::BuiltInKeyboard builtIn(builtInState);
    auto& service = platform::MidiService::instance();
    const QString name = kbdsim::BuiltInKeyboard::kDeviceName;
    const int input = int(service.inputDevices().lastIndexOf(name));
    const int output = int(service.outputDevices().lastIndexOf(name));
    {
        platform::SettingsStore store(
            std::make_unique<QSettings>(home.filePath("nvbman.ini"), QSettings::IniFormat));
        store.markRun();
        store.save({input, output, home.path(), {}, {}});
    }
    TPcLinkForm window(storeAt(home.filePath("nvbman.ini")));
    window.start();
    window.show();
    MessageBoxes boxes(QMessageBox::No);
    {
        platform::KeyboardSession other(output);
        window.ConnectActionExecute();
        QVERIFY(commandsEnded(window));
    }
    window.ConnectActionExecute();
    QVERIFY(commandsEnded(window));
    const QString backup = home.filePath("bk");
    QVERIFY(QDir().mkpath(backup));
    window.jobs().backUp(backup);
    QVERIFY(commandsEnded(window));
    window.jobs().backUp(backup);  // asks before replacing it
    QVERIFY(commandsEnded(window));
    window.jobs().compareWithBackup(backup);  // the same
    QVERIFY(commandsEnded(window));
    // A tone changed on the keyboard's panel: the comparison lists it, the restore plans it.
    builtIn.keyboard().memory().setData({DataType::Tone, 0, 0}, std::vector<std::uint16_t>(30, 9));
    builtIn.keyboard().memory().save(builtInState);
    window.jobs().compareWithBackup(backup);
    QVERIFY(commandsEnded(window));
    window.jobs().restore(backup);  // the plan and the question
    QVERIFY(commandsEnded(window));
    const QString damaged = home.filePath("dm");
    QVERIFY(QDir().mkpath(damaged));
    QFile manifest(QDir(damaged).filePath(backup::kManifestName));
    QVERIFY(manifest.open(QIODevice::WriteOnly));
    manifest.write(R"({"format": 3, "items": []})");
    manifest.close();
    window.jobs().restore(damaged);
    QVERIFY(commandsEnded(window));
    window.jobs().compareWithBackup(home.filePath("gn"));
    QVERIFY(commandsEnded(window));
    QVERIFY2(boxes.texts.size() >= 7, qPrintable(boxes.texts.join(" | ")));

    QStringList english;
    for (QString text : boxes.texts) {
        text.remove(QDir::toNativeSeparators(home.path())).remove(name);
        if (!englishWords(text).isEmpty()) {
            english << text;
        }
    }
    QVERIFY2(english.isEmpty(), qPrintable("English left: " + english.join(" | ")));
}

QTEST_MAIN(TestWindowJapanese)
#include "tst_windowjapanese.moc"
