// Items sent into and fetched from the software keyboard through the real keyboard stream:
// block sizes, handshake, the keyboard's refusals and faults, and what the tree shows after.

#include <QJsonObject>
#include <QtTest>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "platform/cancellation.h"
#include "platform/systemerror.h"
#include "stream/nvbmidistream.h"
#include "stream/nvbstreamexception.h"
#include "support/codedfailure.h"
#include "support/expectcode.h"
#include "support/handframes.h"
#include "support/keyboardrig.h"
#include "support/scripteddevice.h"

using kbdsim::KeyboardMemory;
using Words = std::vector<std::uint16_t>;
using handframes::Bytes;

namespace {

class PositionRecorder : public NvbStreamObserver {
public:
    void notify(NvbStream& stream) override { positions << stream.position(); }
    QList<int> positions;
};

Words pattern(std::size_t count, std::uint16_t seed) {
    Words words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = std::uint16_t(seed * 7 + i * 40503u);
    }
    return words;
}

std::unique_ptr<EkDataFile> songItem(std::uint32_t size, const std::string& name = "Test Sng") {
    auto item = std::make_unique<EkDataFile>(DataType::Song);
    item->setSize(size);
    item->words() = pattern(size / 2, 5);
    item->storeName(name);
    return item;
}

// Message type and, for blocks, word count of everything the keyboard received.
QStringList shapes(const KeyboardRig& rig) {
    QStringList out;
    for (const QByteArray& m : rig.fromProgram()) {
        const int type = quint8(m[5]) >> 4;
        if (type == 4) {
            out << QStringLiteral("block%1:%2").arg(int(m[10])).arg(int(m[12]));
        } else if (type == 7) {
            out << QStringLiteral("status%1").arg(int(m[10]));
        }
    }
    return out;
}

class Setup {
public:
    explicit Setup(KeyboardMemory memory = KeyboardMemory::demo()) : rig(std::move(memory)) {
        driver.getList(rig.inputNumber(), rig.outputNumber());
        rig.clearTraffic();
    }
    std::unique_ptr<NvbMidiStream> stream(const std::string& path) {
        return std::make_unique<NvbMidiStream>(path, rig.inputNumber(), rig.outputNumber(), driver);
    }

    KeyboardRig rig;
    EkKbdDrv driver{"MLS-850"};
};

}  // namespace

class TestNvbMidiStream : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sendsInBlocksOf64Words_data();
    void sendsInBlocksOf64Words();
    void sendUpdatesTheTree();
    void resendsABlockAnsweredWithAnUnknownStatus();
    void givesUpOnABlockThatIsNeverAcknowledged();
    void sendRefusals_data();
    void sendRefusals();
    void typeMismatchSendsNothing();
    void sizesTheTypeCannotHaveAreRefusedBeforeAnything_data();
    void sizesTheTypeCannotHaveAreRefusedBeforeAnything();
    void songMemoryCountsTheSongItReplaces_data();
    void songMemoryCountsTheSongItReplaces();
    void itemShorterThanItsSizeIsRefusedBeforeAnything();
    void registrationAddress();
    void lostEndIsSentAgainOrFails_data();
    void lostEndIsSentAgainOrFails();
    void fetchesAnItem_data();
    void fetchesAnItem();
    void failedFetchLeavesTheItemUntouched_data();
    void failedFetchLeavesTheItemUntouched();
    void fetchedBlockPastTheSlotIsRefused();
    void blocksOfAnotherSlotAreNeverTaken_data();
    void blocksOfAnotherSlotAreNeverTaken();
    void stopRequestEndsATransferAtTheNextMessage_data();
    void stopRequestEndsATransferAtTheNextMessage();
    void brokenFetchesSaveNothing_data();
    void brokenFetchesSaveNothing();
    void parameterAnswersToBlocksAreResentThenFail_data();
    void parameterAnswersToBlocksAreResentThenFail();
    void pathThatNamesNoSlotIsRefused_data();
    void pathThatNamesNoSlotIsRefused();
    void silenceTimesOutAndClosesThePorts();
};

void TestNvbMidiStream::sendsInBlocksOf64Words_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<QStringList>("blocks");
    QTest::addColumn<QList<int>>("positions");
    QTest::newRow("one block") << 128 << QStringList{"block0:64", "status0"} << QList<int>{128};
    QTest::newRow("300 bytes") << 300
                               << QStringList{"block0:64", "block1:64", "block2:22", "status0"}
                               << QList<int>{128, 256, 300};
    QStringList full;
    QList<int> fullPositions;
    for (int b = 0; b < 168; ++b) {
        full << QStringLiteral("block%1:64").arg(b & 0x7F);
        fullPositions << 128 * (b + 1);
    }
    full << "status0";
    QTest::newRow("full memory") << 21504 << full << fullPositions;
}

void TestNvbMidiStream::sendsInBlocksOf64Words() {
    QFETCH(int, size);
    QFETCH(QStringList, blocks);
    QFETCH(QList<int>, positions);
    Setup setup{KeyboardMemory()};
    auto item = songItem(std::uint32_t(size));
    auto stream = setup.stream("Song Rhythm:\\Song\\Song 1");
    PositionRecorder recorder;
    stream->attachObserver(&recorder);
    stream->write(*item);
    QCOMPARE(shapes(setup.rig), blocks);
    QCOMPARE(recorder.positions, positions);
    QCOMPARE(setup.rig.keyboard.memory().data({10, 0, 1}), item->words());
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::sendUpdatesTheTree() {
    Setup setup;
    auto stream = setup.stream("Song Rhythm:\\Song\\Sunrise ");
    EkData& slot = stream->slot();
    auto item = songItem(300, "Ballad");
    stream->write(*item);
    QCOMPARE(slot.name(), item->name());
    QCOMPARE(int(slot.size()), 300);
    QVERIFY(slot.isPresent());
    QCOMPARE(item->number(), 0);
    QCOMPARE(setup.driver.findArea("Song Rhythm:")->freeSpace(),
             int(setup.rig.keyboard.memory().freeMemory()));
    QCOMPARE(setup.rig.keyboard.memory().name({10, 0, 0}), std::string("Ballad  "));
    // The old song was deleted first: the command went out before the first block.
    QCOMPARE(int(setup.rig.fromProgram().at(1)[6]), 32);
}

void TestNvbMidiStream::resendsABlockAnsweredWithAnUnknownStatus() {
    Setup setup;
    kbdsim::Faults faults;
    faults.blockStatus = {1, 9, 1};
    setup.rig.keyboard.setFaults(faults);
    auto item = songItem(300);
    setup.stream("Song Rhythm:\\Song\\Song 1")->write(*item);
    QCOMPARE(shapes(setup.rig),
             (QStringList{"block0:64", "block1:64", "block1:64", "block2:22", "status0"}));
    QCOMPARE(setup.rig.keyboard.memory().data({10, 0, 1}), item->words());
}

void TestNvbMidiStream::givesUpOnABlockThatIsNeverAcknowledged() {
    Setup setup;
    kbdsim::Faults faults;
    faults.blockStatus = {0, 9, -1};
    setup.rig.keyboard.setFaults(faults);
    auto item = songItem(300);
    QCOMPARE(expectCode([&] { setup.stream("Song Rhythm:\\Song\\Song 1")->write(*item); }), 2);
    QCOMPARE(shapes(setup.rig).size(), NvbMidiStream::kMaxResends + 1);
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::sendRefusals_data() {
    QTest::addColumn<int>("block");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("code");
    QTest::newRow("rejected") << 1 << 2 << 0;
    QTest::newRow("error") << 1 << 3 << 1;
    QTest::newRow("rejected on the last block") << 2 << 2 << 0;
}

void TestNvbMidiStream::sendRefusals() {
    QFETCH(int, block);
    QFETCH(int, status);
    QFETCH(int, code);
    Setup setup;
    kbdsim::Faults faults;
    faults.blockStatus = {block, status, 1};
    setup.rig.keyboard.setFaults(faults);
    auto rhythm = std::make_unique<EkDataFile>(DataType::Rhythm);
    rhythm->setSize(300);
    rhythm->words() = pattern(150, 1);
    QCOMPARE(expectCode([&] { setup.stream("Song Rhythm:\\Rhythm\\User 1")->write(*rhythm); }),
             code);
    QVERIFY(!shapes(setup.rig).contains("status0"));
    QVERIFY(!setup.rig.programHasItOpen());
    QCOMPARE(setup.rig.keyboard.memory().size({11, 0, 1}), 0);
}

void TestNvbMidiStream::typeMismatchSendsNothing() {
    Setup setup;
    auto item = songItem(300);
    QCOMPARE(expectCode([&] { setup.stream("Tone:\\Warm Pad")->write(*item); }), 1);
    QTest::qWait(10);
    QVERIFY(setup.rig.fromProgram().empty());
}

void TestNvbMidiStream::sizesTheTypeCannotHaveAreRefusedBeforeAnything_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("slot");
    // The song over Sunrise would have deleted it first.
    QTest::newRow("empty song") << int(DataType::Song) << 0 << "Song Rhythm:\\Song\\Sunrise ";
    QTest::newRow("odd-sized song") << int(DataType::Song) << 301 << "Song Rhythm:\\Song\\Sunrise ";
    QTest::newRow("empty rhythm") << int(DataType::Rhythm) << 0 << "Song Rhythm:\\Rhythm\\User 1";
    QTest::newRow("tone of 80 bytes") << int(DataType::Tone) << 80 << "Tone:\\Warm Pad";
    QTest::newRow("empty tone") << int(DataType::Tone) << 0 << "Tone:\\Warm Pad";
    QTest::newRow("DSP one word long") << int(DataType::DSP) << 38 << "DSP:\\Hall 1  ";
}

void TestNvbMidiStream::sizesTheTypeCannotHaveAreRefusedBeforeAnything() {
    QFETCH(int, type);
    QFETCH(int, size);
    QFETCH(QString, slot);
    Setup setup;
    const QJsonObject before = setup.rig.keyboard.memory().toJson();
    EkDataFile item{std::uint16_t(type)};
    item.setSize(std::uint32_t(size));
    item.words() = pattern(std::size_t(size + 1) / 2, 3);
    // The stream's "No NVB file": no item of this keyboard has that size.
    QCOMPARE(expectCode([&] { setup.stream(slot.toStdString())->write(item); }), 0);
    QTest::qWait(10);
    QVERIFY(setup.rig.fromProgram().empty());
    QCOMPARE(setup.rig.keyboard.memory().toJson(), before);
}

void TestNvbMidiStream::songMemoryCountsTheSongItReplaces_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<int>("beyondFree");  // the item's bytes beyond the free memory
    QTest::addColumn<int>("code");        // -1: sent
    // The Sunrise slot holds 1,800 bytes, deleted before the new song goes.
    QTest::newRow("replacing, fits") << "Song Rhythm:\\Song\\Sunrise " << 1800 << -1;
    QTest::newRow("replacing, 2 bytes too many") << "Song Rhythm:\\Song\\Sunrise " << 1802 << 2;
    QTest::newRow("empty slot, 2 bytes too many") << "Song Rhythm:\\Song\\Song 1" << 2 << 2;
    QTest::newRow("rhythm: nothing is deleted first") << "Song Rhythm:\\Rhythm\\Shuffle " << 2 << 2;
}

void TestNvbMidiStream::songMemoryCountsTheSongItReplaces() {
    QFETCH(QString, slot);
    QFETCH(int, beyondFree);
    QFETCH(int, code);
    Setup setup;
    const KeyboardMemory before = setup.rig.keyboard.memory();
    const std::uint32_t free = before.freeMemory();
    auto item = songItem(free + std::uint32_t(beyondFree));
    if (slot.contains("Rhythm\\")) {
        item->setType(DataType::Rhythm);
    }
    const int got = expectCode([&] { setup.stream(slot.toStdString())->write(*item); });
    QCOMPARE(got, code);
    if (code >= 0) {
        // Refused before anything was deleted or sent: only the free-memory question went.
        QCOMPARE(setup.rig.keyboard.memory().toJson(), before.toJson());
        QCOMPARE(setup.rig.fromProgram().size(), std::size_t(1));
    } else {
        QTRY_COMPARE(setup.rig.keyboard.memory().data({10, 0, 0}), item->words());
        QCOMPARE(setup.rig.keyboard.memory().freeMemory(), 0u);
    }
}

void TestNvbMidiStream::itemShorterThanItsSizeIsRefusedBeforeAnything() {
    Setup setup;
    auto item = songItem(300);
    item->words().resize(10);
    QVERIFY_THROWS_EXCEPTION(platform::SystemError,
                             setup.stream("Song Rhythm:\\Song\\Sunrise ")->write(*item));
    QVERIFY(setup.rig.fromProgram().empty());
    QCOMPARE(setup.rig.keyboard.memory().size({10, 0, 0}), 1800);
}

void TestNvbMidiStream::registrationAddress() {
    Setup setup;
    EkDataFile item(DataType::Registration);
    item.setSize(176);
    item.words() = pattern(88, 3);
    item.storeName("MyReg");
    auto stream = setup.stream("Registration:\\Bank1\\Preset13");
    QCOMPARE(stream->slot().bank(), 1);
    QCOMPARE(stream->slot().number(), 2);
    stream->write(item);
    const QByteArray& first = setup.rig.fromProgram().at(0);
    QCOMPARE(int(quint8(first[5])), 0x4C);
    QCOMPARE(int(first[8]) + 128 * int(first[9]), 4 * 2 + 1 + 16);
    // A registration's name cannot be asked: the item is fetched back (an Ack for each of its
    // two blocks) to see that the keyboard took it.
    QCOMPARE(shapes(setup.rig),
             (QStringList{"block0:64", "block1:24", "status0", "status1", "status1"}));
    QCOMPARE(setup.rig.keyboard.memory().data({12, 1, 2}), item.words());
    QCOMPARE(stream->slot().name(), std::string("MyReg"));
}

void TestNvbMidiStream::lostEndIsSentAgainOrFails_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("lost");
    QTest::addColumn<QString>("failure");  // the code's name; empty: taken
    // What tells the item from the slot's old one: the name asked (a tone or song of another
    // name), or only the data fetched back (a tone of the same name, a registration, a rhythm
    // of the same name and size).
    const struct {
        const char* row;
        const char* path;
        const char* name;
        int size;
    } kinds[] = {
        {"tone, new name", "Tone:\\Velvet  ", "NewTone", 60},
        {"tone, same name", "Tone:\\Velvet  ", "Velvet", 60},
        {"rhythm, same name and size", "Song Rhythm:\\Rhythm\\Bossa 2 ", "Bossa 2", 640},
        {"registration", "Registration:\\Bank0\\Preset01", "", 176},
        {"song over a song", "Song Rhythm:\\Song\\Sunrise ", "Ballad", 300},
        {"song into an empty slot", "Song Rhythm:\\Song\\Song 1", "Ballad", 300},
    };
    for (const auto& kind : kinds) {
        QTest::addRow("%s, End lost once", kind.row)
            << kind.path << kind.name << kind.size << 1 << QString();
        QTest::addRow("%s, End lost every time", kind.row)
            << kind.path << kind.name << kind.size << -1
            << QString(kind.size == 300 ? "SendNotConfirmedEmpty" : "SendNotConfirmed");
    }
}

void TestNvbMidiStream::lostEndIsSentAgainOrFails() {
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(int, size);
    QFETCH(int, lost);
    QFETCH(QString, failure);
    Setup setup;
    auto stream = setup.stream(path.toStdString());
    EkData& slot = stream->slot();
    const kbdsim::SlotRef ref{slot.type(), slot.bank(), slot.number()};
    const Words before = setup.rig.keyboard.memory().data(ref);
    const std::string nameBefore = slot.name();
    EkDataFile item(slot.type());
    item.setSize(std::uint32_t(size));
    item.words() = pattern(std::size_t(size / 2), 9);
    if (!name.isEmpty()) {
        item.storeName(name.toStdString());
    }
    kbdsim::Faults faults;
    faults.lose.end = lost;
    setup.rig.keyboard.setFaults(faults);

    QCOMPARE(innermostFailure([&] { stream->write(item); }), failure);
    const int ends = int(shapes(setup.rig).count("status0"));
    if (failure.isEmpty()) {
        QCOMPARE(setup.rig.keyboard.memory().data(ref), item.words());
        QCOMPARE(slot.name(), item.name());
        QCOMPARE(ends, 1);  // the lost one never reached the keyboard
    } else {
        // Sent from block 0 each time, never completed by a lone End: what the keyboard held
        // before stays (a song slot stays emptied), and the tree says what the keyboard holds.
        QCOMPARE(ends, 0);
        const QStringList firstBlocks = shapes(setup.rig).filter(QRegularExpression("^block0:"));
        QCOMPARE(firstBlocks.size(), EkKbdDrv::kChangeTries);
        if (size == 300) {
            QCOMPARE(setup.rig.keyboard.memory().size(ref), 0);
            QVERIFY(!slot.isPresent());
        } else {
            QCOMPARE(setup.rig.keyboard.memory().data(ref), before);
            QCOMPARE(slot.name(), nameBefore);
        }
    }
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::fetchesAnItem_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::newRow("song") << "Song Rhythm:\\Song\\Sunrise " << 10 << 0 << 0 << "Sunrise ";
    QTest::newRow("rhythm") << "Song Rhythm:\\Rhythm\\Shuffle " << 11 << 0 << 2 << "Shuffle ";
    QTest::newRow("tone") << "Tone:\\Cello Sx" << 2 << 0 << 8 << "Cello Sx";
    QTest::newRow("registration") << "Registration:\\Bank3\\Preset32" << 12 << 3 << 1 << "Preset32";
    QTest::newRow("empty song") << "Song Rhythm:\\Song\\Song 1" << 10 << 0 << 1 << "";
}

void TestNvbMidiStream::fetchesAnItem() {
    QFETCH(QString, path);
    QFETCH(int, type);
    QFETCH(int, bank);
    QFETCH(int, number);
    QFETCH(QString, name);
    Setup setup;
    EkDataFile item(DataType::NoType);
    auto stream = setup.stream(path.toStdString());
    PositionRecorder recorder;
    stream->attachObserver(&recorder);
    stream->read(item);
    const Words& expected = setup.rig.keyboard.memory().data({std::uint16_t(type), bank, number});
    QCOMPARE(item.words(), expected);
    QCOMPARE(int(item.type()), type);
    QCOMPARE(int(item.size()), int(expected.size() * 2));
    if (!name.isEmpty()) {
        QCOMPARE(QString::fromStdString(item.name()), name);
    }
    if (!expected.empty()) {
        QCOMPARE(recorder.positions.last(), int(expected.size() * 2));
    }
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::failedFetchLeavesTheItemUntouched_data() {
    QTest::addColumn<int>("fetchBlock");
    QTest::addColumn<int>("fetchStatus");
    QTest::addColumn<int>("corruptBlock");
    QTest::addColumn<int>("code");
    QTest::newRow("rejected request") << 0 << 2 << -1 << 0;
    QTest::newRow("error") << 1 << 3 << -1 << 1;
    QTest::newRow("ack in place of a block") << 1 << 1 << -1 << 2;
    QTest::newRow("corrupted checksum") << -1 << 1 << 2 << 5;
}

void TestNvbMidiStream::failedFetchLeavesTheItemUntouched() {
    QFETCH(int, fetchBlock);
    QFETCH(int, fetchStatus);
    QFETCH(int, corruptBlock);
    QFETCH(int, code);
    Setup setup;
    kbdsim::Faults faults;
    faults.fetchStatus = {fetchBlock, fetchStatus};
    faults.corruptChecksumBlock = corruptBlock;
    setup.rig.keyboard.setFaults(faults);
    EkDataFile item(DataType::NoType);
    QCOMPARE(expectCode([&] { setup.stream("Song Rhythm:\\Song\\Sunrise ")->read(item); }), code);
    QVERIFY(item.words().empty());
    QCOMPARE(int(item.type()), int(DataType::NoType));
    QCOMPARE(int(item.size()), 0);
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::fetchedBlockPastTheSlotIsRefused() {
    Setup setup;
    // The song grew on the keyboard after the list was fetched.
    setup.rig.keyboard.memory().setData({10, 0, 0}, pattern(1000, 8));
    EkDataFile item(DataType::NoType);
    QCOMPARE(expectCode([&] { setup.stream("Song Rhythm:\\Song\\Sunrise ")->read(item); }), 1);
    QVERIFY(item.words().empty());
    QVERIFY(!setup.rig.programHasItOpen());
}

void TestNvbMidiStream::blocksOfAnotherSlotAreNeverTaken_data() {
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("address");
    QTest::addColumn<bool>("taken");
    // The fetch asks for song 0: area 10, address 0.
    QTest::newRow("its own blocks") << 10 << 0 << true;
    QTest::newRow("song 1's blocks") << 10 << 1 << false;
    QTest::newRow("a rhythm's blocks") << 11 << 100 << false;
}

void TestNvbMidiStream::blocksOfAnotherSlotAreNeverTaken() {
    QFETCH(int, area);
    QFETCH(int, address);
    QFETCH(bool, taken);
    // A keyboard answers every program that listens: here it answers with blocks that another
    // program's fetch asked for.
    ScriptedDevice keyboard("Test busy keyboard");
    const Words words = pattern(100, 6);
    keyboard.script = {handframes::block(area, address, 0, words),
                       handframes::block(area, address, 1, words), handframes::status(10, 0, 0)};
    EkKbdDrv driver("MLS-850");
    EkData slot(DataType::Song);
    slot.setSize(200);
    slot.setPresent();
    NvbMidiStream stream(slot, "Song Rhythm:\\Song", keyboard.inputNumber(),
                         keyboard.outputNumber(), driver);
    EkDataFile item(DataType::NoType);
    if (taken) {
        stream.read(item);
        QCOMPARE(item.words(), words);
    } else {
        QCOMPARE(expectCode([&] { stream.read(item); }), 1);  // the link's failure
        QVERIFY(item.words().empty());
    }
}

namespace {

// Asks for a stop once the transfer has moved `afterBlocks` blocks.
class StopAfter : public NvbStreamObserver {
public:
    explicit StopAfter(int blocks) : blocks_(blocks) {}
    void notify(NvbStream&) override {
        if (--blocks_ == 0) {
            platform::Cancellation::request();
        }
    }

private:
    int blocks_;
};

}  // namespace

void TestNvbMidiStream::stopRequestEndsATransferAtTheNextMessage_data() {
    QTest::addColumn<bool>("send");
    QTest::newRow("fetch") << false;
    QTest::newRow("send") << true;
}

void TestNvbMidiStream::stopRequestEndsATransferAtTheNextMessage() {
    QFETCH(bool, send);
    Setup setup;
    const KeyboardMemory before = setup.rig.keyboard.memory();
    StopAfter stop(2);
    auto stream =
        setup.stream(send ? "Song Rhythm:\\Rhythm\\User 1" : "Song Rhythm:\\Song\\Sunrise ");
    stream->attachObserver(&stop);
    EkDataFile item(send ? DataType::Rhythm : DataType::NoType);
    if (send) {
        item.setSize(640);
        item.words() = pattern(320, 3);
        item.storeName("Stopped ");
    }
    bool cancelled = false;
    try {
        send ? stream->write(item) : stream->read(item);
    } catch (const platform::Cancelled&) {
        cancelled = true;
    }
    platform::Cancellation::clear();
    QVERIFY(cancelled);
    // Two blocks and their answers, then nothing: no third block, no End, no Ack for block 2.
    QCOMPARE(shapes(setup.rig).count(send ? "status0" : "status1"), send ? 0 : 1);
    QCOMPARE(setup.rig.keyboard.memory().toJson(), before.toJson());
    QVERIFY(!setup.rig.programHasItOpen());
    if (!send) {
        QVERIFY(item.words().empty());
        QCOMPARE(int(item.type()), int(DataType::NoType));
    }
    // The next transfer runs as usual.
    EkDataFile again(DataType::NoType);
    setup.stream("Song Rhythm:\\Song\\Sunrise ")->read(again);
    QCOMPARE(int(again.size()), 1800);
}

namespace {

// A slot of an unlisted driver's tree, given the size a listing would have found.
EkData& slotWithSize(EkKbdDrv& driver, const std::string& folder, std::uint32_t size) {
    EkData* item = nullptr;
    driver.openDirectory(folder, walk::kSlots, item);
    driver.closeDirectory();
    item->setSize(size);
    item->setPresent();
    return *item;
}

// The message type and, for a status, its value, of each message the program sent.
QStringList sentShapes(const ScriptedDevice& device) {
    QStringList out;
    for (const auto& m : device.received) {
        const int type = m.at(5) >> 4;
        out << (type == 7 ? QStringLiteral("status%1").arg(int(m.at(10)))
                          : QStringLiteral("type%1").arg(type));
    }
    return out;
}

}  // namespace

void TestNvbMidiStream::brokenFetchesSaveNothing_data() {
    using namespace handframes;
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<Bytes>>("answers");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("sent");
    const Words tone = pattern(30, 1);
    const Words song = pattern(100, 2);  // two blocks: 64 and 36 words
    // Tone 0 is area 2, address 384; song 0 is area 10, address 0.
    QTest::newRow("parameter message in place of data")
        << "Tone:\\" << 60
        << QList<Bytes>{{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00,
                         0xF7}}
        << 4 << QStringList{"type5", "status3"};
    QTest::newRow("end before any data")
        << "Tone:\\" << 60 << QList<Bytes>{status(2, 384, 0)} << 1 << QStringList{"type5"};
    QTest::newRow("end after the first of two blocks")
        << "Song Rhythm:\\Song\\" << 200 << QList<Bytes>{block(10, 0, 0, song), status(10, 0, 0)}
        << 1 << QStringList{"type5", "status1"};
    QTest::newRow("the same block three times")
        << "Tone:\\" << 60
        << QList<Bytes>{block(2, 384, 0, tone), block(2, 384, 0, tone), block(2, 384, 0, tone),
                        status(2, 384, 0)}
        << 1 << QStringList{"type5", "status1", "status1"};
    QTest::newRow("second block first")
        << "Song Rhythm:\\Song\\" << 200 << QList<Bytes>{block(10, 0, 1, song)} << 1
        << QStringList{"type5"};
    QTest::newRow("a block past the item")
        << "Tone:\\" << 60
        << QList<Bytes>{block(2, 384, 0, tone), block(2, 384, 1, pattern(100, 3))} << 1
        << QStringList{"type5", "status1"};
    QTest::newRow("a short block in the middle")
        << "Song Rhythm:\\Song\\" << 200 << QList<Bytes>{block(10, 0, 0, pattern(30, 4))} << 1
        << QStringList{"type5"};
}

void TestNvbMidiStream::brokenFetchesSaveNothing() {
    QFETCH(QString, folder);
    QFETCH(int, size);
    QFETCH(QList<Bytes>, answers);
    QFETCH(int, code);
    QFETCH(QStringList, sent);
    ScriptedDevice device("Test broken keyboard");
    device.script.assign(answers.begin(), answers.end());
    EkKbdDrv driver("MLS-850");
    EkData& slot = slotWithSize(driver, folder.toStdString(), std::uint32_t(size));
    NvbMidiStream stream(slot, folder.toStdString(), device.inputNumber(), device.outputNumber(),
                         driver);
    EkDataFile item(DataType::NoType);
    QCOMPARE(expectCode([&] { stream.read(item); }), code);
    QVERIFY(item.words().empty());
    QCOMPARE(int(item.type()), int(DataType::NoType));
    QCOMPARE(sentShapes(device), sent);
    QCOMPARE(device.openInputCount(), 0);
}

void TestNvbMidiStream::parameterAnswersToBlocksAreResentThenFail_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("a full block") << 176;   // a registration: 128 bytes, then 48
    QTest::newRow("the last block") << 60;  // a tone: one block
}

void TestNvbMidiStream::parameterAnswersToBlocksAreResentThenFail() {
    QFETCH(int, size);
    // Every block answered with a parameter message in place of a status.
    ScriptedDevice device("Test chattering keyboard");
    const Bytes chatter = handframes::paramData(0, 0, 34, 32, 0, 21504);
    device.script.assign(NvbMidiStream::kMaxResends + 1, chatter);
    EkKbdDrv driver("MLS-850");
    const bool tone = size == 60;
    const std::string folder = tone ? "Tone:\\" : "Registration:\\Bank0\\";
    EkData& slot = slotWithSize(driver, folder, 0);
    NvbMidiStream stream(slot, folder, device.inputNumber(), device.outputNumber(), driver);
    EkDataFile item(tone ? DataType::Tone : DataType::Registration);
    item.setSize(std::uint32_t(size));
    item.words() = pattern(std::size_t(size) / 2, 9);
    QCOMPARE(expectCode([&] { stream.write(item); }), 2);
    const QStringList sent = sentShapes(device);
    // Block 0 and its resends; never an End, so the keyboard keeps nothing.
    QCOMPARE(sent, QStringList(NvbMidiStream::kMaxResends + 1, "type4"));
    QVERIFY(!slot.isPresent() || slot.size() == 0);
    QCOMPARE(device.openInputCount(), 0);
}

void TestNvbMidiStream::pathThatNamesNoSlotIsRefused_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("no such name") << "Song Rhythm:\\Song\\Nothing";
    QTest::newRow("a folder") << "Song Rhythm:\\Song";
    QTest::newRow("no such area") << "Piano:\\User 0";
}

void TestNvbMidiStream::pathThatNamesNoSlotIsRefused() {
    QFETCH(QString, path);
    Setup setup;
    QVERIFY_THROWS_EXCEPTION(platform::SystemError, setup.stream(path.toStdString()));
}

void TestNvbMidiStream::silenceTimesOutAndClosesThePorts() {
    Setup setup;
    kbdsim::Faults faults;
    faults.silent = true;
    setup.rig.keyboard.setFaults(faults);
    EkDataFile tone(DataType::Tone);
    tone.setSize(60);
    tone.words() = pattern(30, 2);
    QCOMPARE(expectCode([&] { setup.stream("Tone:\\Velvet  ")->write(tone); }), 6);
    QVERIFY(!setup.rig.programHasItOpen());
    QCOMPARE(expectCode([&] { setup.stream("Tone:\\Velvet  ")->read(tone); }), 6);
    QCOMPARE(tone.words(), pattern(30, 2));
}

QTEST_GUILESS_MAIN(TestNvbMidiStream)
#include "tst_nvbmidistream.moc"
