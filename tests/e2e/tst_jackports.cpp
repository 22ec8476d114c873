// The ports over a real MIDI service: a JACK server with the dummy driver (started by the test
// set-up) and a second JACK client that plays the keyboard's side of the cable.

#include <rtmidi/RtMidi.h>

#include <QElapsedTimer>
#include <QtTest>
#include <mutex>

#include "ekmidi/ekmidiin.h"
#include "ekmidi/ekmidiobserver.h"
#include "ekmidi/ekmidiout.h"
#include "platform/eventwait.h"
#include "platform/midiservice.h"

using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes keyboardMessage(std::size_t length, std::uint8_t fill) {
    Bytes message(length);
    for (std::size_t i = 0; i < length; ++i) {
        message[i] = static_cast<std::uint8_t>((fill + i) & 0x7F);
    }
    message.front() = 0xF0;
    message[1] = 0x44;
    message.back() = 0xF7;
    return message;
}

int indexOf(const QStringList& names, const QString& part) {
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].contains(part)) {
            return i;
        }
    }
    return -1;
}

// The other JACK client: a virtual input and output port, as a keyboard interface would offer.
class Peer {
public:
    Peer() : out_(RtMidi::UNIX_JACK, "nvbman-peer"), in_(RtMidi::UNIX_JACK, "nvbman-peer") {
        in_.ignoreTypes(false, true, true);
        in_.setCallback(&Peer::arrived, this);
        in_.openVirtualPort("from-nvbman");
        out_.openVirtualPort("to-nvbman");
    }

    void sendRaw(const Bytes& message) { out_.sendMessage(message.data(), message.size()); }

    // Waits, bounded, until `count` messages have arrived.
    std::vector<Bytes> waitFor(std::size_t count) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 3000) {
            {
                std::lock_guard lock(mutex_);
                if (received_.size() >= count) {
                    return received_;
                }
            }
            QTest::qWait(5);
        }
        std::lock_guard lock(mutex_);
        return received_;
    }

private:
    static void arrived(double, std::vector<unsigned char>* message, void* self) {
        auto* peer = static_cast<Peer*>(self);
        std::lock_guard lock(peer->mutex_);
        peer->received_.emplace_back(message->begin(), message->end());
    }

    RtMidiOut out_;
    RtMidiIn in_;
    std::mutex mutex_;
    std::vector<Bytes> received_;
};

}  // namespace

class TestJackPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void exchangesTheLargestBlockBothWays();
    void messageSentRightBeforeCloseStillArrives();
    void cleanupTestCase() { peer_.reset(); }

private:
    std::unique_ptr<Peer> peer_;
    int inputDevice_ = -1;
    int outputDevice_ = -1;
};

void TestJackPorts::initTestCase() {
    peer_ = std::make_unique<Peer>();
    const QStringList inputs = platform::MidiService::instance().inputDevices();
    const QStringList outputs = platform::MidiService::instance().outputDevices();
    inputDevice_ = indexOf(inputs, "to-nvbman");
    outputDevice_ = indexOf(outputs, "from-nvbman");
    QVERIFY2(inputDevice_ >= 0, qPrintable(inputs.join(", ")));
    QVERIFY2(outputDevice_ >= 0, qPrintable(outputs.join(", ")));
}

void TestJackPorts::exchangesTheLargestBlockBothWays() {
    EkMidiIn in;
    EkMidiOut out;
    EkMidiObserver arrival;
    EkMidiObserver completion;
    in.attachObserver(&arrival);
    out.attachObserver(&completion);
    in.open(inputDevice_);
    out.open(outputDevice_);

    const Bytes toPeer = keyboardMessage(207, 3);
    bool sent = false;
    completion.setHandler([&] { sent = true; });
    out.put(toPeer);
    out.send();
    platform::waitUntil(sent);
    const auto atPeer = peer_->waitFor(1);
    QCOMPARE(atPeer.size(), std::size_t(1));
    QCOMPARE(atPeer.front(), toPeer);

    const Bytes fromPeer = keyboardMessage(207, 40);
    bool arrived = false;
    arrival.setHandler([&] { arrived = true; });
    QTimer::singleShot(3000, [&] { arrived = true; });
    peer_->sendRaw(fromPeer);
    platform::waitUntil(arrived);
    Bytes data;
    in.getData(data);
    QCOMPARE(data, fromPeer);
    out.close();
    in.close();
}

void TestJackPorts::messageSentRightBeforeCloseStillArrives() {
    const std::size_t before = peer_->waitFor(0).size();
    const int rounds = 5;
    for (int round = 0; round < rounds; ++round) {
        EkMidiOut out;
        out.open(outputDevice_);
        out.put(keyboardMessage(12, std::uint8_t(round)));
        out.send();
        out.close();  // at once, as after an End status or a delete command
    }
    const auto atPeer = peer_->waitFor(before + rounds);
    QCOMPARE(atPeer.size(), before + rounds);
    for (int round = 0; round < rounds; ++round) {
        QCOMPARE(atPeer[before + round], keyboardMessage(12, std::uint8_t(round)));
    }
}

QTEST_GUILESS_MAIN(TestJackPorts)
#include "tst_jackports.moc"
