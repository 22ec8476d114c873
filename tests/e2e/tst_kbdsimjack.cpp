// nvbman-kbdsim as a separate program on a JACK server, talked to by this test as a second
// JACK client through the program's own ports.

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "ekmidi/ekmidiin.h"
#include "ekmidi/ekmidiobserver.h"
#include "ekmidi/ekmidiout.h"
#include "kbdsim/keyboardmemory.h"
#include "platform/eventwait.h"
#include "platform/midiservice.h"
#include "support/handframes.h"

using namespace handframes;

namespace {

int indexOf(const QStringList& names, const QString& part) {
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].contains(part)) {
            return i;
        }
    }
    return -1;
}

}  // namespace

class TestKbdSimJack : public QObject {
    Q_OBJECT
private slots:
    void answersAKindQueryAndKeepsItsState();
};

void TestKbdSimJack::answersAKindQueryAndKeepsItsState() {
    QTemporaryDir dir;
    const QString state = dir.filePath("keyboard.json");
    // A name of this run's own, so a simulator left over from another run cannot answer.
    const QString name = QStringLiteral("Sim-e2e-%1").arg(QCoreApplication::applicationPid());
    QProcess sim;
    sim.start(NVBMAN_KBDSIM_PATH, {"--api", "jack", "--name", name, "--state", state, "--log"});
    QVERIFY(sim.waitForStarted());
    QByteArray said;
    QTRY_VERIFY2_WITH_TIMEOUT((said += sim.readAllStandardError()).contains("ready"),
                              said.constData(), 10000);

    auto& service = platform::MidiService::instance();
    const int in = indexOf(service.inputDevices(), name);
    const int out = indexOf(service.outputDevices(), name);
    QVERIFY2(in >= 0 && out >= 0, qPrintable(service.inputDevices().join(", ")));

    EkMidiIn input;
    EkMidiOut output;
    EkMidiObserver arrival;
    input.attachObserver(&arrival);
    input.open(in);
    output.open(out);

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
    QByteArray log;
    QTRY_VERIFY2_WITH_TIMEOUT(QFile::exists(state),
                              (log += sim.readAllStandardOutput()).constData(), 5000);
    QCOMPARE(kbdsim::KeyboardMemory::load(state).size({10, 0, 0}), 0);

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 0);
    log += sim.readAllStandardOutput();
    QVERIFY2(log.contains(" in  F0 44 11 01 7F 10 00 0D 00 00 00 F7"), log.constData());
    QVERIFY2(log.contains(" out F0 44 11 01 7F 00 00 0D"), log.constData());
}

QTEST_GUILESS_MAIN(TestKbdSimJack)
#include "tst_kbdsimjack.moc"
