// A full listing by the real driver over a JACK server, against nvbman-kbdsim in its own
// process with the cable's pacing on.

#include <QtTest>

#include "kbddrv/ekkbddrv.h"
#include "support/kbdsimprocess.h"

class TestKbdDrvJack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void listsTheSimulatorOverJack();
};

void TestKbdDrvJack::listsTheSimulatorOverJack() {
    KbdSimProcess sim;
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());
    EkKbdDrv driver("MLS-850");
    driver.getList(sim.inputNumber(), sim.outputNumber());
    QVERIFY(driver.isConnected());
    EkData* item = nullptr;
    QVERIFY(driver.openDirectory("Song Rhythm:\\Song\\", 9, item));
    QCOMPARE(item->name(), std::string("Sunrise "));
    QCOMPARE(int(item->size()), 1800);
    driver.closeDirectory();
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), 21504 - 1800 - 640 - 1024);

    EkData* rhythm = nullptr;
    QVERIFY(driver.openDirectory("Song Rhythm:\\Rhythm\\", 9, rhythm));
    driver.closeDirectory();
    driver.deleteData(*rhythm);
    driver.getList(sim.inputNumber(), sim.outputNumber());
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), 21504 - 1800 - 1024);
}

QTEST_GUILESS_MAIN(TestKbdDrvJack)
#include "tst_kbddrvjack.moc"
