// A full listing by the real driver over a JACK server (or ALSA, in the ALSA test machine),
// against nvbman-kbdsim in its own process with the cable's pacing on, and a keyboard that went
// and came back (on ALSA under a new client number) found again by its name.

#include <QtTest>

#include "kbddrv/ekkbddrv.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"
#include "support/kbdsimprocess.h"

class TestKbdDrvJack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsTheSimulatorOverJack();
    void aKeyboardThatCameBackIsFoundByItsName();
};

void TestKbdDrvJack::listsTheSimulatorOverJack() {
    KbdSimProcess sim;
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());
    EkKbdDrv driver("MLS-850");
    driver.getList(sim.inputNumber(), sim.outputNumber());
    QVERIFY(driver.isConnected());
    EkData* item = nullptr;
    QVERIFY(driver.openDirectory("Song Rhythm:\\Song\\", walk::kSlots, item));
    QCOMPARE(item->name(), std::string("Sunrise "));
    QCOMPARE(int(item->size()), 1800);
    driver.closeDirectory();
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), 21504 - 1800 - 640 - 1024);

    EkData* rhythm = nullptr;
    QVERIFY(driver.openDirectory("Song Rhythm:\\Rhythm\\", walk::kSlots, rhythm));
    driver.closeDirectory();
    driver.deleteData(*rhythm);
    driver.getList(sim.inputNumber(), sim.outputNumber());
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), 21504 - 1800 - 1024);
}

void TestKbdDrvJack::aKeyboardThatCameBackIsFoundByItsName() {
    // As the window does before each command: the devices chosen, by number and name, looked up
    // in a fresh enumeration.
    auto& service = platform::MidiService::instance();
    const QString name = QStringLiteral("Replug-%1").arg(QCoreApplication::applicationPid());
    QString inputName;
    QString outputName;
    EkKbdDrv driver("MLS-850");
    {
        KbdSimProcess sim({"--no-pacing"}, name);
        QVERIFY2(sim.isReady(), sim.errorOutput().constData());
        inputName = service.inputName(sim.inputNumber());
        outputName = service.outputName(sim.outputNumber());
        driver.getList(service.storedInput(0, inputName), service.storedOutput(0, outputName));
        QVERIFY(driver.isConnected());
    }
    // Gone: a command names the device it cannot find.
    service.inputDevices();
    service.outputDevices();
    try {
        service.storedInput(0, inputName);
        QFAIL("a device that left was found");
    } catch (const platform::MidiSystemError& e) {
        QCOMPARE(e.code(), platform::ErrorCode::InputNotConnected);
        QCOMPARE(e.coded().args.value(0), inputName);
    }
    // Back under the same name: the same full names, and the next command works.
    KbdSimProcess again({"--no-pacing"}, name);
    QVERIFY2(again.isReady(), again.errorOutput().constData());
    service.inputDevices();
    service.outputDevices();
    driver.getList(service.storedInput(0, inputName), service.storedOutput(0, outputName));
    QVERIFY(driver.isConnected());
}

QTEST_GUILESS_MAIN(TestKbdDrvJack)
#include "tst_kbddrvjack.moc"
