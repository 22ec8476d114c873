// nvbman-cli's commands run in this process against the built-in keyboard: the dispatch, the
// usage checks, exit statuses, the text and JSON each command prints, and what a failure says.
// What needs real processes (signals, two programs, the MIDI stacks) is tested end to end; one
// case here kills the real tool mid-change on its built-in keyboard.

#include <sys/stat.h>
#include <csignal>

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <limits>

#include "cli/clirun.h"
#include "cli/commandoutput.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbdsim/keyboardmemory.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/midilog.h"
#include "stream/nvbfilestream.h"
#include "support/csvrecords.h"
#include "support/songmemory.h"
#include "syx/syxdump.h"

using kbdsim::KeyboardMemory;

// Declared before the first data-driven test names it as a column type.
Q_DECLARE_METATYPE(kbdsim::Faults)
Q_DECLARE_METATYPE(QList<QStringList>)

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;

    QString lastErrorLine() const {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        return QString::fromUtf8(lines.last());
    }
    QJsonObject object() const { return QJsonDocument::fromJson(out).object(); }
};

std::vector<std::uint16_t> pattern(std::size_t count, int seed) {
    std::vector<std::uint16_t> words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = std::uint16_t(seed * 131 + i * 7919);
    }
    return words;
}

void writeItem(const QString& path, std::uint16_t type, std::size_t words, int seed) {
    EkDataFile item(type);
    item.setSize(std::uint32_t(2 * words));
    item.words() = pattern(words, seed);
    NvbFileStream(path, NvbFileStream::Create).write(item);
}

QStringList keysOf(const QJsonObject& object) {
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

kbdsim::Faults faults(const std::function<void(kbdsim::Faults&)>& set) {
    kbdsim::Faults made;
    set(made);
    return made;
}

// The keyboard answers the block with "rejected" (status 2) in place of Ack.
kbdsim::Faults rejectedBlock(int block) {
    return faults([block](kbdsim::Faults& f) {
        f.blockStatus.block = block;
        f.blockStatus.status = 2;
    });
}

const QStringList kBuiltIn{"--quiet", "--in", "built-in", "--out", "built-in"};

}  // namespace

class TestCliCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void listsToShareParseBackWhole();
    void tagsFollowTheItemToItsSlotAndCopiesAndToAnotherPc();
    void versionsRememberEverySlotAndPutTheKeyboardBackAsItWas();
    void usageErrorsComeBeforeAnyTraffic_data();
    void usageErrorsComeBeforeAnyTraffic();
    void failuresSayTheirCodeAndText_data();
    void failuresSayTheirCodeAndText();
    void everyCommandsJsonHasItsShape();
    void textOutputIsAsDocumented();
    void controlCharactersNeverReachTheTerminal();
    void aNameWithAZeroByteIsOneNameEverywhere_data();
    void aNameWithAZeroByteIsOneNameEverywhere();
    void restoreKeepsWhatItReplacesAndSendsOnlyWhatDiffers();
    void dumpsGoOutAndComeBackUnchanged();
    void dumpsThatCannotBeUsedSayWhy_data();
    void dumpsThatCannotBeUsedSayWhy();
    void statusNamesTheFilesThatHoldEachItem();
    void newFilesNeverReplaceAFileOrFollowALink_data();
    void newFilesNeverReplaceAFileOrFollowALink();
    void aWrongPeriodVariableIsSaidAndPassedOver();
    void aLibraryScanOfWhatIsNoFolderFails();
    void aCancelledFirstStartLeavesEveryCommandWorking();
    void missingTargetFoldersAreMade_data();
    void missingTargetFoldersAreMade();
    void historyIsCheckedBeforeTheKeyboardChanges_data();
    void historyIsCheckedBeforeTheKeyboardChanges();
    void changesTheKeyboardDoesNotShowAreMadeAgainOrFail_data();
    void changesTheKeyboardDoesNotShowAreMadeAgainOrFail();
    void aChangedKeptCopyIsRefusedBeforeAnyTraffic();
    void aChangeCutShortOnTheBuiltInKeyboardIsSaidAndUndone();

private:
    Run cli(const QStringList& args);
    // The built-in keyboard starts from `memory`, answering at once unless `faults` say not.
    void startKeyboard(const KeyboardMemory& memory = KeyboardMemory::demo(),
                       const kbdsim::Faults& faults = {});
    QString statePath() const { return home_->filePath("keyboard/memory.json"); }

    std::unique_ptr<QTemporaryDir> home_;
    std::unique_ptr<kbdsim::BuiltInKeyboard> keyboard_;
    int messagesOnTheWire_ = 0;
    int logListener_ = 0;
};

void TestCliCommands::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
    // Settings, kept copies, history and the keyboard's lock of this test only.
    qputenv("XDG_CONFIG_HOME", home_->filePath("config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", home_->filePath("data").toLocal8Bit());
    QVERIFY(QDir(home_->path()).mkdir("run"));
    QVERIFY(QFile::setPermissions(home_->filePath("run"),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("XDG_RUNTIME_DIR", home_->filePath("run").toLocal8Bit());
    QVERIFY(QDir::setCurrent(home_->path()));
    messagesOnTheWire_ = 0;
    auto& log = platform::MidiLog::instance();
    log.setRecording(true);
    logListener_ =
        log.addListener([this](const platform::MidiLog::Entry&) { ++messagesOnTheWire_; });
    startKeyboard();
}

void TestCliCommands::cleanup() {
    keyboard_.reset();
    platform::MidiLog::instance().removeListener(logListener_);
    QVERIFY(QDir::setCurrent(QDir::tempPath()));
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestCliCommands::startKeyboard(const KeyboardMemory& memory, const kbdsim::Faults& faults) {
    keyboard_.reset();
    QVERIFY(QDir(home_->path()).mkpath("keyboard"));
    memory.save(statePath());
    keyboard_ = std::make_unique<kbdsim::BuiltInKeyboard>(statePath());
    kbdsim::Timing atOnce;
    atOnce.paced = false;
    keyboard_->keyboard().setTiming(atOnce);
    keyboard_->keyboard().setFaults(faults);
}

Run TestCliCommands::cli(const QStringList& args) {
    QBuffer out;
    QBuffer err;
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    cli::CommandOutput output(&out, &err);
    const int status = cli::run(QStringList{"nvbman-cli"} + args, output);
    return {status, out.data(), err.data()};
}

// The keyboard's list and the library's finds as CSV and HTML: read back by another program's
// parser, every slot is there once, in the keyboard's order, and names with commas, quotes and
// Japanese characters come back as they were.
void TestCliCommands::listsToShareParseBackWhole() {
    const QString awkward = "A,\"B\" c";
    QCOMPARE(cli(kBuiltIn + QStringList{"rename", "tone:2", awkward}).status, 0);
    const Run csv = cli(kBuiltIn + QStringList{"list", "--format", "csv"});
    QCOMPARE(csv.status, 0);
    QVERIFY(csv.out.endsWith("\r\n"));
    const QList<QStringList> records = csvRecords(csv.out);
    QCOMPARE(records.value(0), (QStringList{"Slot", "Name", "Type", "Size", "On PC"}));
    const QJsonArray slots =
        QJsonDocument::fromJson(cli(kBuiltIn + QStringList{"list", "--json"}).out)
            .object()["slots"]
            .toArray();
    QCOMPARE(records.size(), slots.size() + 1);
    for (qsizetype i = 0; i < slots.size(); ++i) {
        const QJsonObject slot = slots[i].toObject();
        const QStringList& record = records[i + 1];
        QCOMPARE(record.size(), 5);
        QCOMPARE(record[0], slot["slot"].toString());
        QCOMPARE(record[1], slot["name"].toString());
        QCOMPARE(record[3],
                 slot["present"].toBool() ? QString::number(slot["size"].toInt()) : QString());
    }
    // The keyboard keeps a name as eight characters.
    QCOMPARE(records[3].mid(0, 3), (QStringList{"tone:2", awkward + ' ', "Tone"}));
    const Run html = cli(kBuiltIn + QStringList{"list", "--format", "html"});
    QCOMPARE(html.status, 0);
    QVERIFY(html.out.startsWith("<!DOCTYPE html>"));
    QVERIFY2(html.out.contains("<td>A,&quot;B&quot; c </td>"), html.out.constData());

    // A folder whose name has a comma and Japanese characters.
    const QString folder = home_->filePath("曲, 2026");
    QCOMPARE(cli(kBuiltIn + QStringList{"import", "tone:1", folder}).status, 0);
    QCOMPARE(cli({"library", "scan", folder}).status, 0);
    const QList<QStringList> found =
        csvRecords(cli({"library", "find", "Glass", "--format", "csv"}).out);
    QCOMPARE(found.size(), 2);
    QCOMPARE(found[1].mid(0, 4),
             (QStringList{QDir(folder).filePath("TON_Glass EP.nvb"), "Tone", "Glass EP", "60"}));
}

// Tags belong to an item: given to a file, the slot that holds the same item has them and a
// copy in another folder is found by them after a scan; "-TAG" takes one away; bad tags are
// refused with nothing changed; exported, they come back in a fresh home.
void TestCliCommands::tagsFollowTheItemToItsSlotAndCopiesAndToAnotherPc() {
    const QString songs = home_->filePath("songs");
    QCOMPARE(cli(kBuiltIn + QStringList{"import", "tone:1", songs}).status, 0);
    const QString file = QDir(songs).filePath("TON_Glass EP.nvb");
    Run run = cli({"tag", file, "+pads", "+live set", "--note", "for the June concert"});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.out), QString("live set, pads | for the June concert\n"));
    run = cli(kBuiltIn + QStringList{"tag", "tone:1", "-pads", "+Lesson 3"});
    QCOMPARE(run.status, 0);
    QCOMPARE(QString::fromUtf8(run.out), QString("Lesson 3, live set | for the June concert\n"));

    const QString elsewhere = home_->filePath("elsewhere");
    QVERIFY(QDir().mkpath(elsewhere));
    QVERIFY(QFile::copy(file, QDir(elsewhere).filePath("renamed.nvb")));
    QCOMPARE(cli({"library", "scan", songs, elsewhere}).status, 0);
    const auto filesWith = [&](const QStringList& how) {
        QStringList files;
        const QJsonObject found =
            QJsonDocument::fromJson(cli(QStringList{"--json", "library", "find"} + how).out)
                .object();
        for (const QJsonValue item : found["items"].toArray()) {
            files << item.toObject()["file"].toString();
        }
        return files;
    };
    const QStringList both{QDir(elsewhere).filePath("renamed.nvb"), file};  // by path
    QCOMPARE(filesWith({"--tag", "LESSON 3"}), both);
    QCOMPARE(filesWith({"--text", "june live"}), both);
    QCOMPARE(filesWith({"Glass", "--tag", "pads"}), QStringList());
    // Shared as CSV, each file's item with its tags (a column only a tagged list has).
    const QList<QStringList> shared =
        csvRecords(cli({"library", "find", "--tag", "lesson 3", "--format", "csv"}).out);
    QCOMPARE(shared.size(), 3);
    QCOMPARE(shared[0].last(), QString("Tags"));
    QCOMPARE(shared[2].last(), QString("Lesson 3, live set"));

    for (const QString& bad : {QString("+"), "+" + QString(65, 'x'), QString("+a\tb")}) {
        run = cli(kBuiltIn + QStringList{"tag", "tone:1", bad});
        QCOMPARE(run.status, 1);
    }
    QVERIFY(cli({"tag", file, "--note", "two\nlines"}).status == 1);
    QCOMPARE(QString::fromUtf8(cli({"tag", file}).out),
             QString("Lesson 3, live set | for the June concert\n"));

    // To a new PC: the tags file, taken in by a home that has none.
    const QString exported = home_->filePath("tags.json");
    QCOMPARE(cli({"tags", "export", exported}).status, 0);
    qputenv("XDG_DATA_HOME", home_->filePath("new-pc").toLocal8Bit());
    QCOMPARE(QString::fromUtf8(cli({"tag", file}).out), QString("\n"));
    QCOMPARE(cli({"tags", "import", exported}).status, 0);
    QCOMPARE(cli({"library", "scan", elsewhere}).status, 0);
    QCOMPARE(filesWith({"--tag", "live set"}),
             QStringList{QDir(elsewhere).filePath("renamed.nvb")});
    QCOMPARE(QString::fromUtf8(cli({"tag", file}).out),
             QString("Lesson 3, live set | for the June concert\n"));
}

// Every item seen in a slot or sent there is a version of it: two sends to tone:2 leave its
// three items, each with where it came from; "restore --as-of" a moment between them puts the
// middle one back byte for byte as one undo step (a dry run changes nothing); "changes" names
// the one slot changed; a backup of a keyboard seen whole already adds no item; an item file
// that went missing is said by name and changes nothing.
void TestCliCommands::versionsRememberEverySlotAndPutTheKeyboardBackAsItWas() {
    const QString files = home_->filePath("files");
    QCOMPARE(cli(kBuiltIn + QStringList{"import", "tone:0", "tone:1", files}).status, 0);
    const QString velvet = QDir(files).filePath("TON_Velvet  .nvb");
    const QString glass = QDir(files).filePath("TON_Glass EP.nvb");
    const auto bytesOf = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    // What tone:2 holds, as a file of its own.
    int checks = 0;
    const auto tone2 = [&] {
        const QString folder = home_->filePath(QString("check%1").arg(++checks));
        if (cli(kBuiltIn + QStringList{"import", "tone:2", folder}).status != 0) {
            return QByteArray();
        }
        const QStringList made = QDir(folder).entryList(QDir::Files);
        return made.size() == 1 ? bytesOf(QDir(folder).filePath(made.first())) : QByteArray();
    };
    const QByteArray brass = tone2();
    QCOMPARE(cli(kBuiltIn + QStringList{"send", glass, "tone:2"}).status, 0);
    // Versions are stamped to the millisecond: the moment lies strictly between the sends.
    QThread::msleep(2);
    const QString between = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    QThread::msleep(2);
    QCOMPARE(cli(kBuiltIn + QStringList{"send", velvet, "tone:2"}).status, 0);

    Run run = cli(kBuiltIn + QStringList{"--json", "versions", "tone:2"});
    QCOMPARE(run.status, 0);
    QStringList seen;
    QString glassHash;
    for (const QJsonValue value : run.object()["versions"].toArray()) {
        const QJsonObject version = value.toObject();
        seen << version["name"].toString() + '|' + version["how"].toString() + '|' +
                    version["source"].toString().section(' ', 0, 0);
        if (version["name"] == "Glass EP") {
            glassHash = version["sha256"].toString();
        }
    }
    // Newest first: each send, and what the slot held before it, fetched to be kept.
    QCOMPARE(seen, (QStringList{"Velvet  |sent|send", "Glass EP|fetched|send",
                                "Glass EP|sent|send", "Brass Up|fetched|send",
                                "Brass Up|fetched|import"}));
    // A file's item: where and when it was on the keyboard, in every slot.
    QStringList places;
    for (const QJsonValue value :
         cli({"--json", "versions", glass}).object()["versions"].toArray()) {
        places << value.toObject()["slot"].toString() + '|' + value.toObject()["how"].toString();
    }
    QCOMPARE(places, (QStringList{"tone:2|fetched", "tone:2|sent", "tone:1|fetched"}));

    run = cli(kBuiltIn + QStringList{"--json", "changes", "--since", between});
    QCOMPARE(run.status, 0);
    const QJsonArray changed = run.object()["changes"].toArray();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed[0].toObject()["slot"].toString(), QString("tone:2"));
    QCOMPARE(changed[0].toObject()["change"].toString(), QString("changed"));
    // Between two moments before the second send: nothing changed.
    run = cli(kBuiltIn + QStringList{"--json", "changes", "--since", between, "--until", between});
    QCOMPARE(run.object()["changes"].toArray().size(), 0);

    const QByteArray listed = cli(kBuiltIn + QStringList{"--json", "list"}).out;
    const QByteArray history = cli({"--json", "history"}).out;
    run = cli(kBuiltIn + QStringList{"--json", "restore", "--as-of", between, "--dry-run"});
    QCOMPARE(run.status, 0);
    // Tone 2 goes back; the slots the program knew nothing of then stay as they are.
    QStringList planned;
    for (const QJsonValue item : run.object()["items"].toArray()) {
        const QString slot = item.toObject()["slot"].toString();
        const QString plan = item.toObject()["plan"].toString();
        const bool knownThen = QStringList{"tone:0", "tone:1", "tone:2"}.contains(slot);
        if (plan != (knownThen ? "identical" : "keep")) {
            planned << slot + ' ' + plan;
        }
    }
    QVERIFY2(planned == QStringList{"tone:2 replace"}, qPrintable(planned.join(", ")));
    QCOMPARE(cli(kBuiltIn + QStringList{"--json", "list"}).out, listed);
    QCOMPARE(cli({"--json", "history"}).out, history);

    QCOMPARE(cli(kBuiltIn + QStringList{"restore", "--as-of", between}).status, 0);
    QCOMPARE(tone2(), bytesOf(glass));
    QCOMPARE(cli(kBuiltIn + QStringList{"undo"}).status, 0);
    QCOMPARE(tone2(), bytesOf(velvet));
    QVERIFY(brass != bytesOf(velvet) && !brass.isEmpty());

    // Seen whole once, the keyboard adds rows and no item at its next backup.
    const auto itemFiles = [this] {
        QStringList found;
        QDirIterator walk(home_->filePath("data/NvbMan/versions/items"), QDir::Files,
                          QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            found << walk.next();
        }
        return found;
    };
    QCOMPARE(cli(kBuiltIn + QStringList{"backup", home_->filePath("backup1")}).status, 0);
    const QStringList itemsBefore = itemFiles();
    const auto versionsOfTone5 = [&] {
        return cli(kBuiltIn + QStringList{"--json", "versions", "tone:5"})
            .object()["versions"]
            .toArray()
            .size();
    };
    const qsizetype tone5Before = versionsOfTone5();
    QCOMPARE(cli(kBuiltIn + QStringList{"backup", home_->filePath("backup2")}).status, 0);
    QCOMPARE(itemFiles(), itemsBefore);
    QCOMPARE(versionsOfTone5(), tone5Before + 1);

    // Glass EP's item file gone: said by slot and file; the keyboard stays as it is.
    QVERIFY(!glassHash.isEmpty());
    const QStringList gone = itemFiles().filter(glassHash);
    QCOMPARE(gone.size(), 1);
    QVERIFY(QFile::remove(gone.first()));
    run = cli(kBuiltIn + QStringList{"restore", "--as-of", between});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains("tone:2 cannot be put back") &&
                 run.err.contains(QDir::toNativeSeparators(gone.first()).toUtf8()),
             run.err.constData());
    QCOMPARE(tone2(), bytesOf(velvet));

    // The versions lost (or kept by no program before): the past comes back, once, from the
    // kept copies, with the change that kept each, and from the backups of the library.
    QVERIFY(QDir(home_->filePath("data/NvbMan/versions")).removeRecursively());
    QCOMPARE(cli({"library", "scan", home_->path()}).status, 0);
    run = cli(kBuiltIn + QStringList{"--json", "versions", "tone:2"});
    QVERIFY2(run.status == 0, run.err.constData());
    QVERIFY2(run.err.contains("the keyboard's past now holds"), run.err.constData());
    QStringList sources;
    for (const QJsonValue value : run.object()["versions"].toArray()) {
        sources << value.toObject()["name"].toString() + '|' + value.toObject()["source"].toString();
    }
    for (const QString& wanted :
         QStringList{"Brass Up|kept before Send to tone:2", "Glass EP|kept before Send to tone:2",
          "Velvet  |backup " + QDir::toNativeSeparators(home_->filePath("backup1")),
          "Velvet  |backup " + QDir::toNativeSeparators(home_->filePath("backup2"))}) {
        QVERIFY2(sources.contains(wanted), qPrintable(sources.join('\n')));
    }
    run = cli(kBuiltIn + QStringList{"--json", "versions", "tone:2"});
    QVERIFY(!run.err.contains("the keyboard's past now holds"));

    // A deletion is a version too: the slot emptied, and "changes" says it was removed.
    const QString beforeDelete = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    QThread::msleep(2);
    QCOMPARE(cli(kBuiltIn + QStringList{"delete", "song:0"}).status, 0);
    const QJsonObject newest =
        cli(kBuiltIn + QStringList{"--json", "versions", "song:0"}).object()["versions"][0].toObject();
    QCOMPARE(newest["how"].toString(), QString("emptied"));
    QVERIFY(newest["name"].isNull() && newest["sha256"].isNull());
    run = cli(kBuiltIn + QStringList{"changes", "--since", beforeDelete});
    QVERIFY2(run.out.startsWith("song:0    removed"), run.out.constData());

    // Pruned: each slot keeps the newest version of every item it held, nothing more.
    QCOMPARE(cli({"versions", "--prune"}).status, 2);
    QCOMPARE(cli({"versions", "--prune", "--older-than", "0"}).status, 0);
    QStringList kept;
    for (const QJsonValue value :
         cli(kBuiltIn + QStringList{"--json", "versions", "tone:2"}).object()["versions"].toArray()) {
        kept << value.toObject()["name"].toString();
    }
    kept.sort();
    QCOMPARE(kept, (QStringList{"Brass Up", "Glass EP", "Velvet  "}));
}

void TestCliCommands::usageErrorsComeBeforeAnyTraffic_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("text");  // the last line on stderr, without "nvbman-cli: "
    QTest::newRow("no command") << QStringList{} << "no command given";
    QTest::newRow("unknown command") << QStringList{"erase"} << "unknown command 'erase'";
    QTest::newRow("a list as a PDF")
        << QStringList{"list", "--format", "pdf"} << "--format is csv or html, not 'pdf'";
    QTest::newRow("malformed slot")
        << QStringList{"import", "tone:12"}
        << "'tone:12' is not a slot (tone:N, dsp:N, reg:B.N, song:N, rhythm:N)";
    QTest::newRow("bank on a tone") << QStringList{"delete", "tone:1.2"}
                                    << "'tone:1.2' is not a slot (tone:N, dsp:N, reg:B.N, "
                                       "song:N, rhythm:N)";
    QTest::newRow("slot with a final newline")
        << QStringList{"delete", "dsp:8\n"}
        << "'dsp:8\n' is not a slot (tone:N, dsp:N, reg:B.N, song:N, rhythm:N)";
    QTest::newRow("missing argument") << QStringList{"send", "file.nvb"} << "missing argument";
    QTest::newRow("extra argument") << QStringList{"list", "now"} << "unexpected argument 'now'";
    QTest::newRow("unknown option")
        << QStringList{"--colour", "list"} << "Unknown option 'colour'.";
    QTest::newRow("delete a tone") << QStringList{"delete", "tone:0"}
                                   << "only song and rhythm slots can be deleted ('tone:0' is "
                                      "not one)";
    QTest::newRow("a slot twice") << QStringList{"import", "tone:1", "tone:1"}
                                  << "slot 'tone:1' is given twice";
    QTest::newRow("a mistyped slot last")
        << QStringList{"import", "tone:1", "tone:12"}
        << "'tone:12' is not a slot (tone:N, dsp:N, reg:B.N, song:N, rhythm:N)";
    QTest::newRow("all with slots")
        << QStringList{"import", "all", "tone:1", "dir"} << "unexpected argument 'dir'";
    QTest::newRow("a period too long")
        << QStringList{"--period", "99999", "list"} << "'99999' is no period (0 to 8192 frames)";
    QTest::newRow("copy across kinds")
        << QStringList{"copy", "tone:1", "dsp:1"}
        << "copy needs two different slots of one kind ('tone:1', 'dsp:1')";
    QTest::newRow("a slot onto itself")
        << QStringList{"swap", "song:0", "song:0"}
        << "swap needs two different slots of one kind ('song:0', 'song:0')";
    QTest::newRow("move a tone") << QStringList{"move", "tone:1", "tone:2"}
                                 << "only songs and rhythms can be moved; a tone can be copied "
                                    "or swapped";
    QTest::newRow("an edit with nothing kept")
        << QStringList{"--no-safety-copy", "swap", "song:0", "song:1"}
        << "swap always keeps what it replaces (no --no-safety-copy)";
    QTest::newRow("put back no number")
        << QStringList{"put-back", "latest"} << "'latest' is not the number of a kept copy";
}

void TestCliCommands::usageErrorsComeBeforeAnyTraffic() {
    QFETCH(QStringList, args);
    QFETCH(QString, text);
    const QString said = "nvbman-cli: " + text + " (try --help)";
    const Run plain = cli(kBuiltIn + args);
    QCOMPARE(plain.status, int(cli::BadUsage));
    QVERIFY2(plain.out.isEmpty(), plain.out.constData());
    QCOMPARE(QString::fromUtf8(plain.err), said + '\n');
    // --json: the same text, also as the one object on stdout.
    const Run json = cli(QStringList{"--json"} + kBuiltIn + args);
    QCOMPARE(json.status, int(cli::BadUsage));
    QCOMPARE(json.out.count('\n'), 1);
    const QJsonObject error = json.object()["error"].toObject();
    QCOMPARE(error["code"].toString(), QString("usage"));
    QCOMPARE(error["text"].toString(), said);
    QCOMPARE(messagesOnTheWire_, 0);
}

void TestCliCommands::failuresSayTheirCodeAndText_data() {
    QTest::addColumn<QStringList>("args");  // HOME is the test's folder
    QTest::addColumn<kbdsim::Faults>("faults");
    QTest::addColumn<int>("kind");  // the keyboard kind the keyboard reports
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");  // the whole error text; its last line ends stderr
    const kbdsim::Faults none;
    QTest::newRow("a keyboard that never answers")
        << QStringList{"list"} << faults([](kbdsim::Faults& f) { f.silent = true; }) << 0
        << "timeout"
        << "MIDI Timeout";
    QTest::newRow("another keyboard") << QStringList{"list"} << none << 3 << "unknown-keyboard"
                                      << "Unknown keyboard type";
    QTest::newRow("a file that is not there")
        << QStringList{"send", "HOME/missing.nvb", "tone:1"} << none << 0 << "file"
        << "Cannot open \"HOME/missing.nvb\": No such file or directory";
    QTest::newRow("a file that is no .nvb file")
        << QStringList{"send", "HOME/notes.txt", "tone:1"} << none << 0 << "not-nvb-file"
        << "No NVB file";
    QTest::newRow("a tone into a DSP slot")
        << QStringList{"send", "HOME/tone.nvb", "dsp:0"} << none << 0 << "type-mismatch"
        << "Data type is different";
    QTest::newRow("a song larger than the free memory")
        << QStringList{"send", "HOME/big.nvb", "song:1"} << none << 0 << "no-memory"
        << "Not enough memory";
    QTest::newRow("a block the keyboard rejects")
        << QStringList{"send", "HOME/tone.nvb", "tone:0"} << rejectedBlock(0) << 0 << "keyboard"
        << "rejected by keyboard";
    QTest::newRow("a block with a wrong checksum")
        << QStringList{"import", "song:0", "HOME"}
        << faults([](kbdsim::Faults& f) { f.corruptChecksumBlock = 0; }) << 0 << "keyboard"
        << "invaild checksum";
    // The old song went before the blocks: the user hears that the slot is empty now, and
    // where the old song is kept.
    QTest::newRow("a rejected block over a song, nothing kept")
        << QStringList{"--no-safety-copy", "send", "HOME/song.nvb", "song:0"} << rejectedBlock(2)
        << 0 << "song-slot-emptied"
        << "rejected by keyboard\nThe song slot is now empty: its old song was deleted before "
           "the new one was sent.";
    QTest::newRow("a rejected block over a song, kept")
        << QStringList{"send", "HOME/song.nvb", "song:0"} << rejectedBlock(2) << 0
        << "song-slot-emptied"
        << "rejected by keyboard\nThe song slot is now empty: its old song was deleted before "
           "the new one was sent.\nThe old item \"Sunrise \" was kept as copy 1 "
           "(\"HOME/data/NvbMan/replaced/1-SNG_Sunrise .nvb\"). To put it back: File > "
           "Replaced Items..., or nvbman-cli put-back 1.";
    QTest::newRow("an empty slot")
        << QStringList{"import", "song:1", "HOME"} << none << 0 << "system"
        << "The slot song:1 is empty: there is nothing to import.";
    QTest::newRow("one of two slots empty")
        << QStringList{"import", "tone:1", "song:1", "HOME"} << none << 0 << "items-failed"
        << "The slot song:1 is empty: there is nothing to import.";
    QTest::newRow("a backup into a file")
        << QStringList{"backup", "HOME/notes.txt"} << none << 0 << "system"
        << "\"HOME/notes.txt\" is not a folder.";
    QTest::newRow("a folder without a backup")
        << QStringList{"verify", "HOME"} << none << 0 << "file"
        << "Cannot open \"HOME/nvbman-backup.json\": No such file or directory";
    QTest::newRow("no such kept copy") << QStringList{"put-back", "99"} << none << 0 << "system"
                                       << "There is no kept copy 99 (see: nvbman-cli replaced).";
    QTest::newRow("nothing to undo") << QStringList{"undo"} << none << 0 << "system"
                                     << "There is nothing to undo.";
    QTest::newRow("no keyboard on any pair") << QStringList{"find"} << none << 0 << "system"
                                             << "No MLS-850 answered on any pair of MIDI devices.";
}

void TestCliCommands::failuresSayTheirCodeAndText() {
    QFETCH(QStringList, args);
    QFETCH(kbdsim::Faults, faults);
    QFETCH(int, kind);
    QFETCH(QString, code);
    QFETCH(QString, text);
    writeItem(home_->filePath("tone.nvb"), DataType::Tone, 30, 1);
    writeItem(home_->filePath("big.nvb"), DataType::Song, 10000, 2);
    writeItem(home_->filePath("song.nvb"), DataType::Song, 500, 4);
    QFile notes(home_->filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("These are words, not a keyboard item.\n");
    notes.close();
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.kind = kind;
    startKeyboard(memory, faults);
    const QStringList filesBefore = QDir(home_->path()).entryList(QDir::Files);

    args.replaceInStrings("HOME", home_->path());
    text.replace("HOME", home_->path());
    const Run r = cli(QStringList{"--json"} + kBuiltIn + args);
    QCOMPARE(r.status, int(cli::Failure));
    QCOMPARE(r.out.count('\n'), 1);
    const QJsonObject object = r.object();
    const QJsonObject error = object["error"].toObject();
    QCOMPARE(error["code"].toString(), code);
    QCOMPARE(error["text"].toString(), text);
    QVERIFY2(QString::fromUtf8(r.err).endsWith(text + '\n'), r.err.constData());
    // Nothing half-made is left: only the item that was fetched whole.
    QStringList filesAfter = QDir(home_->path()).entryList(QDir::Files);
    if (code == "items-failed") {
        const QJsonArray items = object["items"].toArray();
        QCOMPARE(items.size(), 2);
        QCOMPARE(items[0].toObject()["file"].toString(), home_->filePath("TON_Glass EP.nvb"));
        QVERIFY(items[1].toObject()["file"].isNull());
        QCOMPARE(items[1].toObject()["error"].toString(), text);
        QVERIFY(filesAfter.removeOne("TON_Glass EP.nvb"));
    }
    QCOMPARE(filesAfter, filesBefore);
}

void TestCliCommands::everyCommandsJsonHasItsShape() {
    QVERIFY(QDir(home_->path()).mkdir("out"));
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    const QString folder = home_->filePath("out");
    const QString backupFolder = home_->filePath("backup");
    const auto json = [&](const QStringList& args) {
        const Run r = cli(QStringList{"--json"} + kBuiltIn + args);
        [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        [&] { QCOMPARE(r.out.count('\n'), 1); }();
        const QJsonObject object = r.object();
        [&] {
            QVERIFY2(object.contains("error") && object["error"].isNull(), r.out.constData());
        }();
        return object;
    };
    const QStringList jobKeys{"error", "folder", "items"};
    const QStringList outcomeKeys{"code",    "error",   "file", "identical", "keptCopy",
                                  "removed", "retried", "slot", "warning"};

    QJsonObject o = json({"devices"});
    QCOMPARE(keysOf(o), (QStringList{"error", "inputs", "outputs"}));
    QCOMPARE(o["inputs"].toArray().last().toObject(),
             (QJsonObject{{"number", o["inputs"].toArray().size() - 1},
                          {"name", kbdsim::BuiltInKeyboard::kDeviceName}}));

    o = json({"list"});
    QCOMPARE(keysOf(o), (QStringList{"areas", "error", "freeMemory", "model", "slots"}));
    QCOMPARE(o["model"].toString(), QString("MLS-850"));
    QCOMPARE(o["areas"].toArray().size(), 4);
    QCOMPARE(o["slots"].toArray().size(), 42);
    QCOMPARE(o["slots"].toArray()[1].toObject(), (QJsonObject{{"slot", "tone:1"},
                                                              {"area", "Tone:"},
                                                              {"folder", ""},
                                                              {"type", DataType::Tone},
                                                              {"bank", 0},
                                                              {"number", 1},
                                                              {"name", "Glass EP"},
                                                              {"size", 60},
                                                              {"present", true}}));

    o = json({"import", "tone:1", "reg:1.2", folder});
    QCOMPARE(keysOf(o), jobKeys);
    QCOMPARE(o["folder"].toString(), folder);
    QCOMPARE(o["items"].toArray().size(), 2);
    QCOMPARE(keysOf(o["items"].toArray()[1].toObject()), outcomeKeys);
    QCOMPARE(o["items"].toArray()[0].toObject()["file"].toString(), folder + "/TON_Glass EP.nvb");

    o = json({"show", folder + "/TON_Glass EP.nvb"});
    QCOMPARE(o, (QJsonObject{{"file", folder + "/TON_Glass EP.nvb"},
                             {"type", DataType::Tone},
                             {"typeName", "Tone"},
                             {"size", 60},
                             {"name", "Glass EP"},
                             {"error", QJsonValue()}}));

    o = json({"--verify", "send", folder + "/TON_Glass EP.nvb", "tone:4"});
    QCOMPARE(keysOf(o), (QStringList{"error", "file", "keptCopy", "name", "retried", "size", "slot",
                                     "verified"}));
    QCOMPARE(o["keptCopy"].toInt(), 1);  // tone:4 held another tone before
    QCOMPARE(o["verified"].toBool(), true);

    o = json({"delete", "rhythm:0"});
    QCOMPARE(
        o,
        (QJsonObject{
            {"slot", "rhythm:0"}, {"name", "Bossa 2 "}, {"keptCopy", 2}, {"error", QJsonValue()}}));

    o = json({"replaced"});
    QCOMPARE(o["items"].toArray().size(), 2);
    const QJsonObject newest = o["items"].toArray()[0].toObject();
    QCOMPARE(newest["id"].toInt(), 2);
    QVERIFY(!newest.contains("replacedBy"));
    QVERIFY(QFileInfo(newest["file"].toString()).isFile());

    o = json({"swap", "song:0", "song:1"});
    QCOMPARE(keysOf(o), (QStringList{"change", "error"}));
    const QJsonObject change = o["change"].toObject();
    o = json({"history"});
    QCOMPARE(o["undo"].toArray().first().toObject(), change);
    QVERIFY(o["redo"].toArray().isEmpty());
    QCOMPARE(json({"undo"})["undone"].toObject(), change);
    // Redone, the swap is a change of its own again.
    QCOMPARE(json({"redo"})["redone"].toObject()["title"], change["title"]);

    o = json({"backup", backupFolder});
    QCOMPARE(keysOf(o), jobKeys);
    QCOMPARE(o["items"].toArray().size(), 38);  // 42 slots, less an empty song and 3 rhythms
    o = json({"verify", backupFolder});
    QCOMPARE(keysOf(o["items"].toArray()[0].toObject()),
             (QStringList{"error", "file", "retried", "slot", "verdict"}));
    QCOMPARE(o["items"].toArray()[0].toObject()["verdict"].toString(), QString("identical"));
    o = json({"restore", "--dry-run", backupFolder});
    QCOMPARE(keysOf(o["items"].toArray()[0].toObject()),
             (QStringList{"error", "file", "plan", "slot"}));
    o = json({"restore", backupFolder});
    QCOMPARE(o["items"].toArray().size(), 38);
    QVERIFY(o["items"].toArray()[0].toObject()["identical"].toBool());

    // Exchange and the library: jobs as above, the index's own objects.
    const QString dumps = home_->filePath("dumps");
    o = json({"export", "tone:1", dumps});
    QCOMPARE(keysOf(o), jobKeys);
    QCOMPARE(keysOf(o["items"].toArray()[0].toObject()), outcomeKeys);
    const QString dump = o["items"].toArray()[0].toObject()["file"].toString();
    QCOMPARE(dump, dumps + "/TON_Glass EP.syx");
    o = json({"convert", dump, home_->filePath("converted")});
    QCOMPARE(keysOf(o), jobKeys);
    QCOMPARE(o["items"].toArray()[0].toObject()["file"].toString(),
             home_->filePath("converted/TON_Glass EP.nvb"));
    QCOMPARE(json({"library", "scan", dumps}), (QJsonObject{{"files", 1},
                                                            {"read", 1},
                                                            {"removed", 0},
                                                            {"problems", QJsonArray()},
                                                            {"error", QJsonValue()}}));
    o = json({"library", "find", "Glass"});
    QCOMPARE(keysOf(o), (QStringList{"error", "items"}));
    QCOMPARE(keysOf(o["items"].toArray()[0].toObject()),
             (QStringList{"file", "item", "name", "sha256", "size", "type", "typeName"}));
    o = json({"status"});
    QCOMPARE(keysOf(o), (QStringList{"error", "notOnPc", "slots"}));
    QCOMPARE(o["slots"].toArray()[1].toObject(),
             (QJsonObject{{"slot", "tone:1"}, {"name", "Glass EP"}, {"files", QJsonArray{dump}}}));

    // The edits say their change as history does; put-back says its send.
    for (const QStringList& edit :
         {QStringList{"copy", "tone:0", "tone:2"}, QStringList{"move", "song:1", "song:0"},
          QStringList{"rename", "tone:3", "Abc"}}) {
        o = json(edit);
        QCOMPARE(keysOf(o), (QStringList{"change", "error"}));
        QCOMPARE(o["change"].toObject()["action"].toString(), edit[0]);
        QCOMPARE(keysOf(o["change"].toObject()),
                 (QStringList{"action", "id", "keyboard", "steps", "subjects", "time", "title"}));
    }
    o = json({"put-back", "1"});
    QCOMPARE(keysOf(o), (QStringList{"error", "file", "keptCopy", "name", "retried", "size", "slot",
                                     "verified"}));
    QCOMPARE(o["slot"].toString(), QString("tone:4"));

    // A job's failed item says why in words and by code; the job fails as a whole.
    const Run partly = cli(QStringList{"--json"} + kBuiltIn +
                           QStringList{"import", "tone:1", "song:1", home_->filePath("partly")});
    QCOMPARE(partly.status, 1);
    const QJsonArray items = partly.object()["items"].toArray();
    QCOMPARE(items[0].toObject()["code"], QJsonValue());
    QCOMPARE(items[1].toObject()["code"].toString(), QString("system"));
    QCOMPARE(items[1].toObject()["error"].toString(),
             QString("The slot song:1 is empty: there is nothing to import."));
    QCOMPARE(partly.object()["error"].toObject()["code"].toString(), QString("items-failed"));

    // A failure is one object too: its code and text.
    const Run notFound = cli({"--json", "find"});
    QCOMPARE(notFound.status, 1);
    QCOMPARE(notFound.object(),
             (QJsonObject{{"error", QJsonObject{{"code", "system"},
                                                {"text",
                                                 "No MLS-850 answered on any pair of "
                                                 "MIDI devices."}}}}));
}

void TestCliCommands::textOutputIsAsDocumented() {
    QVERIFY(QDir(home_->path()).mkdir("out"));
    const QString folder = home_->filePath("out");
    const auto text = [&](const QStringList& args) {
        const Run r = cli(kBuiltIn + args);
        [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        return QString::fromUtf8(r.out);
    };
    const QStringList list = text({"list"}).split('\n');
    QCOMPARE(list.mid(0, 3), (QStringList{"Tone:  used 600 of 600 bytes, 0 free",
                                          "  tone:0     \"Velvet  \"      60 ",
                                          "  tone:1     \"Glass EP\"      60 "}));
    QVERIFY(list.contains("  song:1     \"Song 1\"         0 (empty)"));
    QCOMPARE(list.size(), 42 + 4 + 1);  // a row per slot, a heading per area, the last line's end
    QCOMPARE(text({"import", "tone:1", folder}), folder + "/TON_Glass EP.nvb\n");
    QCOMPARE(text({"import", "dsp:0", "song:0", folder}),
             "dsp:0 " + folder + "/DSP_Hall 1  .nvb\nsong:0 " + folder + "/SNG_Sunrise .nvb\n");
    QCOMPARE(text({"show", folder + "/TON_Glass EP.nvb"}),
             QString("type: 2 (Tone)\nsize: 60\nname: \"Glass EP\"\n"));
    QCOMPARE(text({"rename", "tone:1", "Mellow"}), QString("Rename tone:1 to \"Mellow\"\n"));
    QVERIFY(
        text({"history"})
            .contains(QRegularExpression("^undo    1  \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d  "
                                         "Rename tone:1 to \"Mellow\"  "
                                         "on MLS-850 Simulator \\(built-in\\)\n$")));
    QCOMPARE(text({"undo"}), QString("Undone: Rename tone:1 to \"Mellow\"\n"));
}

void TestCliCommands::controlCharactersNeverReachTheTerminal() {
    // A song whose name holds a newline and the start of an escape sequence.
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setName({DataType::Song, 0, 0}, std::string("A\nB\x1b[2J "));
    startKeyboard(memory);
    const Run list = cli(kBuiltIn + QStringList{"list"});
    QVERIFY2(list.status == 0, list.err.constData());
    const Run imported = cli(kBuiltIn + QStringList{"import", "song:0", home_->path()});
    QVERIFY2(imported.status == 0, imported.err.constData());
    const Run show = cli({"show", QString::fromUtf8(imported.out.trimmed())});
    QVERIFY2(show.status == 0, show.err.constData());
    for (const QByteArray& out : {list.out, show.out}) {
        QVERIFY2(!out.contains('\x1b'), out.constData());
        QVERIFY2(out.contains("\"A\\x0aB\\x1b[2J \""), out.constData());
    }
    QCOMPARE(list.out.trimmed().split('\n').size(), 42 + 4);
}

void TestCliCommands::aNameWithAZeroByteIsOneNameEverywhere_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("number");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("listed");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("tone, zero in the middle")
        << "tone:1" << int(DataType::Tone) << 1 << QByteArray("abc\0defg", 8) << "\"abc\\x00defg\""
        << "TON_abc_defg";
    QTest::newRow("song, zero at the end")
        << "song:0" << int(DataType::Song) << 0 << QByteArray("abcdefg\0", 8) << "\"abcdefg\\x00\""
        << "SNG_abcdefg_";
}

void TestCliCommands::aNameWithAZeroByteIsOneNameEverywhere() {
    // The keyboard answers a name in two halves of four bytes; the whole name is the one its
    // data holds, whatever bytes it has.
    QFETCH(QString, slot);
    QFETCH(int, type);
    QFETCH(int, number);
    QFETCH(QByteArray, name);
    QFETCH(QString, listed);
    QFETCH(QString, fileName);
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setName({std::uint16_t(type), 0, number}, name.toStdString());
    startKeyboard(memory);
    const Run list = cli(kBuiltIn + QStringList{"list"});
    QVERIFY2(list.out.contains(listed.toUtf8()), list.out.constData());
    const QString folder = home_->path();
    const Run imported = cli(kBuiltIn + QStringList{"import", slot, folder});
    QCOMPARE(QString::fromUtf8(imported.out), folder + "/" + fileName + ".nvb\n");
    const Run exported = cli(kBuiltIn + QStringList{"export", slot, folder});
    QCOMPARE(QString::fromUtf8(exported.out), slot + " " + folder + "/" + fileName + ".syx\n");
    // The dump's item, named from its data, takes the next free name beside the import.
    const QString converted = home_->filePath("converted");
    const Run convert = cli({"convert", folder + "/" + fileName + ".syx", converted});
    QVERIFY2(convert.out.contains((fileName + ".nvb").toUtf8()), convert.out.constData());
}

void TestCliCommands::restoreKeepsWhatItReplacesAndSendsOnlyWhatDiffers() {
    const auto run = [&](const QStringList& args) {
        const Run r = cli(kBuiltIn + args);
        [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        return r.object();
    };
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    const QString folder = home_->filePath("backup");
    run({"backup", folder});
    // A month later: another tone in tone:0.
    run({"import", "tone:2", home_->path()});
    run({"send", "--verify", home_->filePath("TON_Brass Up.nvb"), "tone:0"});

    // The plan names the one slot that differs; nothing changes for it.
    const auto plans = [&] {
        QStringList changing;
        for (const QJsonValue item :
             run({"--json", "restore", "--dry-run", folder})["items"].toArray()) {
            if (item["plan"].toString() != "identical") {
                changing << item["slot"].toString() + ' ' + item["plan"].toString();
            }
        }
        return changing;
    };
    QCOMPARE(plans(), QStringList{"tone:0 replace"});
    QCOMPARE(plans(), QStringList{"tone:0 replace"});

    // The restore sends only that slot, and keeps the tone it replaces.
    const QJsonArray items = run({"--json", "restore", folder})["items"].toArray();
    QCOMPARE(items.size(), 39);
    QJsonObject tone0;
    for (const QJsonValue item : items) {
        QCOMPARE(item["identical"].toBool(), item["slot"].toString() != "tone:0");
        if (item["slot"].toString() == "tone:0") {
            tone0 = item.toObject();
        }
    }
    QVERIFY(tone0["keptCopy"].isDouble());
    const QJsonArray kept = run({"--json", "replaced"})["items"].toArray();
    QCOMPARE(kept[0].toObject()["id"].toInteger(), tone0["keptCopy"].toInteger());
    QCOMPARE(kept[0].toObject()["why"].toString(), QString("restore"));
    QCOMPARE(kept[0].toObject()["name"].toString(), QString("Brass Up"));
    QCOMPARE(plans(), QStringList());
}

// keyboard → .syx → keyboard gives the same items, and a .syx converted gives the very file an
// import of the slot gives.
void TestCliCommands::dumpsGoOutAndComeBackUnchanged() {
    const QDir home(home_->path());
    for (const char* folder : {"syx", "nvb", "converted", "all-nvb", "all-converted"}) {
        QVERIFY(home.mkdir(folder));
    }
    const auto ok = [&](const QStringList& args) {
        const Run r = cli(kBuiltIn + args);
        [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        return QString::fromUtf8(r.out);
    };
    const QString syx = home.filePath("syx");
    QCOMPARE(ok({"export", "tone:1", "reg:1.2", "song:0", syx}),
             QString("tone:1 %1/TON_Glass EP.syx\nreg:1.2 %1/REG_Preset13.syx\n"
                     "song:0 %1/SNG_Sunrise .syx\n")
                 .arg(syx));
    ok({"import", "tone:1", "reg:1.2", "song:0", home.filePath("nvb")});
    for (const QString& dump : QDir(syx).entryList(QDir::Files)) {
        ok({"convert", QDir(syx).filePath(dump), home.filePath("converted")});
    }
    const auto files = [](const QString& folder) {
        QMap<QString, QByteArray> contents;
        for (const QString& name : QDir(folder).entryList(QDir::Files)) {
            QFile file(QDir(folder).filePath(name));
            [&] { QVERIFY(file.open(QIODevice::ReadOnly)); }();
            contents[name] = file.readAll();
        }
        return contents;
    };
    QCOMPARE(files(home.filePath("converted")), files(home.filePath("nvb")));
    QCOMPARE(files(home.filePath("converted")).size(), 3);
    QCOMPARE(ok({"show", QDir(syx).filePath("TON_Glass EP.syx")}),
             QString("type: 2 (Tone)\nsize: 60\nname: \"Glass EP\"\n"));

    // The whole keyboard in one file, as any SysEx tool keeps it, back into .nvb files.
    const QString one = home.filePath("keyboard.syx");
    ok({"export", "--one-file", "all", one});
    ok({"import", "all", home.filePath("all-nvb")});
    ok({"convert", one, home.filePath("all-converted")});
    QCOMPARE(files(home.filePath("all-converted")), files(home.filePath("all-nvb")));
    QCOMPARE(files(home.filePath("all-nvb")).size(), 39);

    // Back into the keyboard: a song sent from its dump is the song.
    ok({"send", QDir(syx).filePath("SNG_Sunrise .syx"), "song:1"});
    const KeyboardMemory& memory = keyboard_->keyboard().memory();
    QCOMPARE(memory.data({DataType::Song, 0, 1}), memory.data({DataType::Song, 0, 0}));
    QCOMPARE(memory.name({DataType::Song, 0, 1}), memory.name({DataType::Song, 0, 0}));
}

void TestCliCommands::dumpsThatCannotBeUsedSayWhy_data() {
    QTest::addColumn<QStringList>("args");  // HOME is the test's folder; all.syx the whole keyboard
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");   // the failure's text, its last line on stderr
    QTest::addColumn<int>("converted");  // the .nvb files written
    QTest::newRow("a dump cut short")
        << QStringList{"convert", "HOME/cut.syx", "HOME/out"} << "items-failed"
        << "The item of rhythm:2 in the dump cannot be used: the dump ends before its last "
           "block."
        << 38;
    QTest::newRow("several items sent into one slot")
        << QStringList{"send", "HOME/all.syx", "song:1"} << "system"
        << "\"HOME/all.syx\" holds 39 items: convert it into .nvb files (nvbman-cli convert) "
           "and send the one you want."
        << 0;
    QTest::newRow("no item of the keyboard's")
        << QStringList{"convert", "HOME/other.syx", "HOME/out"} << "system"
        << "\"HOME/other.syx\" holds no whole item of an MLS-850." << 0;
    QTest::newRow("larger than any dump")
        << QStringList{"convert", "HOME/huge.syx", "HOME/out"} << "file"
        << "Cannot read \"HOME/huge.syx\": it is larger (10485761 bytes) than any file of its "
           "kind (10485760 bytes)"
        << 0;
    QTest::newRow("one file, but no file named")
        << QStringList{"export", "--one-file", "tone:1", "HOME/out"} << "usage"
        << "nvbman-cli: export --one-file needs the .syx file to write last ('HOME/out' is "
           "none) (try --help)"
        << 0;
}

void TestCliCommands::dumpsThatCannotBeUsedSayWhy() {
    QFETCH(QStringList, args);
    QFETCH(QString, code);
    QFETCH(QString, text);
    QFETCH(int, converted);
    const QDir home(home_->path());
    QVERIFY(home.mkdir("out"));
    const Run exported =
        cli(kBuiltIn + QStringList{"export", "--one-file", "all", home.filePath("all.syx")});
    QVERIFY2(exported.status == 0, exported.err.constData());
    QFile all(home.filePath("all.syx"));
    QVERIFY(all.open(QIODevice::ReadOnly));
    const QByteArray dump = all.readAll();
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile file(home.filePath(name));
        [&] { QVERIFY(file.open(QIODevice::WriteOnly)); }();
        file.write(bytes);
    };
    write("cut.syx", dump.left(dump.size() - 40));  // into the last rhythm's only block
    write("other.syx", QByteArray::fromHex("f0431000f7fe904040f07e7f0601f7"));
    write("huge.syx", QByteArray(int(syx::kMaxDumpFile) + 1, char(0xFE)));

    args.replaceInStrings("HOME", home_->path());
    text.replace("HOME", home_->path());
    const Run r = cli(QStringList{"--json"} + kBuiltIn + args);
    QCOMPARE(r.status, code == "usage" ? int(cli::BadUsage) : int(cli::Failure));
    const QJsonObject error = r.object()["error"].toObject();
    QCOMPARE(error["code"].toString(), code);
    QCOMPARE(error["text"].toString(), text);
    QVERIFY2(QString::fromUtf8(r.err).endsWith(text + '\n'), r.err.constData());
    QCOMPARE(QDir(home.filePath("out")).entryList(QDir::Files).size(), converted);
    if (code == "items-failed") {
        // What was converted is listed with its file, the item that was not with its reason.
        const QJsonArray items = r.object()["items"].toArray();
        QCOMPARE(items.size(), converted + 1);
        QCOMPARE(items.last().toObject()["slot"].toString(), QString("rhythm:2"));
        QCOMPARE(items.last().toObject()["error"].toString(), text);
    }
}

// What is safe on the PC: after an import, after a file is renamed and after one is changed.
void TestCliCommands::statusNamesTheFilesThatHoldEachItem() {
    const QDir music(home_->filePath("music"));
    QVERIFY(QDir().mkpath(music.path()));
    const auto ok = [&](const QStringList& args) {
        const Run r = cli(kBuiltIn + args);
        [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        return r;
    };
    ok({"import", "tone:1", "song:0", music.path()});
    ok({"export", "reg:1.2", music.path()});
    QCOMPARE(QString::fromUtf8(ok({"library", "scan", music.path()}).out),
             QString("3 files, 3 read, 0 gone\n"));
    const auto onPc = [&] {
        QMap<QString, QStringList> held;
        const QJsonObject status = ok({"--json", "status"}).object();
        for (const QJsonValue slot : status["slots"].toArray()) {
            QStringList files;
            for (const QJsonValue file : slot["files"].toArray()) {
                files << music.relativeFilePath(file.toString());
            }
            if (!files.isEmpty()) {
                held[slot["slot"].toString()] = files;
            }
        }
        [&] { QCOMPARE(status["notOnPc"].toInt(), 39 - int(held.size())); }();
        return held;
    };
    using Held = QMap<QString, QStringList>;
    QCOMPARE(onPc(), (Held{{"tone:1", {"TON_Glass EP.nvb"}},
                           {"reg:1.2", {"REG_Preset13.syx"}},
                           {"song:0", {"SNG_Sunrise .nvb"}}}));
    // Renamed: found under its new name (status scans the library's folders first).
    QVERIFY(QFile::rename(music.filePath("TON_Glass EP.nvb"), music.filePath("keys.nvb")));
    // Changed: another song in that file, so the keyboard's song is on the PC no more.
    EkDataFile other(DataType::Song);
    other.setSize(40);
    other.words() = pattern(20, 9);
    NvbFileStream(music.filePath("SNG_Sunrise .nvb"), NvbFileStream::Create).write(other);
    QCOMPARE(onPc(), (Held{{"tone:1", {"keys.nvb"}}, {"reg:1.2", {"REG_Preset13.syx"}}}));
    const QString found = QString::fromUtf8(ok({"library", "find", "glass"}).out);
    QCOMPARE(found, "Tone         \"Glass EP\"  " + music.filePath("keys.nvb") + '\n');

    // Items of more than one block come with a wrong checksum: each is named, the others are
    // still looked up, and the command fails.
    keyboard_->keyboard().setFaults(faults([](kbdsim::Faults& f) { f.corruptChecksumBlock = 1; }));
    const Run damaged = cli(kBuiltIn + QStringList{"status"});
    QCOMPARE(damaged.status, int(cli::Failure));
    QVERIFY(damaged.out.contains("tone:1     \"Glass EP\"  " +
                                 QDir::toNativeSeparators(music.filePath("keys.nvb")).toUtf8()));
    QVERIFY(!damaged.out.contains("song:0"));
    for (const char* slot : {"reg:1.2", "song:0", "rhythm:0"}) {
        QVERIFY2(damaged.err.contains(QByteArray("nvbman-cli: ") + slot + " not checked: "),
                 damaged.err.constData());
    }
}

void TestCliCommands::newFilesNeverReplaceAFileOrFollowALink_data() {
    QTest::addColumn<QStringList>("command");  // "DIR": the folder the files go to
    QTest::addColumn<QString>("plain");        // the name the new file would have by itself
    QTest::newRow("import") << QStringList{"import", "tone:0", "DIR"} << "TON_Velvet  .nvb";
    QTest::newRow("import of several")
        << QStringList{"import", "tone:0", "tone:1", "DIR"} << "TON_Velvet  .nvb";
    QTest::newRow("export") << QStringList{"export", "tone:0", "DIR"} << "TON_Velvet  .syx";
    QTest::newRow("convert") << QStringList{"convert", "HOME/dump.syx", "DIR"}
                             << "TON_Velvet  .nvb";
}

void TestCliCommands::newFilesNeverReplaceAFileOrFollowALink() {
    QFETCH(QStringList, command);
    QFETCH(QString, plain);
    const QString folder = home_->filePath("out");
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(
        cli(kBuiltIn + QStringList{"export", "--one-file", "tone:0", home_->filePath("dump.syx")})
            .status == 0);
    command.replaceInStrings("DIR", folder).replaceInStrings("HOME", home_->path());
    // In the way: the user's own file of that name, and a link under the next name that leads
    // out of the folder.
    const QByteArray mine = "the user's own file";
    const QString outside = home_->filePath("outside.txt");
    for (const QString& path : {QDir(folder).filePath(plain), outside}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(mine);
    }
    const qsizetype dot = plain.lastIndexOf('.');
    const QString second = plain.left(dot) + " (2)" + plain.mid(dot);
    QVERIFY(QFile::link(outside, QDir(folder).filePath(second)));

    const Run run = cli(kBuiltIn + command);
    QVERIFY2(run.status == 0, run.err.constData());
    const QString third = plain.left(dot) + " (3)" + plain.mid(dot);
    QVERIFY2(run.out.contains(third.toUtf8()), run.out.constData());
    for (const QString& path : {QDir(folder).filePath(plain), outside}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), mine);
    }
    QVERIFY(QFileInfo(QDir(folder).filePath(third)).size() > 0);
}

void TestCliCommands::aLibraryScanOfWhatIsNoFolderFails() {
    // A typing mistake must not look like an empty library.
    for (const QString& notAFolder : {home_->filePath("missing"), statePath()}) {
        const Run scan = cli({"--json", "library", "scan", notAFolder});
        QCOMPARE(scan.status, 1);
        QCOMPARE(scan.object()["error"].toObject()["text"].toString(),
                 QString("\"%1\" is not a folder.").arg(notAFolder));
    }
}

void TestCliCommands::missingTargetFoldersAreMade_data() {
    QTest::addColumn<QStringList>("command");  // DIR: the folder the files go to
    QTest::newRow("backup") << QStringList{"backup", "DIR"};
    QTest::newRow("import") << QStringList{"import", "tone:0", "DIR"};
    QTest::newRow("export") << QStringList{"export", "tone:0", "tone:1", "DIR"};
    QTest::newRow("convert") << QStringList{"convert", "HOME/dump.syx", "DIR"};
}

void TestCliCommands::missingTargetFoldersAreMade() {
    QFETCH(QStringList, command);
    QCOMPARE(
        cli(kBuiltIn + QStringList{"export", "--one-file", "tone:0", home_->filePath("dump.syx")})
            .status,
        0);
    command.replaceInStrings("HOME", home_->path());
    // Made with the folders above it, as mkdir -p makes them.
    const QString folder = home_->filePath("new/nested");
    const Run made = cli(kBuiltIn + QStringList(command).replaceInStrings("DIR", folder));
    QVERIFY2(made.status == 0, made.err.constData());
    QVERIFY(!QDir(folder).isEmpty());
    // A file where the folder would be is refused, and stays as it was.
    const QString file = home_->filePath("a-file");
    QFile blocker(file);
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("mine");
    blocker.close();
    const Run refused = cli(kBuiltIn + QStringList(command).replaceInStrings("DIR", file));
    QCOMPARE(refused.status, 1);
    QCOMPARE(refused.lastErrorLine(), QString("\"%1\" is not a folder.").arg(file));
    QCOMPARE(QFileInfo(file).size(), 4);
}

void TestCliCommands::aCancelledFirstStartLeavesEveryCommandWorking() {
    // What the window's first start leaves when its Preference dialog is cancelled: the mark
    // of a run, no devices.
    QVERIFY(QDir().mkpath(home_->filePath("config/Velta")));
    QFile settings(home_->filePath("config/Velta/NvbMan.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("[MIDI]\n.present=true\n");
    settings.close();
    const Run list = cli(kBuiltIn + QStringList{"list"});
    QVERIFY2(list.status == 0, list.err.constData());
    QVERIFY(QDir(home_->path()).mkdir("music"));
    const Run scan = cli({"library", "scan", home_->filePath("music")});
    QVERIFY2(scan.status == 0, scan.err.constData());
}

void TestCliCommands::aWrongPeriodVariableIsSaidAndPassedOver() {
    for (const char* wrong : {"garbage", "-5", "9000"}) {
        qputenv("NVBMAN_PIPEWIRE_PERIOD", wrong);
        const Run run = cli(kBuiltIn + QStringList{"list"});
        qunsetenv("NVBMAN_PIPEWIRE_PERIOD");
        QVERIFY2(run.status == 0, run.err.constData());
        QVERIFY2(
            run.err.contains(QByteArray("NVBMAN_PIPEWIRE_PERIOD '") + wrong + "' is no period"),
            run.err.constData());
    }
}

void TestCliCommands::historyIsCheckedBeforeTheKeyboardChanges_data() {
    // How history.json is left after "rename tone:0 Seed", and then what a command does.
    QTest::addColumn<QString>("history");  // "damaged", "last number", "step without copy"
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");  // part of the last line on stderr
    QTest::newRow("damaged, rename")
        << "damaged" << QStringList{"rename", "tone:6", "Qq"} << 1 << "The history of changes";
    QTest::newRow("damaged, delete")
        << "damaged" << QStringList{"delete", "rhythm:0"} << 1 << "The history of changes";
    QTest::newRow("a FIFO, history")
        << "fifo" << QStringList{"history"} << 1 << "The history of changes";
    QTest::newRow("a FIFO, rename")
        << "fifo" << QStringList{"rename", "tone:6", "Qq"} << 1 << "The history of changes";
    QTest::newRow("a link to /dev/zero")
        << "link" << QStringList{"history"} << 1 << "The history of changes";
    QTest::newRow("kept copies' list a FIFO")
        << "fifo list" << QStringList{"replaced"} << 1 << "The list of kept copies";
    QTest::newRow("numbers run out")
        << "last number" << QStringList{"rename", "tone:6", "Qq"} << 0 << "";
    QTest::newRow("undo of a step without its copy")
        << "step without copy" << QStringList{"undo"} << 1
        << "kept no copy of what tone:0 held, so it cannot be taken back";
}

void TestCliCommands::historyIsCheckedBeforeTheKeyboardChanges() {
    QFETCH(QString, history);
    QFETCH(QStringList, command);
    QFETCH(int, status);
    QFETCH(QString, said);
    QCOMPARE(cli(kBuiltIn + QStringList{"rename", "tone:0", "Seed"}).status, 0);
    const QString path = home_->filePath("data/NvbMan/replaced/history.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    file.close();
    QByteArray written;
    const QString list = home_->filePath("data/NvbMan/replaced/index.json");
    if (history == "fifo" || history == "link" || history == "fifo list") {
        // Never waited on, never read without end.
        const QString replaced = history == "fifo list" ? list : path;
        QVERIFY(QFile::remove(replaced));
        if (history == "link") {
            QVERIFY(QFile::link("/dev/zero", replaced));
        } else {
            QCOMPARE(::mkfifo(QFile::encodeName(replaced).constData(), 0600), 0);
        }
    } else if (history == "damaged") {
        written = "{{{";
    } else {
        QJsonArray undo = root["undo"].toArray();
        QJsonObject change = undo[0].toObject();
        if (history == "last number") {
            change["id"] = std::numeric_limits<qint64>::max();
            root["lastId"] = std::numeric_limits<qint64>::max();
        } else {
            QJsonArray steps = change["steps"].toArray();
            QJsonObject step = steps[0].toObject();
            step["before"] = 0;
            steps[0] = step;
            change["steps"] = steps;
        }
        undo[0] = change;
        root["undo"] = undo;
        written = QJsonDocument(root).toJson();
    }
    if (!written.isEmpty()) {
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(written);
        file.close();
    }
    const QJsonObject before = keyboard_->keyboard().memory().toJson();

    const Run run = cli(kBuiltIn + command);
    QCOMPARE(run.status, status);
    if (status != 0) {
        // Refused before the first message: the keyboard is as it was.
        QVERIFY2(run.lastErrorLine().contains(said), run.err.constData());
        QCOMPARE(keyboard_->keyboard().memory().toJson(), before);
        return;
    }
    // Numbered afresh: both changes are there, newest first, and can be undone.
    const QJsonArray undo =
        cli(kBuiltIn + QStringList{"--json", "history"}).object()["undo"].toArray();
    QCOMPARE(undo.size(), 2);
    QVERIFY(undo[0].toObject()["id"].toInteger() > undo[1].toObject()["id"].toInteger());
    QCOMPARE(cli(kBuiltIn + QStringList{"undo"}).status, 0);
    QCOMPARE(cli(kBuiltIn + QStringList{"undo"}).status, 0);
    QCOMPARE(keyboard_->keyboard().memory().toJson(), KeyboardMemory::demo().toJson());
}

void TestCliCommands::changesTheKeyboardDoesNotShowAreMadeAgainOrFail_data() {
    QTest::addColumn<QList<QStringList>>("before");  // run first, nothing lost ("HOME": the test's)
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("kind");  // of the message lost on the way
    // Whether the keyboard holds what it held before when the message is lost every time (a
    // song slot's old song is deleted before the new one goes; a move's copy is made first).
    QTest::addColumn<bool>("keptWhenLost");
    const QStringList tone3{"import", "tone:3", "HOME"};
    const QString toneFile = "HOME/TON_Warm Pad.nvb";
    const QString songFile = "HOME/SNG_Sunrise .nvb";
    const struct {
        const char* name;
        QList<QStringList> before;
        QStringList command;
        const char* kind;
        bool keptWhenLost;
    } rows[] = {
        {"send a tone", {tone3}, {"send", toneFile, "tone:0"}, "end", true},
        {"send a tone of the same name",
         {{"rename", "tone:0", "Warm Pad"}, {"import", "tone:0", "HOME"}},
         {"send", toneFile, "tone:3"},
         "end",
         true},
        {"send a song over another",
         {{"import", "song:0", "HOME"},
          {"send", songFile, "song:1"},
          {"rename", "song:1", "Other"}},
         {"send", songFile, "song:1"},
         "end",
         false},
        {"delete a rhythm", {}, {"delete", "rhythm:0"}, "delete", true},
        {"swap two tones", {}, {"swap", "tone:0", "tone:1"}, "end", true},
        {"rename a DSP setting", {}, {"rename", "dsp:2", "Renamed"}, "end", true},
        {"restore",
         {{"mkdir"}, {"backup", "HOME/backup"}, {"rename", "tone:0", "Changed"}},
         {"restore", "HOME/backup"},
         "end",
         true},
        {"put back", {{"rename", "tone:4", "Changed"}}, {"put-back", "1"}, "end", true},
        {"undo", {{"rename", "tone:5", "Changed"}}, {"undo"}, "end", true},
        {"move a song", {}, {"move", "song:0", "song:1"}, "delete", false},
    };
    for (const auto& row : rows) {
        QTest::addRow("%s", row.name)
            << row.before << row.command << QString(row.kind) << row.keptWhenLost;
    }
}

void TestCliCommands::changesTheKeyboardDoesNotShowAreMadeAgainOrFail() {
    QFETCH(QList<QStringList>, before);
    QFETCH(QStringList, command);
    QFETCH(QString, kind);
    QFETCH(bool, keptWhenLost);
    const auto here = [this](QStringList args) {
        args.replaceInStrings(QRegularExpression("^HOME"), home_->path());
        return args;
    };
    // Each run on a fresh keyboard and history: the steps before, then the command with
    // `lost` messages of the kind lost on the way.
    const auto runWith = [&](int lost) {
        init();
        for (const QStringList& step : before) {
            if (step == QStringList{"mkdir"}) {
                [&] { QVERIFY(QDir(home_->path()).mkdir("backup")); }();
                continue;
            }
            const Run r = cli(kBuiltIn + here(step));
            [&] { QVERIFY2(r.status == 0, r.err.constData()); }();
        }
        kbdsim::Faults faults;
        QString error;
        [&] {
            QVERIFY2(kbdsim::addLosses(faults, kind + ':' + QString::number(lost), &error),
                     qPrintable(error));
        }();
        keyboard_->keyboard().setFaults(faults);
        return cli(kBuiltIn + here(command));
    };
    const auto memory = [this] { return keyboard_->keyboard().memory().toJson(); };

    const Run plain = runWith(0);
    QVERIFY2(plain.status == 0, plain.err.constData());
    const QJsonObject changed = memory();
    cleanup();

    // Lost once: asked, found missing, made again, and done.
    const Run once = runWith(1);
    QVERIFY2(once.status == 0, once.err.constData());
    QCOMPARE(memory(), changed);
    cleanup();

    // Lost every time: never "done". The error says what the slot holds; what it held is on the
    // keyboard still or in a kept copy the error names; the history has nothing more to undo.
    init();
    for (const QStringList& step : before) {
        if (step == QStringList{"mkdir"}) {
            QVERIFY(QDir(home_->path()).mkdir("backup"));
            continue;
        }
        QCOMPARE(cli(kBuiltIn + here(step)).status, 0);
    }
    const QJsonObject unchanged = memory();
    const QByteArray history = cli(kBuiltIn + QStringList{"--json", "history"}).out;
    kbdsim::Faults faults;
    QString error;
    QVERIFY(kbdsim::addLosses(faults, kind + ":-1", &error));
    keyboard_->keyboard().setFaults(faults);
    const Run always = cli(kBuiltIn + here(command));
    QCOMPARE(always.status, 1);
    QVERIFY2(always.err.contains(kind == "end" ? "The keyboard did not take the item"
                                               : "The keyboard did not delete the item"),
             always.err.constData());
    QVERIFY2(always.err.contains("3 times"), always.err.constData());
    if (keptWhenLost) {
        QCOMPARE(memory(), unchanged);
    } else {
        QVERIFY(memory() != unchanged);
        QVERIFY2(always.err.contains("kept"), always.err.constData());
    }
    // A change that stopped is in the history for its undo, but no slot is said to hold what
    // the keyboard did not show.
    keyboard_->keyboard().setFaults({});
    const auto changes = [](const QByteArray& json) {
        return QJsonDocument::fromJson(json).object()["undo"].toArray();
    };
    QSet<int> known;
    for (const QJsonValue change : changes(history)) {
        known.insert(change["id"].toInt());
    }
    for (const QJsonValue change : changes(cli(kBuiltIn + QStringList{"--json", "history"}).out)) {
        if (known.contains(change["id"].toInt()) || command.first() == "move") {
            continue;
        }
        for (const QJsonValue step : change["steps"].toArray()) {
            QVERIFY2(step["after"].isNull(), qPrintable(step["slot"].toString()));
        }
    }
}

void TestCliCommands::aChangedKeptCopyIsRefusedBeforeAnyTraffic() {
    // tone:1's tone sent over tone:4: what tone:4 held is kept as copy 1.
    const Run imported = cli(kBuiltIn + QStringList{"import", "tone:1", home_->path()});
    QCOMPARE(imported.status, 0);
    const QString file = QString::fromUtf8(imported.out.trimmed());
    QCOMPARE(cli(kBuiltIn + QStringList{"send", file, "tone:4"}).status, 0);
    const Run kept = cli(QStringList{"--json", "replaced"});
    const QString copyFile = kept.object()["items"].toArray()[0].toObject()["file"].toString();
    {
        QFile copy(copyFile);
        QVERIFY(copy.open(QIODevice::Append));
        copy.write("x");
    }
    // Refused with the reason, before the keyboard is asked anything.
    messagesOnTheWire_ = 0;
    const Run back = cli(kBuiltIn + QStringList{"put-back", "1"});
    QCOMPARE(back.status, 1);
    QVERIFY2(back.err.contains("was changed since it was kept"), back.err.constData());
    QCOMPARE(messagesOnTheWire_, 0);
}

// The real tool, killed (SIGKILL: no handler runs) while it sends a song over another on its
// own built-in keyboard, paced like the cable: the change was in the history before its first
// message, so the next command says it was cut short (once), and undo leaves the keyboard as it
// was before, byte for byte, whatever of the change the keyboard had kept.
void TestCliCommands::aChangeCutShortOnTheBuiltInKeyboardIsSaidAndUndone() {
    const QString memoryFile = home_->filePath("data/NvbMan/builtin-keyboard.json");
    QVERIFY(QDir().mkpath(QFileInfo(memoryFile).absolutePath()));
    constexpr int kOldSong = 4000;
    constexpr int kNewSong = 8000;  // song:1, sent over song:0: both fit the memory
    const KeyboardMemory before = twoSongsNoRhythms(kOldSong, kNewSong);
    before.save(memoryFile);
    const auto tool = [](const QStringList& args) {
        auto process = std::make_unique<QProcess>();
        process->start(NVBMAN_CLI_PATH,
                       QStringList{"--in", "built-in", "--out", "built-in"} + args);
        return process;
    };
    const auto finished = [](QProcess& process) {
        return process.waitForFinished(-1) && process.exitStatus() == QProcess::NormalExit;
    };
    const auto imported = tool({"--quiet", "import", "song:1", home_->filePath("songs")});
    QVERIFY(finished(*imported));
    QCOMPARE(imported->exitCode(), 0);
    const QStringList songs = QDir(home_->filePath("songs")).entryList({"*.nvb"}, QDir::Files);
    QCOMPARE(songs.size(), 1);

    const auto send =
        tool({"--quiet", "send", home_->filePath("songs/" + songs.first()), "song:0"});
    // Under way: the change's owner holds its lock in the history from its first intent on.
    const QDir underWay(home_->filePath("data/NvbMan/replaced/under-way"));
    QTRY_VERIFY_WITH_TIMEOUT(!underWay.entryList({"*.lock"}, QDir::Files).isEmpty() ||
                                 send->state() == QProcess::NotRunning,
                             60000);
    QVERIFY2(send->state() == QProcess::Running, send->readAllStandardError().constData());
    ::kill(pid_t(send->processId()), SIGKILL);
    QVERIFY(send->waitForFinished(-1));

    const auto told = tool({"history"});
    QVERIFY(finished(*told));
    const QByteArray said = told->readAllStandardError();
    QCOMPARE(said.count("was cut short"), 1);
    const auto again = tool({"history"});
    QVERIFY(finished(*again));
    QCOMPARE(again->readAllStandardError().count("was cut short"), 0);
    const auto undo = tool({"--quiet", "undo"});
    QVERIFY(finished(*undo));
    QVERIFY2(undo->exitCode() == 0, undo->readAllStandardError().constData());
    QCOMPARE(KeyboardMemory::load(memoryFile).toJson(), before.toJson());
}

QTEST_GUILESS_MAIN(TestCliCommands)
#include "tst_clicommands.moc"
