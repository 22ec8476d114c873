// The keyboard driver against the software keyboard: layout, listing, cursor, free memory,
// delete, and every way a keyboard can let a listing down.

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

#include "kbddrv/ekkbd.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/ekkbddrvexception.h"
#include "kbddrv/slotaddress.h"
#include "support/codedfailure.h"
#include "support/expectcode.h"
#include "support/handframes.h"
#include "support/keyboardrig.h"
#include "support/scripteddevice.h"

using handframes::Bytes;
using kbdsim::KeyboardMemory;
using kbdsim::SlotRef;

namespace {

// Adds up the progress steps, as the window's progress bar does.
class StepCounter : public EkKbdDrvObserver {
public:
    void notify(EkKbdDrv& driver) override {
        sum += driver.progressStep();
        ++calls;
    }
    int sum = 0;
    int calls = 0;
};

EkData* slotAt(EkKbdDrv& driver, const std::string& folderPath, int index) {
    EkData* item = nullptr;
    if (!driver.openDirectory(folderPath, walk::kSlots, item)) {
        return nullptr;
    }
    for (int i = 0; i < index && item != nullptr; ++i) {
        driver.nextItem(item);
    }
    driver.closeDirectory();
    return item;
}

int countObjects(const EkData* item) {
    int n = 1;
    if (const auto* drive = EkDataDrive::from(const_cast<EkData*>(item))) {
        for (int i = 0; i < drive->childCount(); ++i) {
            n += countObjects(drive->child(i));
        }
    }
    return n;
}

KeyboardMemory emptyKeyboard() {
    KeyboardMemory memory;
    return memory;
}

}  // namespace

class TestKbdDrv : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layoutOfTheMls850();
    void otherModelHasAnEmptyTree();
    void instanceIsTheOneDriver();
    void fullListing_data();
    void fullListing();
    void relistingEmptiesADeletedSong();
    void disconnectRestoresTheLayout();
    void wrongKindSendsOneRequestAndChangesNothing();
    void silenceTimesOutAndTheNextOperationWorks();
    void noiseBetweenAnswersIsIgnored();
    void droppedAnswerKeepsWhatWasFilled_data();
    void droppedAnswerKeepsWhatWasFilled();
    void unusableAnswers_data();
    void unusableAnswers();
    void onlyTheEchoOfTheRequestAnswersIt_data();
    void onlyTheEchoOfTheRequestAnswersIt();
    void aLostAnswerIsAskedAgain_data();
    void aLostAnswerIsAskedAgain();
    void lateAnswersAreNeverTakenForTheNextRequest();
    void sizesNoKeyboardCanHoldAreRefused_data();
    void sizesNoKeyboardCanHoldAreRefused();
    void cursorWalks();
    void pathResolution_data();
    void pathResolution();
    void deleteSongAndRhythm_data();
    void deleteSongAndRhythm();
    void lostDeletionIsAskedAgainOrFails_data();
    void lostDeletionIsAskedAgainOrFails();
    void deleteOfAToneIsRefusedWithoutTraffic();
    void operationStartedDuringAWaitIsRefused();
    void openFailureIsAMidiSystemError();
};

void TestKbdDrv::layoutOfTheMls850() {
    EkKbdDrv driver("MLS-850");
    QCOMPARE(driver.areaCount(), 4);
    QCOMPARE(driver.areaName(0), std::string("Tone:"));
    QCOMPARE(driver.areaName(1), std::string("DSP:"));
    QCOMPARE(driver.areaName(2), std::string("Registration:"));
    QCOMPARE(driver.areaName(3), std::string("Song Rhythm:"));
    QCOMPARE(driver.areaName(4), std::string());
    QCOMPARE(countObjects(&driver.root()), 1 + 4 + 6 + 42);
    QCOMPARE(int(driver.root().type()), 13);
    QCOMPARE(driver.progressTotal(), 143);

    EkData* reg = slotAt(driver, "Registration:\\Bank3\\", 2);
    QVERIFY(reg != nullptr);
    QCOMPARE(reg->bank(), 3);
    QCOMPARE(reg->number(), 2);
    QCOMPARE(int(reg->type()), 12);
    QCOMPARE(reg->name(), std::string("User 2"));
    QCOMPARE(int(reg->modelCode()), 0x1101);
    QCOMPARE(slotAt(driver, "Song Rhythm:\\Song\\", 1)->name(), std::string("Song 1"));
    QCOMPARE(slotAt(driver, "Tone:\\", 9)->name(), std::string("User 9"));
    QCOMPARE(int(driver.findArea("Registration:")->child(3)->modelCode()), 0);  // a folder
    QCOMPARE(driver.findArea("Registration:")->child(3)->name(), std::string("Bank3"));
    QCOMPARE(int(driver.findArea("Tone:")->modelCode()), 0);

    const int capacities[] = {600, 360, 2816, 21504};
    const int free[] = {0, 0, 0, 21504};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(driver.findArea(driver.areaName(i))->capacity(), capacities[i]);
        QCOMPARE(driver.findArea(driver.areaName(i))->freeSpace(), free[i]);
    }
    QVERIFY(driver.findArea("Nowhere:") == nullptr);
}

void TestKbdDrv::otherModelHasAnEmptyTree() {
    EkKbdDrv driver("MLS-999");
    QCOMPARE(driver.root().childCount(), 0);
    QCOMPARE(driver.areaCount(), 0);
    QCOMPARE(driver.progressTotal(), 0);

    KeyboardRig rig;
    QCOMPARE(expectCode([&] { driver.getList(rig.inputNumber(), rig.outputNumber()); }), 0);
    QCOMPARE(rig.requestCount(), 1);
}

void TestKbdDrv::instanceIsTheOneDriver() {
    EkKbdDrv& first = EkKbdDrv::instance("MLS-850");
    EkKbdDrv& second = EkKbdDrv::instance("anything else");
    QCOMPARE(&first, &second);
    QCOMPARE(second.root().name(), std::string("MLS-850"));
}

void TestKbdDrv::fullListing_data() {
    QTest::addColumn<bool>("populated");
    QTest::newRow("demo content") << true;
    QTest::newRow("no songs, no rhythms") << false;
}

void TestKbdDrv::fullListing() {
    QFETCH(bool, populated);
    KeyboardRig rig(populated ? KeyboardMemory::demo() : emptyKeyboard());
    EkKbdDrv driver("MLS-850");
    StepCounter steps;
    driver.attachObserver(&steps);
    driver.attachObserver(&steps);
    driver.getList(rig.inputNumber(), rig.outputNumber());

    QVERIFY(driver.isConnected());
    QVERIFY(!rig.programHasItOpen());
    QCOMPARE(steps.sum, 143);
    QCOMPARE(steps.calls, 10 + 10 + 20 + 8);
    const int present = populated ? 3 : 0;
    QCOMPARE(rig.requestCount(), 50 + 2 * present);

    const KeyboardMemory& memory = rig.keyboard.memory();
    const int freeMemory = int(memory.freeMemory());
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), freeMemory);
    QCOMPARE(int(slotAt(driver, "Song Rhythm:\\", 0)->size()), freeMemory);
    QCOMPARE(int(slotAt(driver, "Song Rhythm:\\", 1)->size()), freeMemory);
    QVERIFY(slotAt(driver, "Song Rhythm:\\", 1)->isPresent());

    EkData* tone = slotAt(driver, "Tone:\\", 3);
    QVERIFY(tone->isPresent());
    QCOMPARE(int(tone->size()), 60);
    QCOMPARE(tone->name(), memory.name({2, 0, 3}));
    QCOMPARE(slotAt(driver, "DSP:\\", 9)->name(), memory.name({9, 0, 9}));
    QCOMPARE(int(slotAt(driver, "DSP:\\", 9)->size()), 36);
    EkData* reg = slotAt(driver, "Registration:\\Bank3\\", 3);
    QCOMPARE(reg->name(), std::string("Preset34"));
    QCOMPARE(int(reg->size()), 176);
    QVERIFY(slotAt(driver, "Registration:\\", 2)->isPresent());  // the bank folder

    for (int n = 0; n < 2; ++n) {
        EkData* song = slotAt(driver, "Song Rhythm:\\Song\\", n);
        const int size = memory.size({10, 0, n});
        QCOMPARE(int(song->size()), size);
        QCOMPARE(song->isPresent(), size != 0);
        QCOMPARE(song->name(), size != 0 ? memory.name({10, 0, n}) : "Song " + std::to_string(n));
    }
    for (int n = 0; n < 4; ++n) {
        EkData* rhythm = slotAt(driver, "Song Rhythm:\\Rhythm\\", n);
        const int size = memory.size({11, 0, n});
        QCOMPARE(rhythm->isPresent(), size != 0);
        QCOMPARE(rhythm->name(), size != 0 ? memory.name({11, 0, n}) : "User " + std::to_string(n));
    }
}

void TestKbdDrv::relistingEmptiesADeletedSong() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QVERIFY(slotAt(driver, "Song Rhythm:\\Song\\", 0)->isPresent());
    rig.keyboard.memory().setData({10, 0, 0}, {});
    driver.getList(rig.inputNumber(), rig.outputNumber());
    EkData* song = slotAt(driver, "Song Rhythm:\\Song\\", 0);
    QVERIFY(!song->isPresent());
    QCOMPARE(int(song->size()), 0);
    QCOMPARE(song->name(), std::string("Song 0"));
}

void TestKbdDrv::disconnectRestoresTheLayout() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    driver.disconnect();
    driver.disconnect();
    QVERIFY(!driver.isConnected());
    QCOMPARE(driver.areaCount(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(driver.areaName(i), driver.root().child(i)->name());
    }
    QCOMPARE(slotAt(driver, "Tone:\\", 0)->name(), std::string("User 0"));
    QVERIFY(!slotAt(driver, "Tone:\\", 0)->isPresent());
    QCOMPARE(driver.root().name(), std::string("MLS-850"));
}

void TestKbdDrv::wrongKindSendsOneRequestAndChangesNothing() {
    KeyboardRig rig;
    rig.keyboard.memory().kind = 3;
    EkKbdDrv driver("MLS-850");
    try {
        driver.getList(rig.inputNumber(), rig.outputNumber());
        QFAIL("listed");
    } catch (const EkKbdDrvException& e) {
        QCOMPARE(e.code(), 0);
    }
    QCOMPARE(rig.requestCount(), 1);
    QVERIFY(!driver.isConnected());
    QVERIFY(!rig.programHasItOpen());
    QCOMPARE(slotAt(driver, "Tone:\\", 0)->name(), std::string("User 0"));
}

void TestKbdDrv::silenceTimesOutAndTheNextOperationWorks() {
    KeyboardRig rig;
    kbdsim::Faults faults;
    faults.silent = true;
    rig.keyboard.setFaults(faults);
    EkKbdDrv driver("MLS-850");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(expectCode([&] { driver.getList(rig.inputNumber(), rig.outputNumber()); }), 6);
    QVERIFY2(clock.elapsed() >= 195, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!rig.programHasItOpen());
    QVERIFY(!driver.isConnected());

    rig.keyboard.setFaults({});
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QVERIFY(driver.isConnected());
}

void TestKbdDrv::noiseBetweenAnswersIsIgnored() {
    KeyboardRig rig;
    kbdsim::Faults faults;
    faults.noise = true;
    rig.keyboard.setFaults(faults);
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QCOMPARE(slotAt(driver, "Song Rhythm:\\Song\\", 0)->name(), std::string("Sunrise "));
    QCOMPARE(rig.requestCount(), 56);
}

void TestKbdDrv::droppedAnswerKeepsWhatWasFilled_data() {
    QTest::addColumn<bool>("goneSilent");  // else one answer is lost and asked for again
    QTest::newRow("one answer lost") << false;
    QTest::newRow("keyboard gone silent") << true;
}

void TestKbdDrv::droppedAnswerKeepsWhatWasFilled() {
    QFETCH(bool, goneSilent);
    KeyboardRig rig;
    // The kind, four tone names, then the fifth's first half.
    const int answered = 1 + 2 * 4;
    if (goneSilent) {
        QObject::connect(&rig.keyboard, &kbdsim::SimulatedKeyboard::traffic, [&](bool fromProgram) {
            if (!fromProgram && int(rig.toProgram().size()) == answered) {
                kbdsim::Faults faults;
                faults.silent = true;
                rig.keyboard.setFaults(faults);
            }
        });
    } else {
        kbdsim::Faults faults;
        faults.dropAnswer = answered + 1;
        rig.keyboard.setFaults(faults);
    }
    EkKbdDrv driver("MLS-850");
    StepCounter steps;
    driver.attachObserver(&steps);
    if (!goneSilent) {
        driver.getList(rig.inputNumber(), rig.outputNumber());
        QCOMPARE(slotAt(driver, "Tone:\\", 4)->name(), rig.keyboard.memory().name({2, 0, 4}));
        QCOMPARE(rig.requestCount(), 57);  // one request asked twice
        QVERIFY(driver.isConnected());
        return;
    }
    QCOMPARE(expectCode([&] { driver.getList(rig.inputNumber(), rig.outputNumber()); }), 6);
    QCOMPARE(steps.calls, 4);
    QCOMPARE(slotAt(driver, "Tone:\\", 3)->name(), rig.keyboard.memory().name({2, 0, 3}));
    QVERIFY(slotAt(driver, "Tone:\\", 3)->isPresent());
    QCOMPARE(slotAt(driver, "Tone:\\", 4)->name(), std::string("User 4"));
    QVERIFY(!driver.isConnected());
    QVERIFY(!rig.programHasItOpen());
}

void TestKbdDrv::unusableAnswers_data() {
    using namespace handframes;
    QTest::addColumn<Bytes>("answer");
    QTest::addColumn<int>("code");
    QTest::newRow("too short") << Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00,
                                        0x00, 0x0D, 0x00, 0x00, 0xF7}
                               << 3;
    // Not answers at all: ignored, so the request goes unanswered.
    QTest::newRow("a request is no answer") << request(0, 0, 0, 14, 0) << 6;
    QTest::newRow("a data block is no answer") << block(0, 0, 0, {0x1234}) << 6;
    QTest::newRow("status rejected") << status(0, 0, 2) << 0;
    QTest::newRow("status error") << status(0, 0, 3) << 1;
    QTest::newRow("status end") << status(0, 0, 0) << 2;
}

void TestKbdDrv::unusableAnswers() {
    QFETCH(std::vector<std::uint8_t>, answer);
    QFETCH(int, code);
    ScriptedDevice device("Test scripted keyboard");
    device.script = {answer};
    EkKbdDrv driver("MLS-850");
    QCOMPARE(expectCode([&] { driver.getList(device.inputNumber(), device.outputNumber()); }),
             code);
    QCOMPARE(device.openInputCount(), 0);
    // Unanswered, the request was asked again, twice.
    QCOMPARE(device.received.size(), std::size_t(code == 6 ? 1 + EkKbd::kExtraTries : 1));
    // The ports were closed: the next operation opens them again and works.
    device.script = {handframes::paramData(0, 0, 34, 32, 0, 1234)};
    QCOMPARE(driver.queryFreeMemory(), 1234u);
}

void TestKbdDrv::onlyTheEchoOfTheRequestAnswersIt_data() {
    using namespace handframes;
    // The free-memory request: area 0, address 0, command 34, parameter 0.
    const Bytes right = paramData(0, 0, 34, 32, 0, 1234);
    QTest::addColumn<QList<Bytes>>("frames");
    QTest::addColumn<int>("result");  // the value taken, or -code
    QTest::newRow("the answer alone") << QList<Bytes>{right} << 1234;
    QTest::newRow("another command first")
        << QList<Bytes>{paramData(0, 0, 35, 32, 0, 9), right} << 1234;
    QTest::newRow("another parameter first")
        << QList<Bytes>{paramData(0, 0, 34, 32, 1, 9), right} << 1234;
    QTest::newRow("another area first")
        << QList<Bytes>{paramData(2, 0, 34, 32, 0, 9), right} << 1234;
    QTest::newRow("another address first")
        << QList<Bytes>{paramData(0, 384, 34, 32, 0, 9), right} << 1234;
    QTest::newRow("a status of another area first")
        << QList<Bytes>{status(9, 100, 2), right} << 1234;
    QTest::newRow("only a late answer to another request")
        << QList<Bytes>{paramData(0, 0, 38, 32, 1, 640)} << -6;
}

void TestKbdDrv::onlyTheEchoOfTheRequestAnswersIt() {
    QFETCH(QList<Bytes>, frames);
    QFETCH(int, result);
    ScriptedDevice device("Test echoing keyboard");
    device.bursts = {{handframes::paramData(0, 0, 0, 14, 0, 0)},
                     std::vector<Bytes>(frames.begin(), frames.end())};
    EkKbd kbd;
    kbd.openPorts(device.inputNumber(), device.outputNumber());
    QCOMPARE(kbd.queryKeyboardKind(), 0);
    std::uint32_t value = 0;
    const int code = expectCode([&] { value = kbd.queryFreeMemory(); });
    QCOMPARE(code < 0 ? int(value) : -code, result);
    kbd.closePorts();
}

void TestKbdDrv::aLostAnswerIsAskedAgain_data() {
    using namespace handframes;
    const Bytes right = paramData(0, 0, 34, 32, 0, 1234);
    QTest::addColumn<int>("lost");    // answers lost before one comes
    QTest::addColumn<int>("result");  // the value taken, or -code
    QTest::newRow("none lost") << 0 << 1234;
    QTest::newRow("the first lost") << 1 << 1234;
    QTest::newRow("two lost") << 2 << 1234;
    QTest::newRow("three lost: the keyboard is gone") << 3 << -6;
}

void TestKbdDrv::aLostAnswerIsAskedAgain() {
    QFETCH(int, lost);
    QFETCH(int, result);
    ScriptedDevice device("Test forgetful keyboard");
    device.bursts = {{handframes::paramData(0, 0, 0, 14, 0, 0)}};
    for (int i = 0; i < lost; ++i) {
        device.bursts.push_back({});
    }
    device.bursts.push_back({handframes::paramData(0, 0, 34, 32, 0, 1234)});
    EkKbd kbd;
    kbd.openPorts(device.inputNumber(), device.outputNumber());
    QCOMPARE(kbd.queryKeyboardKind(), 0);
    device.received.clear();
    std::uint32_t value = 0;
    const int code = expectCode([&] { value = kbd.queryFreeMemory(); });
    QCOMPARE(code < 0 ? int(value) : -code, result);
    // The same request each time, and never more than three of them.
    const int asked = std::min(lost + 1, 1 + EkKbd::kExtraTries);
    QCOMPARE(int(device.received.size()), asked);
    for (const auto& request : device.received) {
        QCOMPARE(request, handframes::request(0, 0, 34, 32, 0));
    }
    QCOMPARE(kbd.retries(), asked - 1);
    kbd.closePorts();
}

void TestKbdDrv::lateAnswersAreNeverTakenForTheNextRequest() {
    // Every answer comes 250 ms after its request, past the 200 ms time-out: each request is
    // asked again and takes the first try's late answer, and the second try's answer then
    // arrives while the next request waits. Every value must still be the right one.
    KeyboardRig rig;
    rig.keyboard.setTiming({false, std::chrono::milliseconds(250)});
    EkKbd kbd;
    kbd.openPorts(rig.inputNumber(), rig.outputNumber());
    const kbdsim::KeyboardMemory& memory = rig.keyboard.memory();
    QCOMPARE(kbd.queryKeyboardKind(), 0);
    QCOMPARE(kbd.readToneName(0), memory.name({DataType::Tone, 0, 0}));
    QCOMPARE(kbd.readToneName(1), memory.name({DataType::Tone, 0, 1}));
    QCOMPARE(kbd.querySongSize(0), memory.size({DataType::Song, 0, 0}));
    QCOMPARE(kbd.queryRhythmSize(2), memory.size({DataType::Rhythm, 0, 2}));
    QVERIFY(kbd.retries() >= 5);
    kbd.closePorts();
}

void TestKbdDrv::sizesNoKeyboardCanHoldAreRefused_data() {
    QTest::addColumn<int>("command");  // 34 free memory, 35 rhythm size, 38 song size
    QTest::addColumn<quint32>("value");
    QTest::addColumn<int>("code");  // -1: taken
    QTest::newRow("song of the whole memory") << 38 << 21504u << -1;
    QTest::newRow("empty song") << 38 << 0u << -1;
    QTest::newRow("odd song") << 38 << 61u << 4;
    QTest::newRow("song above the memory") << 38 << 21506u << 4;
    QTest::newRow("song of 4 GiB") << 38 << 0xFFFFFFFEu << 4;
    QTest::newRow("odd rhythm") << 35 << 3u << 4;
    QTest::newRow("free memory above the memory") << 34 << 21505u << 4;
    QTest::newRow("all memory free") << 34 << 21504u << -1;
}

void TestKbdDrv::sizesNoKeyboardCanHoldAreRefused() {
    QFETCH(int, command);
    QFETCH(quint32, value);
    QFETCH(int, code);
    ScriptedDevice device("Test sizing keyboard");
    device.script = {handframes::paramData(0, 0, 0, 14, 0, 0),
                     handframes::paramData(0, 0, command, 32, 0, value)};
    EkKbd kbd;
    kbd.openPorts(device.inputNumber(), device.outputNumber());
    kbd.queryKeyboardKind();
    std::uint32_t taken = 0;
    QCOMPARE(expectCode([&] {
                 taken = command == 34   ? kbd.queryFreeMemory()
                         : command == 35 ? kbd.queryRhythmSize(0)
                                         : kbd.querySongSize(0);
             }),
             code);
    if (code < 0) {
        QCOMPARE(taken, value);
    }
    kbd.closePorts();
}

void TestKbdDrv::cursorWalks() {
    EkKbdDrv driver("MLS-850");
    EkData* item = nullptr;
    QVERIFY(driver.openDirectory("Registration:\\Bank2\\", walk::kSlots, item));
    QCOMPARE(item->number(), 0);
    QCOMPARE(item->bank(), 2);
    for (int n = 1; n < 4; ++n) {
        QVERIFY(driver.nextItem(item));
        QCOMPARE(item->number(), n);
    }
    QVERIFY(!driver.nextItem(item));
    QVERIFY(item == nullptr);
    driver.closeDirectory();

    QVERIFY(driver.openDirectory("Registration:\\", walk::kFolders, item));
    QStringList banks;
    do {
        banks << QString::fromStdString(item->name());
    } while (driver.nextItem(item));
    driver.closeDirectory();
    QCOMPARE(banks, (QStringList{"Bank0", "Bank1", "Bank2", "Bank3"}));

    QVERIFY(!driver.openDirectory("Tone:\\", walk::kFolders, item));

    // Nested: the inner walk's close restores the outer walk's place.
    QVERIFY(driver.openDirectory("Song Rhythm:\\", walk::kFolders, item));
    QCOMPARE(item->name(), std::string("Song"));
    EkData* inner = nullptr;
    QVERIFY(driver.openDirectory("Song Rhythm:\\Song\\", walk::kSlots, inner));
    QVERIFY(driver.nextItem(inner));
    QCOMPARE(inner->name(), std::string("Song 1"));
    QVERIFY(!driver.nextItem(inner));
    driver.closeDirectory();
    QVERIFY(driver.nextItem(item));
    QCOMPARE(item->name(), std::string("Rhythm"));
    QVERIFY(!driver.nextItem(item));
    driver.closeDirectory();
}

void TestKbdDrv::pathResolution_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("subdirectories");
    QTest::addColumn<QString>("firstItem");  // with mask 13; empty: no folder
    QTest::newRow("registration area") << "Registration:\\" << true << "Bank0";
    QTest::newRow("song rhythm area") << "Song Rhythm:\\" << true << "Song";
    QTest::newRow("tone area") << "Tone:\\" << false << "User 0";
    QTest::newRow("bank 0") << "Registration:\\Bank0\\" << false << "User 0";
    QTest::newRow("bank 9 resolves to its area") << "Registration:\\Bank9\\" << true << "Bank0";
    QTest::newRow("any separator") << "Song Rhythm:/Rhythm/" << false << "User 0";
    QTest::newRow("no area") << "Piano:\\" << false << "";
    QTest::newRow("empty path") << "" << false << "";
}

void TestKbdDrv::pathResolution() {
    QFETCH(QString, path);
    QFETCH(bool, subdirectories);
    QFETCH(QString, firstItem);
    EkKbdDrv driver("MLS-850");
    QCOMPARE(driver.hasSubdirectories(path.toStdString()), subdirectories);
    EkData* item = nullptr;
    const bool opened = driver.openDirectory(path.toStdString(), walk::kFoldersAndSlots, item);
    QCOMPARE(opened, !firstItem.isEmpty());
    if (opened) {
        QCOMPARE(QString::fromStdString(item->name()), firstItem);
        driver.closeDirectory();
    }
}

void TestKbdDrv::deleteSongAndRhythm_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("command");
    QTest::addColumn<QString>("placeholder");
    QTest::addColumn<int>("sizeCommand");
    QTest::newRow("song 0") << "Song Rhythm:\\Song\\" << 0 << 32 << "Song 0" << 38;
    QTest::newRow("rhythm 2") << "Song Rhythm:\\Rhythm\\" << 2 << 33 << "User 2" << 35;
}

void TestKbdDrv::deleteSongAndRhythm() {
    QFETCH(QString, folder);
    QFETCH(int, number);
    QFETCH(int, command);
    QFETCH(QString, placeholder);
    QFETCH(int, sizeCommand);
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    EkData* slot = slotAt(driver, folder.toStdString(), number);
    QVERIFY(slot->isPresent());
    const std::int32_t freeBefore = driver.findArea("Song Rhythm:")->freeSpace();
    rig.clearTraffic();
    driver.deleteData(*slot);

    QCOMPARE(rig.fromProgram().size(), std::size_t(3));
    const QByteArray& cmd = rig.fromProgram()[0];
    QCOMPARE(int(quint8(cmd[5])), 0x00);  // ParamData, keyboard-wide
    QCOMPARE(int(cmd[6]), command);
    QCOMPARE(int(cmd[7]), 7);  // one parameter byte, 8-bit value
    QCOMPARE(int(cmd[11]), number);
    // The slot's size asked, for the same slot: the deletion is seen done.
    QCOMPARE(int(rig.fromProgram()[1][6]), sizeCommand);
    QCOMPARE(int(rig.fromProgram()[1][10]), number);
    QCOMPARE(int(rig.fromProgram()[2][6]), 34);  // free memory read again
    QVERIFY(!slot->isPresent());
    QCOMPARE(int(slot->size()), 0);
    QCOMPARE(QString::fromStdString(slot->name()), placeholder);
    QVERIFY(driver.findArea("Song Rhythm:")->freeSpace() > freeBefore);
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), int(rig.keyboard.memory().freeMemory()));
    QVERIFY(!rig.programHasItOpen());
}

void TestKbdDrv::lostDeletionIsAskedAgainOrFails_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("lost");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("song lost once") << "Song Rhythm:\\Song\\" << 0 << 1 << true;
    QTest::newRow("rhythm lost twice") << "Song Rhythm:\\Rhythm\\" << 2 << 2 << true;
    QTest::newRow("song lost every time") << "Song Rhythm:\\Song\\" << 0 << -1 << false;
    QTest::newRow("rhythm lost every time") << "Song Rhythm:\\Rhythm\\" << 2 << -1 << false;
}

void TestKbdDrv::lostDeletionIsAskedAgainOrFails() {
    QFETCH(QString, folder);
    QFETCH(int, number);
    QFETCH(int, lost);
    QFETCH(bool, deleted);
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    EkData* slot = slotAt(driver, folder.toStdString(), number);
    const std::string name = slot->name();
    const std::uint32_t size = slot->size();
    const kbdsim::SlotRef ref{slot->type(), 0, number};
    kbdsim::Faults faults;
    faults.lose.erase = lost;
    rig.keyboard.setFaults(faults);
    QList<RetryReason> retries;
    driver.setRetryListener([&retries](RetryReason reason) { retries << reason; });

    const auto failure = codedFailure([&] { driver.deleteData(*slot); });
    driver.setRetryListener({});
    if (deleted) {
        QVERIFY(!failure);
        QCOMPARE(rig.keyboard.memory().size(ref), 0);
        QVERIFY(!slot->isPresent());
        QCOMPARE(retries, QList<RetryReason>(lost, RetryReason::ChangeNotShown));
    } else {
        // Never "done" while the keyboard holds the item: the error says what it holds, and the
        // tree goes on showing it.
        QVERIFY(failure);
        QCOMPARE(failure->code, platform::ErrorCode::DeleteNotConfirmed);
        QCOMPARE(failure->args,
                 (QStringList{SlotAddress::of(*slot).text(),
                              QString::number(EkKbdDrv::kChangeTries),
                              QString::fromStdString(name), QString::number(size)}));
        QCOMPARE(rig.keyboard.memory().size(ref), int(size));
        QVERIFY(slot->isPresent());
        QCOMPARE(slot->name(), name);
        QCOMPARE(retries.size(), EkKbdDrv::kChangeTries - 1);
    }
    QVERIFY(!rig.programHasItOpen());
}

void TestKbdDrv::deleteOfAToneIsRefusedWithoutTraffic() {
    KeyboardRig rig;
    EkKbdDrv driver("MLS-850");
    driver.getList(rig.inputNumber(), rig.outputNumber());
    rig.clearTraffic();
    EkData* tone = slotAt(driver, "Tone:\\", 0);
    const std::string name = tone->name();
    QCOMPARE(expectCode([&] { driver.deleteData(*tone); }), 0);
    QTest::qWait(20);
    QVERIFY(rig.fromProgram().empty());
    QVERIFY(!rig.programHasItOpen());
    QCOMPARE(tone->name(), name);
    QVERIFY(tone->isPresent());
}

void TestKbdDrv::operationStartedDuringAWaitIsRefused() {
    KeyboardRig rig;
    rig.keyboard.setTiming({false, std::chrono::milliseconds(50)});
    EkKbdDrv driver("MLS-850");
    bool refused = false;
    QTimer::singleShot(10, [&] {
        try {
            driver.queryFreeMemory();
        } catch (const DriverBusyError&) {
            refused = true;
        }
    });
    driver.getList(rig.inputNumber(), rig.outputNumber());
    QVERIFY(refused);
    QVERIFY(driver.isConnected());
    QCOMPARE(driver.queryFreeMemory(), rig.keyboard.memory().freeMemory());
}

void TestKbdDrv::openFailureIsAMidiSystemError() {
    EkKbdDrv driver("MLS-850");
    QVERIFY_THROWS_EXCEPTION(platform::MidiSystemError, driver.getList(999, 999));
    QVERIFY(!driver.isBusy());
}

QTEST_GUILESS_MAIN(TestKbdDrv)
#include "tst_kbddrv.moc"
