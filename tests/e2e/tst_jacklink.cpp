// The MIDI link over a real JACK server: every opening carries its first request and the answer
// to it, however fast the keyboard answers, and a device number opens the device it named.

#include <unistd.h>

#include <QtTest>

#include <thread>

#include "ekmidi/ekmidiin.h"
#include "ekmidi/ekmidiobserver.h"
#include "ekmidi/ekmidiout.h"
#include "kbddrv/ekkbd.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"
#include "support/jackresponder.h"
#include "sysex/ekexception.h"

using platform::MidiService;

namespace {

std::string uniqueName(const char* role) {
    static int n = 0;
    return std::string("link-") + role + "-" + std::to_string(::getpid()) + "-" +
           std::to_string(++n);
}

// Asks the keyboard kind on a fresh opening of both ports; the answer, or -1 on a failure.
int kindOnFreshOpening(int input, int output, QString* failure = nullptr) {
    EkKbd kbd;
    try {
        kbd.openPorts(input, output);
        const int kind = kbd.queryKeyboardKind();
        kbd.closePorts();
        return kind;
    } catch (const EkException& e) {
        if (failure != nullptr) {
            *failure = QString("EkException code %1").arg(e.code());
        }
    } catch (const platform::SystemError& e) {
        if (failure != nullptr) {
            *failure = e.what();
        }
    }
    return -1;
}

}  // namespace

class TestJackLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyFreshOpeningGetsItsAnswer();
    void deviceIsOpenedByItsNameWhenTheNumberingShifts();
    void deviceThatLeftIsAnErrorNeverAnotherDevice();
    void answerWaitingInTheInboxIsTakenByFlush();
};

void TestJackLink::everyFreshOpeningGetsItsAnswer() {
    // An answer written in the very cycle the request arrives in: an opening whose connections
    // are not yet in force loses the request or the answer.
    JackResponder keyboard(uniqueName("instant"), 0);
    QVERIFY(keyboard.isReady());
    auto& service = MidiService::instance();
    const int input =
        int(service.inputDevices().indexOf(QString::fromStdString(keyboard.outputPort())));
    const int output =
        int(service.outputDevices().indexOf(QString::fromStdString(keyboard.inputPort())));
    QVERIFY(input >= 0 && output >= 0);

    const int rounds = 300;
    int failures = 0;
    QString firstFailure;
    for (int round = 0; round < rounds; ++round) {
        QString failure;
        if (kindOnFreshOpening(input, output, &failure) != 0) {
            if (failures++ == 0) {
                firstFailure = QString("round %1: %2").arg(round).arg(failure);
            }
        }
    }
    QVERIFY2(failures == 0, qPrintable(QString("%1 of %2 openings failed; first: %3")
                                           .arg(failures)
                                           .arg(rounds)
                                           .arg(firstFailure)));
    QCOMPARE(keyboard.requestsSeen(), rounds);
}

void TestJackLink::deviceIsOpenedByItsNameWhenTheNumberingShifts() {
    // JACK numbers ports by id: when a port listed before ours goes, every later port moves up
    // one place, and the number taken from the list now belongs to the next device.
    auto early = std::make_unique<JackResponder>(uniqueName("early"), 5);
    JackResponder named(uniqueName("named"), 0);
    JackResponder next(uniqueName("next"), 7);
    QVERIFY(early->isReady() && named.isReady() && next.isReady());
    auto& service = MidiService::instance();
    const QStringList inputs = service.inputDevices();
    const QStringList outputs = service.outputDevices();
    const int input = int(inputs.indexOf(QString::fromStdString(named.outputPort())));
    const int output = int(outputs.indexOf(QString::fromStdString(named.inputPort())));
    QVERIFY2(input >= 0 && output >= 0, qPrintable(inputs.join(", ")));
    const QString ownPrefix = QString("NvbMan-%1").arg(::getpid());
    for (const QString& name : inputs + outputs) {
        QVERIFY2(!name.startsWith(ownPrefix), qPrintable(name));  // never our own ports
    }

    early.reset();
    QCOMPARE(kindOnFreshOpening(input, output), 0);
    QCOMPARE(named.requestsSeen(), 1);
    QCOMPARE(next.requestsSeen(), 0);
}

void TestJackLink::deviceThatLeftIsAnErrorNeverAnotherDevice() {
    auto leaving = std::make_unique<JackResponder>(uniqueName("leaving"), 0);
    JackResponder staying(uniqueName("staying"), 7);
    QVERIFY(leaving->isReady() && staying.isReady());
    auto& service = MidiService::instance();
    const QString inputName = QString::fromStdString(leaving->outputPort());
    const int input = int(service.inputDevices().indexOf(inputName));
    const int output =
        int(service.outputDevices().indexOf(QString::fromStdString(leaving->inputPort())));
    QVERIFY(input >= 0 && output >= 0);

    leaving.reset();
    QString failure;
    QCOMPARE(kindOnFreshOpening(input, output, &failure), -1);
    QVERIFY2(failure.startsWith("MIDI SYSTEM ERROR: ") && failure.contains(inputName),
             qPrintable(failure));
    QCOMPARE(staying.requestsSeen(), 0);
    // The same numbers still open nothing else on a second try.
    QCOMPARE(kindOnFreshOpening(input, output), -1);
    QCOMPARE(staying.requestsSeen(), 0);
}

void TestJackLink::answerWaitingInTheInboxIsTakenByFlush() {
    // A busy machine: the GUI thread does not get to its event loop until the answer time is
    // over. The answer timer then flushes the input before it gives up; here the flush itself.
    JackResponder keyboard(uniqueName("flush"), 0);
    auto& service = MidiService::instance();
    const int input =
        int(service.inputDevices().indexOf(QString::fromStdString(keyboard.outputPort())));
    const int output =
        int(service.outputDevices().indexOf(QString::fromStdString(keyboard.inputPort())));
    EkMidiIn in;
    EkMidiOut out;
    EkMidiObserver arrival;
    int arrivals = 0;
    arrival.setHandler([&] { ++arrivals; });
    in.attachObserver(&arrival);
    in.open(input);
    out.open(output);
    out.put({0xF0, 0x44, 0x11, 0x01, 0x7F, 0x10, 0x00, 0x0D, 0x00, 0x00, 0x00, 0xF7});
    out.send();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // no event loop meanwhile
    QCOMPARE(arrivals, 0);
    in.flush();
    QCOMPARE(arrivals, 1);
    std::vector<std::uint8_t> answer;
    in.getData(answer);
    QCOMPARE(answer, (std::vector<std::uint8_t>{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x00, 0x00, 0x0D,
                                                0x00, 0x00, 0x00, 0x00, 0x00, 0xF7}));
    QTest::qWait(50);  // the posted report finds nothing left
    QCOMPARE(arrivals, 1);
    out.close();
    in.close();
}

QTEST_GUILESS_MAIN(TestJackLink)
#include "tst_jacklink.moc"
