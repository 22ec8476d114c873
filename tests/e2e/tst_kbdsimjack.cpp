// nvbman-kbdsim as a separate program on a JACK server, talked to by this test as a second
// JACK client through the program's own ports.

#include <QTemporaryDir>
#include <QtTest>

#include "ekmidi/ekmidiin.h"
#include "ekmidi/ekmidiobserver.h"
#include "ekmidi/ekmidiout.h"
#include "kbdsim/keyboardmemory.h"
#include "platform/eventwait.h"
#include "platform/midiservice.h"
#include "support/handframes.h"
#include "support/kbdsimprocess.h"

using namespace handframes;

class TestKbdSimJack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answersAKindQueryAndKeepsItsState();
};

void TestKbdSimJack::answersAKindQueryAndKeepsItsState() {
    QTemporaryDir dir;
    const QString state = dir.filePath("keyboard.json");
    KbdSimProcess sim({"--state", state, "--log"});
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());
    QVERIFY(sim.inputNumber() >= 0 && sim.outputNumber() >= 0);
    // The check of its own ports before "ready" leaves no port of its checker behind.
    for (const QStringList& devices : {platform::MidiService::instance().inputDevices(),
                                       platform::MidiService::instance().outputDevices()}) {
        QVERIFY2(!devices.join('\n').contains("-check-"),
                 qPrintable(devices.join('\n')));
    }

    EkMidiIn input;
    EkMidiOut output;
    EkMidiObserver arrival;
    input.attachObserver(&arrival);
    input.open(sim.inputNumber());
    output.open(sim.outputNumber());

    bool arrived = false;
    arrival.setHandler([&] { arrived = true; });
    QTimer::singleShot(3000, [&] { arrived = true; });
    output.put(request(0, 0, 0, 14, 0));
    output.send();
    platform::waitUntil(arrived);
    std::vector<std::uint8_t> answer;
    input.getData(answer);
    QCOMPARE(answer, (Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x00, 0x0D, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0xF7}));

    // A delete command changes the memory, which the simulator writes to its state file.
    output.put(paramData(0, 0, 32, 8, 0, 0));
    output.send();
    output.close();
    input.close();
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(state), 5000);
    QCOMPARE(kbdsim::KeyboardMemory::load(state).size({10, 0, 0}), 0);

    QCOMPARE(sim.stop(), 0);
    const QByteArray log = sim.process().readAllStandardOutput();
    QVERIFY2(log.contains(" in  F0 44 11 01 7F 10 00 0D 00 00 00 F7"), log.constData());
    QVERIFY2(log.contains(" out F0 44 11 01 7F 00 00 0D"), log.constData());
    // Nor did the check's probe reach the keyboard.
    QVERIFY2(!log.contains("F0 7D"), log.constData());
}

QTEST_GUILESS_MAIN(TestKbdSimJack)
#include "tst_kbdsimjack.moc"
