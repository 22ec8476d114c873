// A send and an import through the real keyboard stream over a JACK server, against
// nvbman-kbdsim in its own process with the cable's pacing on.

#include <QtTest>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbmidistream.h"
#include "support/kbdsimprocess.h"

class TestStreamJack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sendThenImportGivesTheSameItem();
};

void TestStreamJack::sendThenImportGivesTheSameItem() {
    KbdSimProcess sim;
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());
    EkKbdDrv driver("MLS-850");
    driver.getList(sim.inputNumber(), sim.outputNumber());

    EkDataFile rhythm(DataType::Rhythm);
    rhythm.setSize(700);
    rhythm.words().resize(350);
    for (std::size_t i = 0; i < rhythm.words().size(); ++i) {
        rhythm.words()[i] = std::uint16_t(i * 977 + 13);
    }
    rhythm.storeName("Samba 7");
    NvbMidiStream(std::string("Song Rhythm:\\Rhythm\\User 1"), sim.inputNumber(),
                  sim.outputNumber(), driver)
        .write(rhythm);
    QCOMPARE(driver.findArea("Song Rhythm:")->freeSpace(), 21504 - 1800 - 640 - 1024 - 700);

    driver.getList(sim.inputNumber(), sim.outputNumber());
    EkDataFile imported(DataType::NoType);
    NvbMidiStream(std::string("Song Rhythm:\\Rhythm\\Samba 7 "), sim.inputNumber(),
                  sim.outputNumber(), driver)
        .read(imported);
    QCOMPARE(imported.words(), rhythm.words());
    QCOMPARE(imported.name(), std::string("Samba 7 "));
    QCOMPARE(int(imported.type()), int(DataType::Rhythm));
    QCOMPARE(int(imported.size()), 700);
}

QTEST_GUILESS_MAIN(TestStreamJack)
#include "tst_streamjack.moc"
