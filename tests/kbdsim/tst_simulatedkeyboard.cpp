// The software keyboard driven with hand-written frames: its answers, its block transfers in
// both directions, each injected fault, pacing and its state file.

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "platform/systemerror.h"
#include "support/handframes.h"
#include "support/recordingdevice.h"

using namespace handframes;
using kbdsim::KeyboardMemory;
using kbdsim::SimulatedKeyboard;
using kbdsim::SlotRef;
using Words = std::vector<std::uint16_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

constexpr SlotRef kSong1{10, 0, 1};

Words pattern(std::size_t count, std::uint16_t seed) {
    Words words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = std::uint16_t(seed + i * 40503u);
    }
    return words;
}

QByteArray show(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()))
        .toHex(' ')
        .toUpper();
}

// A keyboard on a bench: unpaced, every answer collected.
class Bench {
public:
    explicit Bench(KeyboardMemory memory = KeyboardMemory::demo()) : keyboard(std::move(memory)) {
        keyboard.setTiming({false, {}});
        keyboard.setTransmitter([this](const Bytes& m) { answers.push_back(m); });
    }

    // Sends a message and returns what came back once everything pending has run.
    std::vector<Bytes> exchange(const Bytes& message) {
        answers.clear();
        keyboard.receive(message);
        settle();
        return answers;
    }

    static void settle() {
        for (int i = 0; i < 10; ++i) {
            QCoreApplication::processEvents();
        }
    }

    SimulatedKeyboard keyboard;
    std::vector<Bytes> answers;
};

std::string nameFromValues(std::uint32_t first, std::uint32_t second) {
    std::string name;
    for (std::uint32_t v : {first, second}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            name.push_back(char((v >> shift) & 0xFF));
        }
    }
    return name;
}

}  // namespace

class TestSimulatedKeyboard : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void kindQueryHasTheAnswerShape();
    void answersTheRequestCatalogue_data();
    void answersTheRequestCatalogue();
    void namesTravelMostSignificantByteFirst_data();
    void namesTravelMostSignificantByteFirst();
    void unknownRequestsGoUnanswered();
    void deletesSongsAndRhythms();
    void fetchesA300ByteSongBlockByBlock();
    void fetchOfAnEmptySlotEndsAtOnce();
    void receivesA300ByteSong();
    void rejectsAnItemThatDoesNotFit();
    void badChecksumIsAnError();
    void blockStatusFaults_data();
    void blockStatusFaults();
    void fetchFaults();
    void silenceAndWrongKind();
    void noiseComesBeforeEachAnswer();
    void droppedAnswer();
    void pacingTakesTheWireTime();
    void stateRoundTripsThroughJson();
    void damagedStateIsAClearError_data();
    void damagedStateIsAClearError();
    void builtInDeviceIsListedLastAndAnswers();
};

void TestSimulatedKeyboard::kindQueryHasTheAnswerShape() {
    Bench bench;
    const auto answers = bench.exchange(request(0, 0, 0, 14, 0));
    QCOMPARE(answers.size(), std::size_t(1));
    QCOMPARE(show(answers[0]), show(Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x00, 0x0D, 0x00,
                                          0x00, 0x00, 0x00, 0x00, 0xF7}));
}

void TestSimulatedKeyboard::answersTheRequestCatalogue_data() {
    QTest::addColumn<Bytes>("question");
    QTest::addColumn<uint>("value");
    // Demo content: song 0 1800 bytes, rhythms 0 and 2 of 640 and 1024 bytes.
    QTest::newRow("free memory") << request(0, 0, 34, 32, 0) << uint(21504 - 1800 - 640 - 1024);
    QTest::newRow("song 0 size") << request(0, 0, 38, 32, 0) << 1800u;
    QTest::newRow("song 1 size, empty") << request(0, 0, 38, 32, 1) << 0u;
    QTest::newRow("rhythm 2 size") << request(0, 0, 35, 32, 2) << 1024u;
    QTest::newRow("rhythm 3 size, empty") << request(0, 0, 35, 32, 3) << 0u;
}

void TestSimulatedKeyboard::answersTheRequestCatalogue() {
    QFETCH(Bytes, question);
    QFETCH(uint, value);
    Bench bench;
    const auto answers = bench.exchange(question);
    QCOMPARE(answers.size(), std::size_t(1));
    const Bytes& a = answers[0];
    // Same header fields as the request, type ParamData, the value in the request's width.
    QCOMPARE(int(a[5]), int(question[5] & 0x0F));
    QCOMPARE(Bytes(a.begin() + 6, a.begin() + 11),
             Bytes(question.begin() + 6, question.begin() + 11));
    QCOMPARE(a.size(), std::size_t(17));
    QCOMPARE(valueOf(a), value);
}

void TestSimulatedKeyboard::namesTravelMostSignificantByteFirst_data() {
    QTest::addColumn<int>("area");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("name");
    QTest::newRow("tone 3") << 2 << 387 << 96 << 0 << "Warm Pad";
    QTest::newRow("dsp 1") << 9 << 101 << 48 << 0 << "Room Dry";
    QTest::newRow("song 0") << 0 << 0 << 39 << 0 << "Sunrise ";
    QTest::newRow("rhythm 2") << 0 << 0 << 36 << 2 << "Shuffle ";
}

void TestSimulatedKeyboard::namesTravelMostSignificantByteFirst() {
    QFETCH(int, area);
    QFETCH(int, address);
    QFETCH(int, command);
    QFETCH(int, parameter);
    QFETCH(QString, name);
    Bench bench;
    const auto first = bench.exchange(request(area, address, command, 32, parameter));
    const auto second = bench.exchange(request(area, address, command + 1, 32, parameter));
    QCOMPARE(first.size(), std::size_t(1));
    QCOMPARE(second.size(), std::size_t(1));
    QCOMPARE(int(second[0][6]), command + 1);
    QCOMPARE(QString::fromStdString(nameFromValues(valueOf(first[0]), valueOf(second[0]))), name);
}

void TestSimulatedKeyboard::unknownRequestsGoUnanswered() {
    Bench bench;
    QVERIFY(bench.exchange(request(0, 0, 77, 32, 0)).empty());
    QVERIFY(bench.exchange(request(2, 394, 96, 32, 0)).empty());  // tone 10 does not exist
    QVERIFY(bench.exchange(request(0, 0, 38, 32, 2)).empty());    // song 2 does not exist
    QVERIFY(bench.exchange(Bytes{0xF0, 0x43, 0x10, 0x4C, 0xF7}).empty());
}

void TestSimulatedKeyboard::deletesSongsAndRhythms() {
    Bench bench;
    QSignalSpy changed(&bench.keyboard, &SimulatedKeyboard::memoryChanged);
    const std::uint32_t before = bench.keyboard.memory().freeMemory();
    QVERIFY(bench.exchange(paramData(0, 0, 32, 8, 0, 0)).empty());  // delete song 0: no answer
    QCOMPARE(bench.keyboard.memory().size({10, 0, 0}), 0);
    QVERIFY(bench.exchange(paramData(0, 0, 33, 8, 0, 2)).empty());  // delete rhythm 2
    QCOMPARE(bench.keyboard.memory().size({11, 0, 2}), 0);
    QCOMPARE(bench.keyboard.memory().freeMemory(), before + 1800 + 1024);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(valueOf(bench.exchange(request(0, 0, 34, 32, 0)).at(0)), before + 2824);
}

void TestSimulatedKeyboard::fetchesA300ByteSongBlockByBlock() {
    Bench bench;
    const Words song = pattern(150, 7);
    bench.keyboard.memory().setData(kSong1, song);

    Words fetched;
    auto answers = bench.exchange(dataRequest(10, 1));
    for (int block = 0; block < 3; ++block) {
        QCOMPARE(answers.size(), std::size_t(1));  // the next block waits for the Ack
        const Bytes& b = answers[0];
        QCOMPARE(int(b[5]), 0x4A);
        QCOMPARE(int(b[10]), block);
        QCOMPARE(int(b[12]), block < 2 ? 64 : 22);
        QCOMPARE(b.size(), std::size_t(block < 2 ? 207 : 81));
        QVERIFY(checksumOk(b));
        const Words words = wordsOf(b);
        fetched.insert(fetched.end(), words.begin(), words.end());
        answers = bench.exchange(status(10, 1, 1));
    }
    QCOMPARE(answers.size(), std::size_t(1));
    QCOMPARE(show(answers[0]), show(status(10, 1, 0)));
    QCOMPARE(fetched, song);
    QVERIFY(bench.exchange(status(10, 1, 1)).empty());  // the fetch is over
}

void TestSimulatedKeyboard::fetchOfAnEmptySlotEndsAtOnce() {
    Bench bench;
    QCOMPARE(show(bench.exchange(dataRequest(10, 1)).at(0)), show(status(10, 1, 0)));
    QCOMPARE(show(bench.exchange(dataRequest(10, 9)).at(0)), show(status(10, 9, 2)));
}

void TestSimulatedKeyboard::receivesA300ByteSong() {
    Bench bench;
    QSignalSpy changed(&bench.keyboard, &SimulatedKeyboard::memoryChanged);
    const std::uint32_t before = bench.keyboard.memory().freeMemory();
    Words song = pattern(150, 3);
    song[2] = 0x4E65;  // "Ne"
    song[3] = 0x7720;  // "w "
    song[4] = 0x536F;  // "So"
    song[5] = 0x6E67;  // "ng"
    for (int block = 0; block < 3; ++block) {
        const auto answers = bench.exchange(handframes::block(10, 1, block, song));
        QCOMPARE(answers.size(), std::size_t(1));
        QCOMPARE(show(answers[0]), show(status(10, 1, 1)));
    }
    QCOMPARE(bench.keyboard.memory().size(kSong1), 0);  // nothing kept before End
    QVERIFY(bench.exchange(status(10, 1, 0)).empty());
    QCOMPARE(bench.keyboard.memory().data(kSong1), song);
    QCOMPARE(bench.keyboard.memory().name(kSong1), std::string("New Song"));
    QCOMPARE(bench.keyboard.memory().freeMemory(), before - 300);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(valueOf(bench.exchange(request(0, 0, 38, 32, 1)).at(0)), 300u);
}

void TestSimulatedKeyboard::rejectsAnItemThatDoesNotFit() {
    Bench bench;
    const Words tooBig = pattern(std::size_t(bench.keyboard.memory().freeMemory() / 2 + 64), 1);
    std::vector<Bytes> last;
    for (int block = 0; block * 64 < int(tooBig.size()); ++block) {
        last = bench.exchange(handframes::block(11, 101, block, tooBig));
        QCOMPARE(last.size(), std::size_t(1));
        if (last[0][10] != 1) {
            break;
        }
    }
    QCOMPARE(int(last[0][10]), 2);  // Rejected
    bench.exchange(status(11, 101, 0));
    QCOMPARE(bench.keyboard.memory().size({11, 0, 1}), 0);

    // A tone is 60 bytes: a 128-byte block cannot be one.
    QCOMPARE(int(bench.exchange(handframes::block(2, 384, 0, pattern(64, 1))).at(0)[10]), 2);
}

void TestSimulatedKeyboard::badChecksumIsAnError() {
    Bench bench;
    Bytes b = handframes::block(10, 1, 0, pattern(64, 5));
    b[b.size() - 2] ^= 0x01;
    QCOMPARE(show(bench.exchange(b).at(0)), show(status(10, 1, 3)));
}

void TestSimulatedKeyboard::blockStatusFaults_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("rejected") << 2;
    QTest::newRow("error") << 3;
    QTest::newRow("unknown") << 9;
}

void TestSimulatedKeyboard::blockStatusFaults() {
    QFETCH(int, status);
    Bench bench;
    kbdsim::Faults faults;
    faults.blockStatus = {1, status, 1};
    bench.keyboard.setFaults(faults);
    const Words song = pattern(150, 9);
    QCOMPARE(int(bench.exchange(handframes::block(10, 1, 0, song)).at(0)[10]), 1);
    QCOMPARE(int(bench.exchange(handframes::block(10, 1, 1, song)).at(0)[10]), status);
    // Once only: the block sent again is taken (after Rejected or Error the item starts over).
    const int again = status == 9 ? 1 : 3;
    QCOMPARE(int(bench.exchange(handframes::block(10, 1, 1, song)).at(0)[10]), again);
}

void TestSimulatedKeyboard::fetchFaults() {
    {
        Bench bench;
        bench.keyboard.memory().setData(kSong1, pattern(150, 2));
        kbdsim::Faults faults;
        faults.fetchStatus = {1, 1};  // an Ack in place of block 1
        bench.keyboard.setFaults(faults);
        QCOMPARE(int(bench.exchange(dataRequest(10, 1)).at(0)[10]), 0);
        QCOMPARE(show(bench.exchange(status(10, 1, 1)).at(0)), show(status(10, 1, 1)));
        QVERIFY(bench.exchange(status(10, 1, 1)).empty());
    }
    {
        Bench bench;
        bench.keyboard.memory().setData(kSong1, pattern(150, 2));
        kbdsim::Faults faults;
        faults.corruptChecksumBlock = 0;
        bench.keyboard.setFaults(faults);
        const Bytes first = bench.exchange(dataRequest(10, 1)).at(0);
        QVERIFY(!checksumOk(first));
        QVERIFY(checksumOk(bench.exchange(status(10, 1, 1)).at(0)));
    }
}

void TestSimulatedKeyboard::silenceAndWrongKind() {
    Bench bench;
    kbdsim::Faults faults;
    faults.silent = true;
    bench.keyboard.setFaults(faults);
    QVERIFY(bench.exchange(request(0, 0, 0, 14, 0)).empty());
    QVERIFY(bench.exchange(dataRequest(10, 0)).empty());

    Bench other;
    other.keyboard.memory().kind = 5;
    QCOMPARE(valueOf(other.exchange(request(0, 0, 0, 14, 0)).at(0)), 5u);
}

void TestSimulatedKeyboard::noiseComesBeforeEachAnswer() {
    Bench bench;
    kbdsim::Faults faults;
    faults.noise = true;
    bench.keyboard.setFaults(faults);
    const auto answers = bench.exchange(request(0, 0, 34, 32, 0));
    QCOMPARE(answers.size(), std::size_t(4));
    QCOMPARE(answers[0], Bytes{0xFE});
    QCOMPARE(answers[1], Bytes{0xF8});
    QCOMPARE(int(answers[2][1]), 0x43);
    QCOMPARE(int(answers[3][6]), 34);
}

void TestSimulatedKeyboard::droppedAnswer() {
    Bench bench;
    kbdsim::Faults faults;
    faults.dropAnswer = 2;
    bench.keyboard.setFaults(faults);
    QCOMPARE(bench.exchange(request(0, 0, 34, 32, 0)).size(), std::size_t(1));
    QCOMPARE(bench.exchange(request(0, 0, 34, 32, 0)).size(), std::size_t(0));
    QCOMPARE(bench.exchange(request(0, 0, 34, 32, 0)).size(), std::size_t(1));
}

void TestSimulatedKeyboard::pacingTakesTheWireTime() {
    QCOMPARE(SimulatedKeyboard::wireTime(207), std::chrono::microseconds(66240));
    SimulatedKeyboard keyboard;
    keyboard.setTiming({true, std::chrono::milliseconds(20)});
    bool answered = false;
    keyboard.setTransmitter([&](const Bytes&) { answered = true; });
    QElapsedTimer clock;
    clock.start();
    keyboard.receive(dataRequest(10, 0));  // answered by a 207-byte block
    QTRY_VERIFY_WITH_TIMEOUT(answered, 2000);
    // 12 bytes in, 20 ms thought, 207 bytes out: at least 90 ms.
    QVERIFY2(clock.elapsed() >= 89, qPrintable(QString::number(clock.elapsed())));
}

void TestSimulatedKeyboard::stateRoundTripsThroughJson() {
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData(kSong1, pattern(150, 4));
    memory.kind = 0;
    QTemporaryDir dir;
    const QString path = dir.filePath("state.json");
    memory.save(path);
    const KeyboardMemory loaded = KeyboardMemory::load(path);
    for (std::uint16_t type : {2, 9, 10, 11}) {
        for (int n = 0; n < 10; ++n) {
            const SlotRef slot{type, 0, n};
            if (!KeyboardMemory::slotAt(std::uint8_t(type), KeyboardMemory::addressOf(slot))) {
                continue;
            }
            QCOMPARE(loaded.data(slot), memory.data(slot));
        }
    }
    QCOMPARE(loaded.data({12, 3, 2}), memory.data({12, 3, 2}));
    QCOMPARE(loaded.freeMemory(), memory.freeMemory());
    QVERIFY(QJsonDocument::fromJson([&] {
                QFile f(path);
                f.open(QIODevice::ReadOnly);
                return f.readAll();
            }())
                .object()
                .value("songs")
                .toArray()
                .at(0)
                .toObject()
                .value("name")
                .toString() == "Sunrise ");
}

void TestSimulatedKeyboard::damagedStateIsAClearError_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("not json") << QByteArray("{ tones: ") << "state.json";
    QTest::newRow("missing slots") << QByteArray("{\"kind\":0}") << "tones[0] is missing";
    KeyboardMemory memory;
    QJsonObject json = memory.toJson();
    QJsonArray tones = json["tones"].toArray();
    QJsonObject tone = tones[3].toObject();
    tone["data"] = "0102";
    tones[3] = tone;
    json["tones"] = tones;
    QTest::newRow("short tone") << QJsonDocument(json).toJson() << "tones[3]";
    // fromHex skips a stray character and shifts the digits after it: the text must say so.
    tone["data"] = QString("12g4") + QString(116, '0');
    tones[3] = tone;
    json["tones"] = tones;
    QTest::newRow("non-hex digit") << QJsonDocument(json).toJson() << "tones[3]";
    json = memory.toJson();
    json["kind"] = 0.5;
    QTest::newRow("fractional kind") << QJsonDocument(json).toJson() << "kind";
    json["kind"] = 16384;  // would travel as 0, the MLS-850's kind
    QTest::newRow("kind beyond 14 bits") << QJsonDocument(json).toJson() << "kind";
    json["kind"] = "0";
    QTest::newRow("kind as text") << QJsonDocument(json).toJson() << "kind";
}

void TestSimulatedKeyboard::damagedStateIsAClearError() {
    QFETCH(QByteArray, content);
    QFETCH(QString, mentions);
    QTemporaryDir dir;
    QFile file(dir.filePath("state.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    try {
        KeyboardMemory::load(file.fileName());
        QFAIL("loaded");
    } catch (const platform::SystemError& e) {
        QVERIFY2(QString(e.what()).contains(mentions), e.what());
    }
}

void TestSimulatedKeyboard::builtInDeviceIsListedLastAndAnswers() {
    kbdsim::BuiltInKeyboard builtIn(QString{});
    builtIn.keyboard().setTiming({false, {}});
    RecordingDevice later("Test device registered later");
    auto& service = platform::MidiService::instance();
    QCOMPARE(service.inputDevices().last(), QString("MLS-850 Simulator (built-in)"));
    QCOMPARE(service.outputDevices().last(), QString("MLS-850 Simulator (built-in)"));

    std::vector<Bytes> received;
    auto input = service.openInput(int(service.inputDevices().size() - 1),
                                   [&](std::vector<std::uint8_t> m) { received.push_back(m); });
    auto output = service.openOutput(int(service.outputDevices().size() - 1));
    output->send(request(0, 0, 0, 14, 0));
    QTRY_COMPARE(received.size(), std::size_t(1));
    QCOMPARE(valueOf(received[0]), 0u);
}

QTEST_GUILESS_MAIN(TestSimulatedKeyboard)
#include "tst_simulatedkeyboard.moc"
