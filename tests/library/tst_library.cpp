// The index of the user's keyboard files: what a scan reads, what it reads again, what it drops,
// and what it does with folders, links and a database that are not as they should be.

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "library/libraryindex.h"
#include "library/itemtags.h"
#include "library/slotsonpc.h"
#include "platform/systemerror.h"
#include "msg/msgstr.h"
#include "stream/nvbfilestream.h"
#include "syx/syxdump.h"

namespace {

// A tone by its name and the word its data repeats.
struct Tone {
    const char* name;
    int seed;

    void fill(EkDataFile& item) const {
        item.setType(DataType::Tone);
        item.setSize(60);
        item.words().assign(30, std::uint16_t(seed));
        item.storeName(name);
    }
    QString hash() const {
        EkDataFile item(DataType::Tone);
        fill(item);
        return library::Index::itemHash(item);
    }
};

void writeNvb(const QString& path, const Tone& tone) {
    EkDataFile item(DataType::Tone);
    tone.fill(item);
    NvbFileStream(path, NvbFileStream::Create).write(item);
}

void writeDump(const QString& path, const std::vector<std::pair<Tone, const char*>>& tones) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (const auto& [tone, slot] : tones) {
        EkDataFile item(DataType::Tone);
        tone.fill(item);
        const auto dump = syx::dumpOf(item, *SlotAddress::parse(slot));
        file.write(reinterpret_cast<const char*>(dump.data()), qsizetype(dump.size()));
    }
}

QStringList pathsOf(const std::vector<library::Entry>& entries, const QString& root) {
    QStringList paths;
    for (const library::Entry& entry : entries) {
        paths << QDir(root).relativeFilePath(entry.path) + '#' + QString::number(entry.index);
    }
    return paths;
}

}  // namespace

class TestLibrary : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void scansReadOnlyWhatChangedAndFindTheSameItemEverywhere();
    void foldersLinksAndBadFilesNeverStopAScan();
    void aDamagedIndexIsBuiltAgain();
    void anotherProgramsDatabaseIsNeverTakenForTheIndex();
    void theProgramsOwnDataIsNeverTheUsers();
    void forgottenFoldersAndHiddenOnesAreLeftOut();
    void aSlotIsOnThePcOnlyWhenItsItemIsKnown_data();
    void aSlotIsOnThePcOnlyWhenItsItemIsKnown();
    void tagsThatCannotBeReadAreNeverReplaced_data();
    void tagsThatCannotBeReadAreNeverReplaced();
    void anUnusableTagsFileChangesNothing();
};

void TestLibrary::scansReadOnlyWhatChangedAndFindTheSameItemEverywhere() {
    QTemporaryDir home;
    const QDir root(home.filePath("music"));
    QVERIFY(QDir().mkpath(root.filePath("sub")));
    writeNvb(root.filePath("glass.nvb"), Tone{"Glass EP", 1});
    writeNvb(root.filePath("sub/other name.nvb"), Tone{"Glass EP", 1});  // the same item
    writeNvb(root.filePath("sub/warm.nvb"), Tone{"Warm Pad", 2});
    writeDump(root.filePath("two.syx"),
              {{Tone{"Glass EP", 1}, "tone:4"}, {Tone{"Velvet", 3}, "tone:0"}});
    library::Index index(home.filePath("library.sqlite"));
    library::ScanSummary scanned = index.scan({root.path()}, MsgStr());
    QCOMPARE(scanned.files, 4);
    QCOMPARE(scanned.read, 4);
    QVERIFY2(scanned.problems.isEmpty(), qPrintable(scanned.problems.join('\n')));

    // One item, three files: by hash, whatever the file's name or kind.
    const QString glass = Tone{"Glass EP", 1}.hash();
    QCOMPARE(pathsOf(index.holding(glass), root.path()),
             (QStringList{"glass.nvb#0", "sub/other name.nvb#0", "two.syx#0"}));
    QCOMPARE(pathsOf(index.find("velv"), root.path()), QStringList{"two.syx#1"});
    QCOMPARE(pathsOf(index.find("PAD", DataType::Tone), root.path()),
             QStringList{"sub/warm.nvb#0"});
    QVERIFY(index.find("Pad", DataType::Song).empty());
    QVERIFY(index.find("%").empty());  // a wildcard of SQL is a character to look for

    // Nothing changed: nothing read. One file changed, one gone, one new.
    QCOMPARE(index.scan({root.path()}, MsgStr()).read, 0);
    writeNvb(root.filePath("sub/warm.nvb"), Tone{"Warm Pad", 7});
    QVERIFY(QFile::remove(root.filePath("glass.nvb")));
    writeNvb(root.filePath("new.nvb"), Tone{"New One", 8});
    // Of the same size: its time says it changed, even within the clock's resolution.
    QFile warm(root.filePath("sub/warm.nvb"));
    QVERIFY(warm.open(QIODevice::ReadWrite));
    QVERIFY(warm.setFileTime(QDateTime::currentDateTime().addSecs(60),
                             QFileDevice::FileModificationTime));
    warm.close();
    scanned = index.scan({}, MsgStr());  // the folders scanned before
    QCOMPARE(index.folders(), QStringList{root.path()});
    QCOMPARE(scanned.files, 4);
    QCOMPARE(scanned.read, 2);
    QCOMPARE(scanned.removed, 1);
    QCOMPARE(pathsOf(index.holding(glass), root.path()),
             (QStringList{"sub/other name.nvb#0", "two.syx#0"}));
    QVERIFY(index.holding(Tone{"Warm Pad", 2}.hash()).empty());
    QCOMPARE(pathsOf(index.find("Warm"), root.path()), QStringList{"sub/warm.nvb#0"});

    // A second program's index of the same database sees it all at once.
    library::Index other(home.filePath("library.sqlite"));
    QCOMPARE(other.find("").size(), index.find("").size());
}

void TestLibrary::foldersLinksAndBadFilesNeverStopAScan() {
    QTemporaryDir home;
    const QDir root(home.filePath("music"));
    QVERIFY(QDir().mkpath(root.filePath("a/b")));
    writeNvb(root.filePath("a/b/tone.nvb"), Tone{"Deep", 4});
    // A link back up the tree, and one to the tone: neither is followed.
    QVERIFY(QFile::link(root.path(), root.filePath("a/b/loop")));
    QVERIFY(QFile::link(root.filePath("a/b/tone.nvb"), root.filePath("link.nvb")));
    QFile words(root.filePath("words.nvb"));
    QVERIFY(words.open(QIODevice::WriteOnly));
    words.write("not a keyboard item\n");
    words.close();
    QFile large(root.filePath("large.syx"));
    QVERIFY(large.open(QIODevice::WriteOnly));
    QVERIFY(large.resize(syx::kMaxDumpFile + 1));
    large.close();
    // A file and a folder whose names are not UTF-8 (written by another system): Qt cannot
    // name them, so they cannot be read; they are said, not left out unsaid.
    const std::string rootBytes = QFile::encodeName(root.path()).toStdString();
    std::filesystem::copy_file(rootBytes + "/a/b/tone.nvb", rootBytes + "/TON_\xff.nvb");
    std::filesystem::create_directory(rootBytes + "/\xfe dir");
    std::filesystem::copy_file(rootBytes + "/a/b/tone.nvb", rootBytes + "/\xfe dir/tone.nvb");
    library::Index index(home.filePath("library.sqlite"));
    const library::ScanSummary scanned =
        index.scan({root.path(), home.filePath("no such folder")}, MsgStr());
    QCOMPARE(scanned.files, 3);
    QCOMPARE(pathsOf(index.find(""), root.path()), QStringList{"a/b/tone.nvb#0"});
    // Each problem names its file or folder and says why.
    QStringList problems = scanned.problems;
    problems.replaceInStrings(home.path(), "HOME");
    const QString notUtf8 = "\": its name is not valid UTF-8, the system's encoding, so it "
                            "cannot be opened; rename it to have it read.";
    for (const QString& name : {QString("TON_\uFFFD.nvb"), QString("\uFFFD dir")}) {
        QVERIFY2(problems.removeOne("\"HOME/music/" + name + notUtf8), qPrintable(problems.join("\n")));
    }
    problems.sort();
    QCOMPARE(problems.size(), 3);
    QCOMPARE(problems[0], QString("\"HOME/no such folder\" is not a folder."));
    QVERIFY2(problems[1].startsWith("HOME/music/large.syx: Cannot read") &&
                 problems[1].contains("larger"),
             qPrintable(problems[1]));
    QCOMPARE(problems[2], QString("HOME/music/words.nvb: No NVB file"));
    // Files it could not read are not read again until they change.
    QCOMPARE(index.scan({root.path()}, MsgStr()).read, 0);
    // Qt cannot remove what it cannot name.
    std::filesystem::remove(rootBytes + "/TON_\xff.nvb");
    std::filesystem::remove_all(rootBytes + "/\xfe dir");
}

void TestLibrary::aDamagedIndexIsBuiltAgain() {
    QTemporaryDir home;
    const QString database = home.filePath("library.sqlite");
    QFile damaged(database);
    QVERIFY(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    QVERIFY(QDir().mkpath(home.filePath("music")));
    writeNvb(home.filePath("music/tone.nvb"), Tone{"Deep", 4});
    library::Index index(database);
    QCOMPARE(index.scan({home.filePath("music")}, MsgStr()).read, 1);
    QCOMPARE(index.find("Deep").size(), std::size_t(1));
    // The damaged file is kept aside, for whoever wants to look.
    QCOMPARE(QDir(home.path()).entryList({"library.sqlite.damaged-*"}).size(), 1);
}

void TestLibrary::anotherProgramsDatabaseIsNeverTakenForTheIndex() {
    QTemporaryDir home;
    const QString database = home.filePath("library.sqlite");
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other program");
        other.setDatabaseName(database);
        QVERIFY(other.open());
        QSqlQuery query(other);
        QVERIFY(query.exec("CREATE TABLE notes (text TEXT)"));
        QVERIFY(query.exec("INSERT INTO notes VALUES ('mine')"));
        other.close();
    }
    QSqlDatabase::removeDatabase("other program");
    QVERIFY(QDir().mkpath(home.filePath("music")));
    writeNvb(home.filePath("music/tone.nvb"), Tone{"Deep", 4});
    {
        library::Index index(database);
        QCOMPARE(index.scan({home.filePath("music")}, MsgStr()).read, 1);
        QCOMPARE(index.find("Deep").size(), std::size_t(1));
    }
    // The other program's file is kept aside as it was, with nothing of ours in it.
    const QStringList aside = QDir(home.path()).entryList({"library.sqlite.damaged-*"});
    QCOMPARE(aside.size(), 1);
    {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other program");
        other.setDatabaseName(home.filePath(aside[0]));
        QVERIFY(other.open());
        QSqlQuery query("SELECT name FROM sqlite_master WHERE type = 'table'", other);
        QStringList tables;
        while (query.next()) {
            tables << query.value(0).toString();
        }
        QCOMPARE(tables, QStringList{"notes"});
        other.close();
    }
    QSqlDatabase::removeDatabase("other program");
}

void TestLibrary::theProgramsOwnDataIsNeverTheUsers() {
    // The data folder a visible folder of the home: its kept copies are still not backups.
    QTemporaryDir home;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", home.filePath("data").toLocal8Bit());
    QVERIFY(QDir().mkpath(home.filePath("data/NvbMan/replaced")));
    QVERIFY(QDir().mkpath(home.filePath("music")));
    writeNvb(home.filePath("data/NvbMan/replaced/1-TON_Kept.nvb"), Tone{"Kept", 1});
    writeNvb(home.filePath("music/TON_Mine.nvb"), Tone{"Mine", 2});
    library::Index index(home.filePath("library.sqlite"));
    const library::ScanSummary summary = index.scan({home.path()}, MsgStr());
    if (dataHome.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", dataHome);
    }
    QCOMPARE(summary.files, 1);
    QVERIFY(index.find("Kept").empty());
    QCOMPARE(index.find("Mine").size(), std::size_t(1));
}

void TestLibrary::forgottenFoldersAndHiddenOnesAreLeftOut() {
    QTemporaryDir home;
    const QDir music(home.filePath("music"));
    QVERIFY(QDir().mkpath(music.filePath("inner")));
    QVERIFY(QDir().mkpath(music.filePath(".Trash/files")));
    writeNvb(music.filePath("glass.nvb"), Tone{"Glass EP", 1});
    writeNvb(music.filePath("inner/warm.nvb"), Tone{"Warm Pad", 2});
    writeNvb(music.filePath(".Trash/files/old.nvb"), Tone{"Old", 3});
    writeNvb(music.filePath(".hidden.nvb"), Tone{"Hidden", 4});
    library::Index index(home.filePath("library.sqlite"));
    const library::ScanSummary scanned =
        index.scan({music.path(), music.filePath("inner")}, MsgStr());
    QCOMPARE(scanned.files, 2);  // inner/warm.nvb is under both folders: one file, read once
    QCOMPARE(scanned.read, 2);
    QCOMPARE(scanned.folders,
             QStringList({music.path(), music.filePath("inner"), music.filePath("inner")}));
    QCOMPARE(pathsOf(index.find({}), music.path()),
             QStringList({"glass.nvb#0", "inner/warm.nvb#0"}));

    // Left out: its own files go, those of a folder of the index inside it stay.
    index.forgetFolder(music.path() + '/');
    QCOMPARE(index.folders(), QStringList{music.filePath("inner")});
    QCOMPARE(pathsOf(index.find({}), music.path()), QStringList{"inner/warm.nvb#0"});
    QVERIFY(QFileInfo::exists(music.filePath("glass.nvb")));
}

void TestLibrary::aSlotIsOnThePcOnlyWhenItsItemIsKnown_data() {
    QTest::addColumn<bool>("present");
    QTest::addColumn<int>("seenSeed");    // the data the program fetched from the slot; 0: none
    QTest::addColumn<QString>("listed");  // the name the keyboard's list shows now
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("files");
    const auto state = [](library::OnPc onPc) { return int(onPc); };
    QTest::newRow("fetched, in two files")
        << true << 1 << "Glass EP" << int(DataType::Tone) << state(library::OnPc::Yes)
        << QStringList({"glass.nvb#0", "two.syx#1"});
    QTest::newRow("fetched, in none") << true << 9 << "Glass EP" << int(DataType::Tone)
                                      << state(library::OnPc::No) << QStringList();
    QTest::newRow("never fetched: the files of its name")
        << true << 0 << "Glass EP" << int(DataType::Tone) << state(library::OnPc::NotChecked)
        << QStringList({"glass.nvb#0", "two.syx#1"});
    // The list shows another name since: what was fetched is no longer known to be there.
    QTest::newRow("renamed on the keyboard since")
        << true << 1 << "Renamed" << int(DataType::Tone) << state(library::OnPc::NotChecked)
        << QStringList();
    QTest::newRow("no file of its type and size") << true << 0 << "Glass EP" << int(DataType::DSP)
                                                  << state(library::OnPc::No) << QStringList();
    QTest::newRow("empty") << false << 1 << "Glass EP" << int(DataType::Tone)
                           << state(library::OnPc::Empty) << QStringList();
}

void TestLibrary::aSlotIsOnThePcOnlyWhenItsItemIsKnown() {
    QFETCH(bool, present);
    QFETCH(int, seenSeed);
    QFETCH(QString, listed);
    QFETCH(int, type);
    QFETCH(int, state);
    QFETCH(QStringList, files);
    QTemporaryDir home;
    const QDir music(home.filePath("music"));
    QVERIFY(QDir().mkpath(music.path()));
    writeNvb(music.filePath("glass.nvb"), Tone{"Glass EP", 1});
    writeNvb(music.filePath("warm.nvb"), Tone{"Warm Pad", 2});
    writeDump(music.filePath("two.syx"),
              {{Tone{"Warm Pad", 2}, "tone:0"}, {Tone{"Glass EP", 1}, "tone:1"}});
    library::Index index(home.filePath("library.sqlite"));
    index.scan({music.path()}, MsgStr());

    // A slot of the keyboard's tree as the list shows it.
    EkData slot{std::uint16_t(type)};
    slot.setNumber(2);
    slot.setName("Glass EP");
    slot.setSize(60);
    slot.setPresent();
    library::SeenItems seen;
    if (seenSeed != 0) {
        EkDataFile item(DataType::Tone);
        Tone{"Glass EP", seenSeed}.fill(item);
        seen.saw(slot, item);
    }
    slot.setName(listed.toStdString());
    if (!present) {
        slot.clearPresent();
    }
    const library::SlotOnPc found = library::onPc(index, seen, slot);
    QCOMPARE(int(found.state), state);
    QCOMPARE(pathsOf(found.files, music.path()), files);
    QCOMPARE(found.seenAt.isValid(), seenSeed != 0 && listed == "Glass EP" && present &&
                                         state != int(library::OnPc::Empty));
}

namespace {

const QString kItem = QString(64, 'a');

platform::ErrorCode failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const platform::SystemError& error) {
        return error.coded().code;
    }
    return platform::ErrorCode::ServiceText;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

void TestLibrary::tagsThatCannotBeReadAreNeverReplaced_data() {
    QTest::addColumn<QString>("what");
    QTest::addColumn<platform::ErrorCode>("said");
    QTest::newRow("damaged") << "damaged" << platform::ErrorCode::TagsUnreadable;
    QTest::newRow("another program's") << "other" << platform::ErrorCode::TagsUnreadable;
    QTest::newRow("a newer NvbMan's") << "newer" << platform::ErrorCode::TagsOfNewerProgram;
}

// The tags are the user's own words, not a cache of their files: a database that cannot be
// used is said and left exactly as it was (never set aside and made anew, as the index is).
void TestLibrary::tagsThatCannotBeReadAreNeverReplaced() {
    QFETCH(QString, what);
    QFETCH(platform::ErrorCode, said);
    QTemporaryDir home;
    const QString database = home.filePath("tags.sqlite");
    if (what == "damaged") {
        {
            library::TagStore tags(database);
            tags.change({kItem}, {"pads"}, {}, QString("mine"));
        }
        QFile file(database);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.seek(file.size() / 2);
        file.write(QByteArray(1024, 'x'));
        file.close();
        QFile::remove(database + "-wal");
    } else {
        QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
        other.setDatabaseName(database);
        QVERIFY(other.open());
        QSqlQuery query(other);
        QVERIFY(query.exec(what == "other" ? "CREATE TABLE notes (text TEXT)"
                                           : "PRAGMA user_version = 9"));
        QVERIFY(query.exec("CREATE TABLE kept (text TEXT)"));
        other.close();
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase("other");
    }
    const QByteArray before = contentsOf(database);
    QCOMPARE(failureOf([&] { library::TagStore tags(database); }), said);
    QCOMPARE(contentsOf(database), before);
    QCOMPARE(QDir(home.path()).entryList({"tags.sqlite.*"}).size(), 0);
}

// Tags taken to a new PC: a file that is no tags file, or one entry of it that is unusable,
// changes nothing; a good one joins the tags and gives a note only where there is none.
void TestLibrary::anUnusableTagsFileChangesNothing() {
    QTemporaryDir home;
    library::TagStore tags(home.filePath("tags.sqlite"));
    tags.change({kItem}, {"Pads"}, {}, QString("mine"));
    const QString file = home.filePath("tags.json");
    const auto write = [&](const QByteArray& text) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(text);
    };
    const QString other = QString(64, 'b');
    for (const QByteArray& bad :
         {QByteArray("not json"), QByteArray(R"({"format": 2, "items": []})"),
          QByteArray(R"({"format": 1, "items": [{"sha256": "xyz", "tags": ["a"]}]})"),
          ("{\"format\": 1, \"items\": [{\"sha256\": \"" + other.toLatin1() +
           "\", \"tags\": [\"ok\"]}, {\"sha256\": \"" + kItem.toLatin1() +
           "\", \"tags\": [\"\"]}]}")}) {
        write(bad);
        QVERIFY2(failureOf([&] { tags.importFrom(file); }) != platform::ErrorCode::ServiceText,
                 bad.constData());
        QCOMPARE(tags.all().size(), std::size_t(1));
        QCOMPARE(tags.of(kItem).tags, QStringList{"Pads"});
    }
    write("{\"format\": 1, \"items\": [{\"sha256\": \"" + kItem.toLatin1() +
          "\", \"tags\": [\"pads\", \"live\"], \"note\": \"theirs\"}, {\"sha256\": \"" +
          other.toLatin1() + "\", \"tags\": [\"lesson 3\"], \"note\": \"why\"}]}");
    QCOMPARE(tags.importFrom(file), 2);
    QCOMPARE(tags.of(kItem).tags, (QStringList{"live", "Pads"}));
    QCOMPARE(tags.of(kItem).note, QString("mine"));
    QCOMPARE(tags.of(other).note, QString("why"));
    QCOMPARE(tags.withTag("LESSON 3"), QStringList{other});
}

QTEST_GUILESS_MAIN(TestLibrary)
#include "tst_library.moc"
