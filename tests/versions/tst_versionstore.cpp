// The keyboard's past on disk: what a store keeps of a version and of its item, what it does
// with item files and tables that are not as it left them, the times a user writes, and what
// a prune keeps.

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "versions/asof.h"
#include "versions/versionstore.h"

namespace {

const QDateTime kStart = QDateTime::fromString("2026-06-01T12:00:00Z", Qt::ISODate);

void tone(EkDataFile& item, int seed, const char* name) {
    item.setSize(60);
    item.words().assign(30, std::uint16_t(seed));
    item.storeName(name);
}

versions::Version seen(const QString& slot, int minutes) {
    versions::Version version;
    version.keyboard = "JACK MLS-850";
    version.slot = *SlotAddress::parse(slot);
    version.at = kStart.addSecs(qint64(minutes) * 60);
    version.how = versions::How::Fetched;
    version.source = "backup /home/me/b";
    version.confirmed = true;
    return version;
}

platform::ErrorCode codeOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const platform::SystemError& error) {
        return error.coded().code;
    }
    return platform::ErrorCode::ServiceText;
}

}  // namespace

Q_DECLARE_METATYPE(platform::ErrorCode)

class TestVersionStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void itemsAreKeptOnceAndComeBackWithTheirName();
    void itemFilesNotAsLeftAreSaidByName_data();
    void itemFilesNotAsLeftAreSaidByName();
    void tablesNotOursAreLeftAlone_data();
    void tablesNotOursAreLeftAlone();
    void timesAsTheUserWritesThem_data();
    void timesAsTheUserWritesThem();
    void asOfChangesAndPruneFollowTheSlotsPast();
};

// Two sightings of one item add a row, not a file; the item comes back checked, with the
// version's name.
void TestVersionStore::itemsAreKeptOnceAndComeBackWithTheirName() {
    QTemporaryDir folder;
    versions::Store store(folder.path());
    EkDataFile item(DataType::Tone);
    tone(item, 7, "Velvet");
    const versions::Version first = store.record(seen("tone:3", 0), &item);
    const std::int64_t bytes = store.itemBytes();
    store.record(seen("tone:4", 1), &item);
    QCOMPARE(store.itemBytes(), bytes);
    QCOMPARE(store.ofItem(first.sha256).size(), std::size_t(2));
    EkDataFile back(DataType::Tone);
    store.loadItem(first, back);
    QCOMPARE(back.words(), item.words());
    QCOMPARE(QString::fromStdString(back.name()).trimmed(), QString("Velvet"));
}

void TestVersionStore::itemFilesNotAsLeftAreSaidByName_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<platform::ErrorCode>("code");
    QTest::newRow("removed") << "removed" << platform::ErrorCode::VersionItemMissing;
    QTest::newRow("changed") << "changed" << platform::ErrorCode::VersionItemDamaged;
    QTest::newRow("cut short") << "cut short" << platform::ErrorCode::VersionItemDamaged;
    QTest::newRow("a link") << "a link" << platform::ErrorCode::VersionItemDamaged;
}

void TestVersionStore::itemFilesNotAsLeftAreSaidByName() {
    QFETCH(QString, how);
    QFETCH(platform::ErrorCode, code);
    QTemporaryDir folder;
    versions::Store store(folder.path());
    EkDataFile item(DataType::Tone);
    tone(item, 7, "Velvet");
    const versions::Version version = store.record(seen("tone:3", 0), &item);
    const QString path = store.itemPath(version.sha256);
    QFile file(path);
    if (how == "removed") {
        QVERIFY(file.remove());
    } else if (how == "a link") {
        EkDataFile other(DataType::Tone);
        tone(other, 8, "Other");
        const QString elsewhere = store.itemPath(store.record(seen("tone:4", 1), &other).sha256);
        QVERIFY(file.remove());
        QVERIFY(QFile::link(elsewhere, path));
    } else {
        QVERIFY(file.open(QIODevice::ReadWrite));
        if (how == "changed") {
            file.seek(file.size() - 1);
            file.write("\x55");
        } else {
            QVERIFY(file.resize(file.size() - 2));
        }
        file.close();
    }
    EkDataFile back(DataType::Tone);
    platform::SystemError said(platform::ErrorCode::ServiceText, {});
    try {
        store.loadItem(version, back);
        QFAIL("an item file not as it was left was taken");
    } catch (const platform::SystemError& error) {
        said = error;
    }
    QCOMPARE(said.coded().code, code);
    QVERIFY(said.coded().args.contains(QDir::toNativeSeparators(path)));
    // A version recorded again never writes through the link either.
    if (how == "a link") {
        QCOMPARE(codeOf([&] { store.record(seen("tone:5", 2), &item); }),
                 platform::ErrorCode::CannotWrite);
    }
}

void TestVersionStore::tablesNotOursAreLeftAlone_data() {
    QTest::addColumn<QByteArray>("setup");
    QTest::addColumn<platform::ErrorCode>("code");
    QTest::newRow("garbage") << QByteArray("garbage") << platform::ErrorCode::VersionsUnreadable;
    QTest::newRow("another program's") << QByteArray("CREATE TABLE notes (x)")
                                       << platform::ErrorCode::VersionsUnreadable;
    QTest::newRow("a newer NvbMan's") << QByteArray("PRAGMA user_version = 9")
                                      << platform::ErrorCode::VersionsOfNewerProgram;
}

void TestVersionStore::tablesNotOursAreLeftAlone() {
    QFETCH(QByteArray, setup);
    QFETCH(platform::ErrorCode, code);
    QTemporaryDir folder;
    const QString table = QDir(folder.path()).filePath(versions::kTableFile);
    if (setup == "garbage") {
        QFile file(table);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(4096, 'x'));
    } else {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "setup");
        db.setDatabaseName(table);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QString::fromLatin1(setup)));
        db.close();
    }
    QSqlDatabase::removeDatabase("setup");
    QFile before(table);
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray bytes = before.readAll();
    QCOMPARE(codeOf([&] { versions::Store store(folder.path()); }), code);
    QFile after(table);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), bytes);
}

void TestVersionStore::timesAsTheUserWritesThem_data() {
    QTest::addColumn<QString>("when");
    QTest::addColumn<QDateTime>("local");  // invalid: refused
    QTest::newRow("a day: as it ended")
        << "2026-06-01" << QDateTime(QDate(2026, 6, 1), QTime(23, 59, 59, 999));
    QTest::newRow("a minute") << "2026-06-01T19:30"
                              << QDateTime(QDate(2026, 6, 1), QTime(19, 30));
    QTest::newRow("milliseconds") << "2026-06-01T19:30:05.250"
                                  << QDateTime(QDate(2026, 6, 1), QTime(19, 30, 5, 250));
    QTest::newRow("a zone") << "2026-06-01T19:30:00Z"
                            << QDateTime(QDate(2026, 6, 1), QTime(19, 30), QTimeZone::utc())
                                   .toLocalTime();
    QTest::newRow("no date") << "yesterday" << QDateTime();
    QTest::newRow("no day of that month") << "2026-02-30" << QDateTime();
    QTest::newRow("a folder with no backup") << "." << QDateTime();
}

void TestVersionStore::timesAsTheUserWritesThem() {
    QFETCH(QString, when);
    QFETCH(QDateTime, local);
    if (!local.isValid()) {
        QCOMPARE(codeOf([&] { versions::timeNamed(when); }),
                 platform::ErrorCode::VersionTimeUnusable);
        return;
    }
    QCOMPARE(versions::timeNamed(when), local.toUTC());
}

// tone:3 held A, then B, then was seen holding A again; song:0 was emptied. The keyboard as of
// each moment, what changed between two, and what a prune keeps.
void TestVersionStore::asOfChangesAndPruneFollowTheSlotsPast() {
    QTemporaryDir folder;
    versions::Store store(folder.path());
    EkDataFile a(DataType::Tone);
    tone(a, 1, "A");
    EkDataFile b(DataType::Tone);
    tone(b, 2, "B");
    EkDataFile song(DataType::Song);
    tone(song, 3, "Song");
    store.record(seen("tone:3", 0), &a);
    store.record(seen("song:0", 0), &song);
    store.record(seen("tone:3", 10), &b);
    versions::Version emptied = seen("song:0", 20);
    emptied.how = versions::How::Emptied;
    store.record(emptied, nullptr);
    store.record(seen("tone:3", 30), &a);
    store.record(seen("tone:4", 40), &b);

    const auto names = [](const std::vector<versions::Version>& found) {
        QStringList shown;
        for (const versions::Version& version : found) {
            shown << version.slot.text() + '=' + (version.holdsItem() ? version.name : "-");
        }
        return shown;
    };
    const QString keyboard = "JACK MLS-850";
    QCOMPARE(names(store.asOf(keyboard, kStart.addSecs(15 * 60))),
             (QStringList{"tone:3=B", "song:0=Song"}));
    QCOMPARE(names(store.asOf(keyboard, kStart.addSecs(60 * 60))),
             (QStringList{"tone:3=A", "tone:4=B", "song:0=-"}));
    QCOMPARE(names(store.asOf("ALSA another", kStart.addSecs(60 * 60))), QStringList());

    QStringList changed;
    for (const auto& change :
         versions::changesBetween(store, keyboard, kStart.addSecs(5 * 60), kStart.addSecs(3600))) {
        changed << change.slot.text() + ' ' + versions::changeText(change.change);
    }
    // tone:3 went A, B and back to A: nothing changed between the two moments.
    QCOMPARE(changed, (QStringList{"tone:4 unknown", "song:0 removed"}));

    // Older than the end: only the newest sighting of each item in each slot stays.
    const versions::Store::Pruned pruned = store.prune(kStart.addSecs(3600));
    QCOMPARE(pruned.versions, 1);  // tone:3's first A
    QCOMPARE(pruned.items, 0);     // every item is still some slot's
    QCOMPARE(store.ofSlot(keyboard, *SlotAddress::parse("tone:3")).size(), std::size_t(2));
}

QTEST_GUILESS_MAIN(TestVersionStore)
#include "tst_versionstore.moc"
