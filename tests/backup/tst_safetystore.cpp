// The store of kept copies on disk, without a keyboard: what put-back reads, how copies are
// numbered, and what a store that cannot be written says.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "support/codedfailure.h"

namespace {

constexpr int kToneBytes = 60;

std::unique_ptr<EkDataFile> tone(int seed) {
    auto item = std::make_unique<EkDataFile>(DataType::Tone);
    item->setSize(kToneBytes);
    item->words().assign(kToneBytes / 2, std::uint16_t(seed));
    item->storeName("Tone " + std::to_string(seed));
    return item;
}

}  // namespace

class TestSafetyStore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void putBackReadsOnlyTheKeptFileItself_data();
    void putBackReadsOnlyTheKeptFileItself();
    void numbersNeverRepeat();
    void aStoreThatCannotBeWrittenSaysWhy_data();
    void aStoreThatCannotBeWrittenSaysWhy();
    void pruningSparesWhatUndoNeedsAndTheNewestOfEachSlot();

private:
    std::unique_ptr<QTemporaryDir> home_;
};

void TestSafetyStore::pruningSparesWhatUndoNeedsAndTheNewestOfEachSlot() {
    safety::Store store(home_->path());
    const SlotAddress tone0{"tone", 0, 0};
    const SlotAddress tone1{"tone", 0, 1};
    // Copy 1 of tone:0 is what the history's change put back; copy 2 of it is used by nothing,
    // copy 3 is the slot's newest.
    {
        safety::ChangeRecord record(store, "test keyboard", "send", {"tone:0"});
        record.keep(*tone(1), tone0, safety::Why::Send);
        record.left(tone0, tone(2).get());
        record.commit();
    }
    store.add(*tone(2), tone0, safety::Why::Send);
    store.add(*tone(3), tone0, safety::Why::Send);
    // Then as many copies of tone:1 as the store keeps: the oldest three must go.
    for (int i = 0; i < safety::kMaxCopies; ++i) {
        store.add(*tone(100 + i), tone1, safety::Why::Send);
    }
    std::set<safety::CopyId> left;
    for (const safety::Copy& copy : store.copies()) {
        left.insert(copy.id);
        QVERIFY(QFile::exists(store.filePath(copy)));
    }
    QCOMPARE(int(left.size()), safety::kMaxCopies);
    QVERIFY(left.count(1) == 1);  // undo needs it
    QVERIFY(left.count(2) == 0);  // nothing needs it
    QVERIFY(left.count(3) == 1);  // the newest of tone:0
    QVERIFY(left.count(4) == 0 && left.count(5) == 0 && left.count(6) == 1);
    // Files of pruned copies are gone with them.
    QCOMPARE(int(QDir(home_->path()).entryList({"*.nvb"}).size()), safety::kMaxCopies);
}

void TestSafetyStore::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
}

void TestSafetyStore::putBackReadsOnlyTheKeptFileItself_data() {
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("failure");  // its innermost code; empty: the kept item comes back
    QTest::newRow("as kept") << "none"
                             << "";
    QTest::newRow("a byte changed") << "byte"
                                    << "KeptCopyChanged";
    QTest::newRow("a link to an identical file") << "link to copy"
                                                 << "IsSymbolicLink";
    QTest::newRow("a link to a FIFO") << "link to fifo"
                                      << "IsSymbolicLink";
    QTest::newRow("a link to /dev/zero") << "link to zero"
                                         << "IsSymbolicLink";
    QTest::newRow("a FIFO in its place") << "fifo"
                                         << "NotRegularFile";
}

void TestSafetyStore::putBackReadsOnlyTheKeptFileItself() {
    QFETCH(QString, change);
    QFETCH(QString, failure);
    safety::Store store(home_->filePath("replaced"));
    const auto kept = tone(7);
    const safety::Copy copy = store.add(*kept, *SlotAddress::parse("tone:3"), safety::Why::Send);
    const QString path = store.filePath(copy);
    const QString elsewhere = home_->filePath("elsewhere.nvb");
    QVERIFY(QFile::copy(path, elsewhere));
    if (change == "byte") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(file.size() - 1));
        QVERIFY(file.putChar('\x55'));
    } else if (change.startsWith("link") || change == "fifo") {
        QVERIFY(QFile::remove(path));
        const QString fifo = home_->filePath("fifo");
        if (change == "link to fifo" || change == "fifo") {
            QCOMPARE(::mkfifo(qPrintable(change == "fifo" ? path : fifo), 0600), 0);
        }
        const QString target = change == "link to copy"   ? elsewhere
                               : change == "link to fifo" ? fifo
                                                          : QString("/dev/zero");
        if (change != "fifo") {
            QVERIFY(QFile::link(target, path));
        }
    }
    // Whatever is there, the answer comes at once: nothing waits for a writer or reads without
    // end.
    EkDataFile item(DataType::NoType);
    QCOMPARE(innermostFailure([&] { store.loadChecked(copy, item); }), failure);
    if (failure.isEmpty()) {
        QCOMPARE(item.words(), kept->words());
    }
}

void TestSafetyStore::numbersNeverRepeat() {
    const QString folder = home_->filePath("replaced");
    safety::Store store(folder);
    store.add(*tone(1), *SlotAddress::parse("tone:1"), safety::Why::Send);
    // An index whose newest copy has the largest 32-bit number: the next ones go past it.
    const auto setNewestId = [&](qint64 id) {
        QFile index(QDir(folder).filePath("index.json"));
        QVERIFY(index.open(QIODevice::ReadOnly));
        QJsonObject root = QJsonDocument::fromJson(index.readAll()).object();
        index.close();
        QJsonArray copies = root["copies"].toArray();
        QJsonObject newest = copies[0].toObject();
        newest["id"] = id;
        copies[0] = newest;
        root["copies"] = copies;
        QVERIFY(index.open(QIODevice::WriteOnly | QIODevice::Truncate));
        index.write(QJsonDocument(root).toJson());
    };
    setNewestId(std::numeric_limits<std::int32_t>::max());
    const auto a = store.add(*tone(2), *SlotAddress::parse("tone:2"), safety::Why::Send);
    const auto b = store.add(*tone(3), *SlotAddress::parse("tone:3"), safety::Why::Send);
    QCOMPARE(a.id, safety::CopyId(std::numeric_limits<std::int32_t>::max()) + 1);
    QCOMPARE(b.id, a.id + 1);
    QCOMPARE(store.find(a.id)->slot.text(), QString("tone:2"));
    QCOMPARE(store.find(b.id)->slot.text(), QString("tone:3"));

    // At the end of what JSON keeps exactly, the copies are numbered afresh, oldest first, and
    // each still finds its own file.
    setNewestId(safety::kMaxCopyId);
    const auto d = store.add(*tone(4), *SlotAddress::parse("tone:4"), safety::Why::Send);
    const std::vector<safety::Copy> all = store.copies();
    QCOMPARE(int(all.size()), 4);
    QCOMPARE(d.id, safety::CopyId(4));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(all[std::size_t(i)].id, safety::CopyId(4 - i));
        EkDataFile back(DataType::NoType);
        store.loadChecked(all[std::size_t(i)], back);
        QCOMPARE(back.words(), tone(4 - i)->words());
    }
}

void TestSafetyStore::aStoreThatCannotBeWrittenSaysWhy_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("text");
    QTest::newRow("a file in the store's place") << "file"
                                                 << "Not a directory";
    QTest::newRow("a folder in the lock's place") << "lock folder"
                                                  << "Is a directory";
    QTest::newRow("a file-size limit") << "size limit"
                                       << "File too large";
}

void TestSafetyStore::aStoreThatCannotBeWrittenSaysWhy() {
    QFETCH(QString, obstacle);
    QFETCH(QString, text);
    const QString folder = home_->filePath("replaced");
    if (obstacle == "file") {
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else if (obstacle == "lock folder") {
        QVERIFY(QDir().mkpath(folder + "/index.lock"));
    }
    safety::Store store(folder);
    const auto item = tone(5);
    rlimit before{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
    if (obstacle == "size limit") {
        // No file may grow past a few bytes: the copy itself cannot be written.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = before;
        tiny.rlim_cur = 16;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    }
    QString failure;
    try {
        store.add(*item, *SlotAddress::parse("tone:5"), safety::Why::Send);
    } catch (const platform::SystemError& e) {
        failure = QString::fromStdString(e.what());
    }
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &before), 0);
    QVERIFY2(failure.contains(text), qPrintable(failure));
    QVERIFY2(!failure.contains("held by another program"), qPrintable(failure));
}

QTEST_GUILESS_MAIN(TestSafetyStore)
#include "tst_safetystore.moc"
