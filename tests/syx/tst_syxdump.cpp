// ".syx" dumps: what the keyboard sends for an item, and the items found in recordings of any
// generic SysEx tool, with the reason for each that cannot be used.

#include <QMetaEnum>
#include <QtTest>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbddrv/mls850layout.h"
#include "sysex/sysexrecords.h"
#include "syx/syxdump.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

std::vector<std::uint16_t> pattern(std::size_t count, int seed) {
    std::vector<std::uint16_t> words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = std::uint16_t(seed * 131 + i * 7919);
    }
    return words;
}

// The messages of a dump, one by one (the last is the End status).
std::vector<Bytes> messagesOf(std::uint16_t type, const char* slot, std::size_t words, int seed) {
    EkDataFile item(type);
    item.setSize(std::uint32_t(2 * words));
    item.words() = pattern(words, seed);
    const Bytes dump = syx::dumpOf(item, *SlotAddress::parse(slot));
    std::vector<Bytes> messages;
    for (std::size_t at = 0; at < dump.size();) {
        const auto end = std::find(dump.begin() + std::ptrdiff_t(at), dump.end(), sysex::kEnd);
        messages.emplace_back(dump.begin() + std::ptrdiff_t(at), end + 1);
        at = std::size_t(end - dump.begin()) + 1;
    }
    return messages;
}

QByteArray joined(const std::vector<Bytes>& messages) {
    QByteArray out;
    for (const Bytes& message : messages) {
        out.append(reinterpret_cast<const char*>(message.data()), qsizetype(message.size()));
    }
    return out;
}

const std::size_t kToneWords = mls850::kToneSize / 2;
const std::size_t kRegistrationWords = mls850::kRegistrationSize / 2;  // two blocks
const std::size_t kSongWords = 150;                                    // three blocks

std::vector<Bytes> tone() {
    return messagesOf(DataType::Tone, "tone:1", kToneWords, 1);
}
std::vector<Bytes> registration() {
    return messagesOf(DataType::Registration, "reg:1.2", kRegistrationWords, 2);
}
std::vector<Bytes> song() {
    return messagesOf(DataType::Song, "song:0", kSongWords, 3);
}

// The program's side of a fetch and a busy cable: a request first, an Ack after every block,
// real-time bytes inside the messages, a note and another maker's SysEx in between.
QByteArray asRecorded(const std::vector<Bytes>& messages) {
    const Bytes request{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x52, 0x00, 0x00, 0x01, 0x03, 0x00, 0xF7};
    const Bytes otherMaker{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7};
    const Bytes note{0x90, 0x40, 0x7F};
    QByteArray out = joined({request, otherMaker, note});
    for (const Bytes& message : messages) {
        Bytes noisy = message;
        noisy.insert(noisy.begin() + 3, 0xF8);  // a clock inside the message
        out.append(char(0xFE));                 // active sensing between messages
        out.append(joined({noisy}));
        Bytes ack = message;
        if ((message[5] >> 4) == SysExType::DataBlock) {
            // The Ack the program sends back: a Status of the same area and address.
            ack = {0xF0,
                   0x44,
                   0x11,
                   0x01,
                   0x7F,
                   std::uint8_t(0x70 | (message[5] & 0x0F)),
                   0x00,
                   0x00,
                   message[8],
                   message[9],
                   TransferStatus::Ack,
                   0xF7};
            out.append(joined({ack}));
        }
    }
    return out;
}

QString reasonName(const platform::CodedText& text) {
    const auto meta = QMetaEnum::fromType<platform::ErrorCode>();
    return text.reason ? meta.valueToKey(int(text.reason->code)) : QString("none");
}

}  // namespace

class TestSyxDump : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void recordingsGiveTheirWholeItems_data();
    void recordingsGiveTheirWholeItems();
    void anItemIsWhatAnImportOfItsSlotGives();
};

void TestSyxDump::recordingsGiveTheirWholeItems_data() {
    QTest::addColumn<QByteArray>("recording");
    QTest::addColumn<QStringList>("items");     // the slots of the whole items, in order
    QTest::addColumn<QStringList>("unusable");  // "SLOT REASON" of each item that is not
    const auto without = [](std::vector<Bytes> messages, std::size_t index) {
        messages.erase(messages.begin() + std::ptrdiff_t(index));
        return messages;
    };
    const auto plus = [](std::vector<Bytes> a, const std::vector<Bytes>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };

    QTest::newRow("a tone as the keyboard sends it")
        << joined(tone()) << QStringList{"tone:1"} << QStringList{};
    QTest::newRow("recorded with requests, Acks, noise and other makers' messages")
        << asRecorded(plus(plus(tone(), registration()), song()))
        << QStringList{"tone:1", "reg:1.2", "song:0"} << QStringList{};
    std::vector<Bytes> resent = registration();
    resent.insert(resent.begin() + 1, resent[0]);
    QTest::newRow("a block sent again after a lost Ack")
        << joined(resent) << QStringList{"reg:1.2"} << QStringList{};
    QTest::newRow("several items, one without its End")
        << joined(plus(without(tone(), 1), song())) << QStringList{"tone:1", "song:0"}
        << QStringList{};
    QByteArray cut = joined(song());
    cut.chop(qsizetype(song().back().size() + song()[2].size() / 2));
    QTest::newRow("a recording that ends in the middle of a block")
        << joined(tone()) + cut << QStringList{"tone:1"} << QStringList{"song:0 DumpCutShort"};
    QByteArray interrupted = joined(song());
    interrupted.insert(qsizetype(song()[0].size() + 40), char(0x90));
    QTest::newRow("a block cut short by another status byte")
        << interrupted << QStringList{} << QStringList{"song:0 DumpMissingBlock"};
    std::vector<Bytes> badSum = song();
    badSum[1][badSum[1].size() - 2] ^= 1;
    QTest::newRow("a wrong checksum, then a whole item")
        << joined(plus(badSum, tone())) << QStringList{"tone:1"}
        << QStringList{"song:0 DumpBadChecksum"};
    QTest::newRow("a block missing")
        << joined(without(song(), 1)) << QStringList{} << QStringList{"song:0 DumpMissingBlock"};
    const std::vector<Bytes> reg = registration();
    QTest::newRow("two items' blocks mixed")
        << joined({reg[0], tone()[0], reg[1], reg[2]}) << QStringList{"tone:1"}
        << QStringList{"reg:1.2 DumpMixedItems"};
    std::vector<Bytes> nowhere = tone();
    for (Bytes& message : nowhere) {
        message[8] = 0x77;  // address 503, between the tones (384-393) and nothing
    }
    QTest::newRow("an address that is no slot")
        << joined(nowhere) << QStringList{}
        << QStringList{"area 2, address 503 DumpUnknownAddress"};
    QTest::newRow("a size no tone has") << joined(messagesOf(DataType::Tone, "tone:2", 20, 4))
                                        << QStringList{} << QStringList{"tone:2 DumpWrongSize"};
    std::vector<Bytes> stopped = song();
    stopped[2] = stopped.back();
    stopped[2][10] = TransferStatus::Rejected;
    stopped.pop_back();
    QTest::newRow("stopped by the keyboard")
        << joined(stopped) << QStringList{} << QStringList{"song:0 DumpStoppedByStatus"};
    QTest::newRow("a song whose whole last block is its last, without its End")
        << joined(without(messagesOf(DataType::Song, "song:1", 64, 5), 1)) << QStringList{}
        << QStringList{"song:1 DumpCutShort"};
    QTest::newRow("nothing of the keyboard's")
        << QByteArray::fromHex("f0431000f7fe904040f07e7f0601f7") << QStringList{} << QStringList{};
}

void TestSyxDump::recordingsGiveTheirWholeItems() {
    QFETCH(QByteArray, recording);
    QFETCH(QStringList, items);
    QFETCH(QStringList, unusable);
    const syx::DumpContents dump =
        syx::readDump({reinterpret_cast<const std::uint8_t*>(recording.constData()),
                       std::size_t(recording.size())});
    QStringList found;
    for (const syx::DumpedItem& item : dump.items) {
        found << item.slot.text();
    }
    QStringList refused;
    for (const platform::CodedText& text : dump.unusable) {
        QCOMPARE(text.code, platform::ErrorCode::DumpItemUnusable);
        refused << text.args.value(0) + ' ' + reasonName(text);
    }
    QCOMPARE(found, items);
    QCOMPARE(refused, unusable);
    // Every item found holds exactly the words that were dumped.
    for (const syx::DumpedItem& item : dump.items) {
        const int seed = item.type() == DataType::Tone ? 1 : item.type() == DataType::Song ? 3 : 2;
        QCOMPARE(item.words, pattern(item.words.size(), seed));
    }
}

// The item of a dump: type, size, data and name as an import of its slot makes them (a
// registration's name is the one the keyboard's list gives it).
void TestSyxDump::anItemIsWhatAnImportOfItsSlotGives() {
    EkDataFile song(DataType::Song);
    song.setSize(2 * kSongWords);
    song.words() = pattern(kSongWords, 3);
    song.storeName("Sunrise");
    const Bytes dump = syx::dumpOf(song, *SlotAddress::parse("song:1"));
    const syx::DumpContents contents = syx::readDump(dump);
    QCOMPARE(int(contents.items.size()), 1);
    EkDataFile read(DataType::NoType);
    contents.items.front().fill(read);
    QCOMPARE(read.type(), std::uint16_t(DataType::Song));
    QCOMPARE(read.size(), song.size());
    QCOMPARE(read.words(), song.words());
    QCOMPARE(read.name(), std::string("Sunrise "));
    QCOMPARE(read.header().bytes(), song.header().bytes());

    EkDataFile registration(DataType::Registration);
    registration.setSize(mls850::kRegistrationSize);
    registration.words() = pattern(kRegistrationWords, 2);
    const syx::DumpContents reg =
        syx::readDump(syx::dumpOf(registration, *SlotAddress::parse("reg:3.0")));
    QCOMPARE(int(reg.items.size()), 1);
    QCOMPARE(reg.items.front().name(), std::string("Preset31"));
}

QTEST_GUILESS_MAIN(TestSyxDump)
#include "tst_syxdump.moc"
