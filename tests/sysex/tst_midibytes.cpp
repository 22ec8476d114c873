// The cable's byte stream as the simulated instrument reads it: System Exclusive messages with
// real-time bytes anywhere, in pieces of any size, and what it must pass over.

#include <QtTest>

#include "kbdsim/rawmidicable.h"
#include "sysex/midibytes.h"

using Bytes = std::vector<std::uint8_t>;
using Messages = std::vector<Bytes>;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(Messages)

class TestMidiBytes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void messagesComeWholeFromAnyStream_data();
    void messagesComeWholeFromAnyStream();
    void realTimeBytesOfABusySenderAreReadAway();
    void deviceFilesAreNamedAsAlsaNamesThem();
};

namespace {

const Bytes kRequest{0xF0, 0x43, 0x10, 0x4C, 0x00, 0x01, 0xF7};
const Bytes kBlock = [] {
    Bytes block{0xF0, 0x43, 0x00};
    for (int i = 0; i < 300; ++i) {
        block.push_back(std::uint8_t(i & 0x7F));
    }
    block.push_back(0xF7);
    return block;
}();

Bytes joined(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

}  // namespace

void TestMidiBytes::messagesComeWholeFromAnyStream_data() {
    QTest::addColumn<Bytes>("stream");
    QTest::addColumn<Messages>("messages");
    QTest::addColumn<int>("dropped");
    QTest::newRow("one message") << kRequest << Messages{kRequest} << 0;
    QTest::newRow("two messages") << joined({kRequest, kBlock}) << Messages{kRequest, kBlock} << 0;
    QTest::newRow("clock and sensing inside and between")
        << Bytes{0xFE, 0xF0, 0x43, 0xF8, 0x10, 0x4C, 0xFE, 0x00, 0x01, 0xF8, 0xF7, 0xFE}
        << Messages{kRequest} << 0;
    QTest::newRow("channel messages around it")
        << joined({{0x90, 0x3C, 0x40, 0x80, 0x3C, 0x00}, kRequest, {0xB0, 0x07, 0x64}})
        << Messages{kRequest} << 0;
    QTest::newRow("cut short by a note")
        << joined({{0xF0, 0x43, 0x10, 0x90, 0x3C}, kRequest}) << Messages{kRequest} << 1;
    QTest::newRow("cut short by the next message")
        << joined({{0xF0, 0x43, 0x10}, kRequest}) << Messages{kRequest} << 1;
    QTest::newRow("a stray end and data")
        << joined({{0xF7, 0x11, 0x22}, kRequest}) << Messages{kRequest} << 0;
    Bytes tooLong{0xF0};
    tooLong.insert(tooLong.end(), sysex::MidiByteReader::kMaxMessage, 0x55);
    tooLong.push_back(0xF7);
    QTest::newRow("longer than the limit, then a good one")
        << joined({tooLong, kRequest}) << Messages{kRequest} << 1;
}

void TestMidiBytes::messagesComeWholeFromAnyStream() {
    QFETCH(Bytes, stream);
    QFETCH(Messages, messages);
    QFETCH(int, dropped);
    // All at once, byte by byte, and in the sequencer's 256-byte pieces: the same messages.
    for (const std::size_t piece :
         {stream.size(), std::size_t(1), std::size_t(7), std::size_t(256)}) {
        sysex::MidiByteReader reader;
        Messages got;
        for (std::size_t at = 0; at < stream.size(); at += piece) {
            const std::size_t size = std::min(piece, stream.size() - at);
            for (Bytes& message : reader.feed({stream.data() + at, size})) {
                got.push_back(std::move(message));
            }
        }
        QCOMPARE(got, messages);
        QCOMPARE(reader.droppedMessages(), dropped);
    }
}

void TestMidiBytes::realTimeBytesOfABusySenderAreReadAway() {
    const Bytes noisy = sysex::withRealTimeBytes(kBlock, 48);
    QCOMPARE(noisy.front(), std::uint8_t(0xFE));
    QCOMPARE(std::count(noisy.begin(), noisy.end(), std::uint8_t(0xF8)),
             std::ptrdiff_t((kBlock.size() - 1) / 48));
    QCOMPARE(noisy.back(), std::uint8_t(0xF7));  // never after the end
    sysex::MidiByteReader reader;
    QCOMPARE(reader.feed(noisy), Messages{kBlock});
}

void TestMidiBytes::deviceFilesAreNamedAsAlsaNamesThem() {
    QCOMPARE(kbdsim::RawMidiCable::alsaName("/dev/snd/midiC1D2"), QString("hw:1,2"));
    QCOMPARE(kbdsim::RawMidiCable::alsaName("hw:0,3"), QString("hw:0,3"));
    QCOMPARE(kbdsim::RawMidiCable::alsaName("/dev/snd/midiC1D2x"), QString("/dev/snd/midiC1D2x"));
}

QTEST_GUILESS_MAIN(TestMidiBytes)
#include "tst_midibytes.moc"
