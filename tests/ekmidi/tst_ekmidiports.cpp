// The two MIDI ports against an in-process device: what is kept and reported, what is dropped,
// and that every report comes from the event loop.

#include <QtTest>
#include <cstdint>
#include <vector>

#include "ekmidi/ekmidiin.h"
#include "ekmidi/ekmidiobserver.h"
#include "ekmidi/ekmidiout.h"
#include "platform/eventwait.h"
#include "platform/systemerror.h"
#include "support/recordingdevice.h"

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

Bytes keyboardMessage(std::size_t length) {
    Bytes message(length, 0x11);
    message.front() = 0xF0;
    message[1] = 0x44;
    message.back() = 0xF7;
    return message;
}

// Lets the event loop run until nothing more is pending.
void drainEvents() {
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
}

}  // namespace

class TestEkMidiPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void keptMessageIsReportedOnceWithExactlyItsBytes_data();
    void keptMessageIsReportedOnceWithExactlyItsBytes();
    void foreignAndBrokenMessagesAreDropped_data();
    void foreignAndBrokenMessagesAreDropped();
    void nothingIsReportedAfterClose();
    void nothingFromAnEarlierOpeningAfterReopen();
    void completionIsReportedFromTheLoopWithTheMessageSent();
    void closedOutputIgnoresPutAndSend();
    void overlongPutIsRefusedWithoutOverrun();
    void openingABadNumberIsAMidiSystemError();
    void handlerCanBeClearedAndRebound();

private:
    std::unique_ptr<RecordingDevice> device_;
    std::unique_ptr<EkMidiIn> in_;
    std::unique_ptr<EkMidiOut> out_;
    EkMidiObserver inObserver_;
    EkMidiObserver outObserver_;
    int arrivals_ = 0;
    int completions_ = 0;
};

void TestEkMidiPorts::init() {
    device_ = std::make_unique<RecordingDevice>("Test keyboard");
    in_ = std::make_unique<EkMidiIn>();
    out_ = std::make_unique<EkMidiOut>();
    inObserver_.setHandler([this] { ++arrivals_; });
    outObserver_.setHandler([this] { ++completions_; });
    in_->attachObserver(&inObserver_);
    out_->attachObserver(&outObserver_);
    arrivals_ = 0;
    completions_ = 0;
    in_->open(device_->inputNumber());
    out_->open(device_->outputNumber());
}

void TestEkMidiPorts::cleanup() {
    out_.reset();
    in_.reset();
    device_.reset();
}

void TestEkMidiPorts::keptMessageIsReportedOnceWithExactlyItsBytes_data() {
    QTest::addColumn<Bytes>("message");
    QTest::newRow("status answer")
        << Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F, 0x72, 0, 0, 5, 0, 1, 0xF7};
    QTest::newRow("largest block") << keyboardMessage(207);
    QTest::newRow("exactly the buffer") << keyboardMessage(256);
}

void TestEkMidiPorts::keptMessageIsReportedOnceWithExactlyItsBytes() {
    QFETCH(Bytes, message);
    device_->transmit(message);
    QCOMPARE(arrivals_, 0);  // posted, not reported from inside the device's transmit
    drainEvents();
    QCOMPARE(arrivals_, 1);
    Bytes data;
    in_->getData(data);
    QCOMPARE(data, message);
}

void TestEkMidiPorts::foreignAndBrokenMessagesAreDropped_data() {
    QTest::addColumn<Bytes>("message");
    QTest::newRow("another maker") << Bytes{0xF0, 0x43, 0x10, 0x4C, 0xF7};
    QTest::newRow("no end byte") << Bytes{0xF0, 0x44, 0x11, 0x01, 0x7F};
    QTest::newRow("no start byte") << Bytes{0x90, 0x44, 0x11, 0xF7};
    QTest::newRow("active sensing") << Bytes{0xFE};
    QTest::newRow("clock") << Bytes{0xF8};
    QTest::newRow("two bytes") << Bytes{0xF0, 0xF7};
    QTest::newRow("over the buffer") << keyboardMessage(257);
    QTest::newRow("empty") << Bytes{};
}

void TestEkMidiPorts::foreignAndBrokenMessagesAreDropped() {
    QFETCH(Bytes, message);
    device_->transmit(keyboardMessage(12));
    drainEvents();
    QCOMPARE(arrivals_, 1);
    device_->transmit(message);
    drainEvents();
    QCOMPARE(arrivals_, 1);
    Bytes data;
    in_->getData(data);
    if (!message.empty()) {
        QVERIFY(data.empty());  // dropped, and the last message kept is gone too
    }
}

void TestEkMidiPorts::nothingIsReportedAfterClose() {
    device_->transmit(keyboardMessage(20));  // posted but not yet taken
    in_->close();
    drainEvents();
    device_->transmit(keyboardMessage(20));
    drainEvents();
    QCOMPARE(arrivals_, 0);
    QCOMPARE(device_->openInputCount(), 0);

    const std::uint8_t status[] = {0xF0, 0x44, 0x72, 0xF7};
    out_->put(Bytes(std::begin(status), std::end(status)));
    out_->send();
    out_->close();
    drainEvents();
    QCOMPARE(completions_, 0);
}

void TestEkMidiPorts::nothingFromAnEarlierOpeningAfterReopen() {
    device_->transmit(keyboardMessage(20));
    in_->close();
    in_->open(device_->inputNumber());
    drainEvents();
    QCOMPARE(arrivals_, 0);
    device_->transmit(keyboardMessage(30));
    drainEvents();
    QCOMPARE(arrivals_, 1);
    QCOMPARE(device_->openInputCount(), 1);
}

void TestEkMidiPorts::completionIsReportedFromTheLoopWithTheMessageSent() {
    const Bytes message = keyboardMessage(207);
    out_->put(message);
    out_->send();
    QCOMPARE(completions_, 0);
    QVERIFY(device_->received.empty());
    bool done = false;
    outObserver_.setHandler([&] {
        ++completions_;
        done = true;
    });
    platform::waitUntil(done);
    QCOMPARE(completions_, 1);
    Bytes data;
    out_->getData(data);
    QCOMPARE(data, message);
    drainEvents();
    QCOMPARE(device_->received.size(), std::size_t(1));
    QCOMPARE(device_->received.front(), message);
}

void TestEkMidiPorts::closedOutputIgnoresPutAndSend() {
    out_->close();
    out_->put(keyboardMessage(12));
    out_->send();
    drainEvents();
    QCOMPARE(completions_, 0);
    QVERIFY(device_->received.empty());
}

void TestEkMidiPorts::overlongPutIsRefusedWithoutOverrun() {
    const Bytes small = keyboardMessage(12);
    out_->put(small);
    QVERIFY_THROWS_EXCEPTION(platform::MidiSystemError, out_->put(keyboardMessage(4096)));
    out_->send();
    drainEvents();
    QCOMPARE(device_->received.size(), std::size_t(1));
    QCOMPARE(device_->received.front(), small);
}

void TestEkMidiPorts::openingABadNumberIsAMidiSystemError() {
    EkMidiIn in;
    try {
        in.open(device_->inputNumber() + 1);
        QFAIL("opened");
    } catch (const platform::MidiSystemError& e) {
        QVERIFY(QByteArray(e.what()).startsWith("MIDI SYSTEM ERROR: "));
    }
    QVERIFY(!in.isOpen());
}

void TestEkMidiPorts::handlerCanBeClearedAndRebound() {
    inObserver_.clearHandler();
    device_->transmit(keyboardMessage(12));
    drainEvents();
    QCOMPARE(arrivals_, 0);
    inObserver_.setHandler([this] { arrivals_ += 10; });
    device_->transmit(keyboardMessage(12));
    drainEvents();
    QCOMPARE(arrivals_, 10);
}

QTEST_GUILESS_MAIN(TestEkMidiPorts)
#include "tst_ekmidiports.moc"
