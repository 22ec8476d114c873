// The platform services the ports and the transactions stand on: the nested wait, the answer
// timer and the MIDI service's device lists.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <thread>

#include "platform/answertimer.h"
#include "platform/eventwait.h"
#include "platform/filelock.h"
#include "platform/keyboardsession.h"
#include "platform/midiinbox.h"
#include "platform/midiservice.h"
#include "platform/portbyname.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "support/recordingdevice.h"

using platform::MidiService;

class TestPlatform : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void waitReturnsWhenAHandlerSetsTheFlag();
    void waitServesPostedWorkAndTimers();
    void answerTimerFiresOnceNotBeforeItsInterval();
    void stoppedAnswerTimerNeverFires();
    void virtualDevicesAreListedLastInBothDirections();
    void destroyedDeviceLeavesTheLists();
    void badDeviceNumbersRaiseMidiSystemError_data();
    void badDeviceNumbersRaiseMidiSystemError();
    void sendToAVanishedDeviceIsAnError();
    void storedNameWinsOverANumberThatMovedOn_data();
    void storedNameWinsOverANumberThatMovedOn();
    void numberOfAVanishedDeviceNeverOpensAnother();
    void portsAreOpenedByNameOnly_data();
    void portsAreOpenedByNameOnly();
    void portNamesOfEverySystemAreMatched_data();
    void portNamesOfEverySystemAreMatched();
    void inboxHandsOverFromAnotherThreadInOrder();
    void inboxDropsWhatAnEarlierOpeningLeft();
    void settingsFirstStartThenRoundTrip();
    void settingsWithATextDeviceAreAnError();
    void locksNeverOutliveTheirHolder_data();
    void locksNeverOutliveTheirHolder();
    void runtimeFolderIsTheUsersOwn_data();
    void runtimeFolderIsTheUsersOwn();
};

namespace {

// A MIDI system's numbered port list, as RtMidi shows it (the ALSA sequencer's, say), whose
// list may change between the look-up and the open.
struct FakePort {
    std::vector<std::string> ports;
    std::vector<std::string> afterOpen;  // the list once the open has happened; empty: the same
    int opened = -1;
    bool closed = false;

    unsigned int getPortCount() const { return unsigned(ports.size()); }
    std::string getPortName(unsigned int i) const { return i < ports.size() ? ports[i] : ""; }
    void openPort(unsigned int i, const std::string&) {
        opened = int(i);
        if (!afterOpen.empty()) {
            ports = afterOpen;
        }
    }
    void closePort() { closed = true; }
};

struct FakeErrors {
    void clear() {}
    void throwIfFailed() {}
};

std::vector<std::string> strings(const QStringList& list) {
    std::vector<std::string> result;
    for (const QString& s : list) {
        result.push_back(s.toStdString());
    }
    return result;
}

}  // namespace

void TestPlatform::portsAreOpenedByNameOnly_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("afterOpen");
    QTest::addColumn<int>("opened");       // the index opened; -1: none
    QTest::addColumn<bool>("closed");      // closed again after the check
    QTest::addColumn<QString>("failure");  // a part of the error's text; empty: none
    const QString usb = "USB MIDI:USB MIDI MIDI 1 24:0";
    const QStringList two{"Midi Through:Midi Through Port-0 14:0", usb};
    QTest::newRow("found by its name") << two << QStringList{} << 1 << false << QString();
    QTest::newRow("a device that left")
        << QStringList{two.first()} << QStringList{} << -1 << false << "is not available";
    QTest::newRow("numbering shifted by a device that came during the open")
        << two << QStringList{two.first(), "Other:Other 1 28:0", usb} << 1 << true
        << "changed while it was opened";
    QTest::newRow("numbering shifted by one that left during the open")
        << QStringList{"Gone:Gone 1 20:0"} + two << two << 2 << true
        << "changed while it was opened";
}

void TestPlatform::portsAreOpenedByNameOnly() {
    QFETCH(QStringList, ports);
    QFETCH(QStringList, afterOpen);
    QFETCH(int, opened);
    QFETCH(bool, closed);
    QFETCH(QString, failure);
    FakePort port{strings(ports), strings(afterOpen)};
    FakeErrors errors;
    QString error;
    try {
        platform::portbyname::openByName(port, errors, "USB MIDI:USB MIDI MIDI 1 24:0", "in");
    } catch (const platform::MidiSystemError& e) {
        error = e.what();
    }
    QCOMPARE(port.opened, opened);
    QCOMPARE(port.closed, closed);
    QVERIFY2(failure.isEmpty() ? error.isEmpty() : error.contains(failure), qPrintable(error));

    // The lists offer neither the program's own ports nor nameless ones.
    FakePort listed{{"NvbMan-42-1:in", "", "USB MIDI:USB MIDI MIDI 1 24:0", "NvbMan-42:x"}, {}};
    const auto own = [](const std::string& name) { return name.rfind("NvbMan-42", 0) == 0; };
    QCOMPARE(platform::portbyname::namesOf(listed, own),
             std::vector<std::string>{"USB MIDI:USB MIDI MIDI 1 24:0"});
}

void TestPlatform::portNamesOfEverySystemAreMatched_data() {
    QTest::addColumn<QString>("full");  // as RtMidi lists it
    QTest::addColumn<bool>("matches");  // the port "MLS-850 Simulator"
    QTest::newRow("JACK") << "nvbman-kbdsim-out-MLS-850 Simulator:MLS-850 Simulator" << true;
    QTest::newRow("ALSA") << "nvbman-kbdsim-out-MLS-850 Simulator:MLS-850 Simulator 128:0" << true;
    QTest::newRow("ALSA, later numbers")
        << "nvbman-kbdsim-out-MLS-850 Simulator:MLS-850 Simulator 131:12" << true;
    QTest::newRow("another port of the client")
        << "nvbman-kbdsim-out-X:MLS-850 Simulator 2 128:1" << false;
    QTest::newRow("a name that only ends alike") << "client:Old MLS-850 Simulator" << false;
    QTest::newRow("no client part") << "MLS-850 Simulator" << false;
    QTest::newRow("ALSA numbers without a client part") << "MLS-850 Simulator 128:0" << false;
    QTest::newRow("a space but no numbers") << "client:MLS-850 Simulator x:0" << false;
}

void TestPlatform::portNamesOfEverySystemAreMatched() {
    QFETCH(QString, full);
    QFETCH(bool, matches);
    QCOMPARE(platform::portbyname::namesPort(full.toStdString(), "MLS-850 Simulator"), matches);
}

void TestPlatform::waitReturnsWhenAHandlerSetsTheFlag() {
    bool done = false;
    QTimer::singleShot(20, [&] { done = true; });
    QElapsedTimer clock;
    clock.start();
    platform::waitUntil(done);
    QVERIFY(done);
    QVERIFY(clock.elapsed() >= 15);
}

void TestPlatform::waitServesPostedWorkAndTimers() {
    bool done = false;
    int steps = 0;
    QMetaObject::invokeMethod(
        this, [&] { ++steps; }, Qt::QueuedConnection);
    QTimer::singleShot(5, [&] {
        ++steps;
        QMetaObject::invokeMethod(
            this, [&] { done = true; }, Qt::QueuedConnection);
    });
    platform::waitUntil(done);
    QCOMPARE(steps, 2);
}

void TestPlatform::answerTimerFiresOnceNotBeforeItsInterval() {
    int fired = 0;
    bool done = false;
    platform::AnswerTimer timer([&] {
        ++fired;
        done = true;
    });
    QCOMPARE(timer.interval(), std::chrono::milliseconds(200));
    QElapsedTimer clock;
    clock.start();
    timer.start();
    platform::waitUntil(done);
    QVERIFY2(clock.elapsed() >= 199, qPrintable(QString::number(clock.elapsed())));
    QTest::qWait(250);
    QCOMPARE(fired, 1);
    QVERIFY(!timer.isActive());
}

void TestPlatform::stoppedAnswerTimerNeverFires() {
    int fired = 0;
    platform::AnswerTimer timer([&] { ++fired; }, std::chrono::milliseconds(20));
    timer.start();
    timer.stop();
    QTest::qWait(60);
    QCOMPARE(fired, 0);
}

void TestPlatform::virtualDevicesAreListedLastInBothDirections() {
    RecordingDevice first("Test first");
    RecordingDevice second("Test second");
    const QStringList inputs = MidiService::instance().inputDevices();
    const QStringList outputs = MidiService::instance().outputDevices();
    QVERIFY(inputs.size() >= 2);
    QCOMPARE(inputs.mid(inputs.size() - 2), (QStringList{"Test first", "Test second"}));
    QCOMPARE(outputs.mid(outputs.size() - 2), (QStringList{"Test first", "Test second"}));
    QCOMPARE(first.inputNumber(), inputs.size() - 2);
}

void TestPlatform::destroyedDeviceLeavesTheLists() {
    const qsizetype before = MidiService::instance().inputDevices().size();
    {
        RecordingDevice device("Test passing");
        QCOMPARE(MidiService::instance().inputDevices().size(), before + 1);
    }
    QCOMPARE(MidiService::instance().inputDevices().size(), before);
    QVERIFY(!MidiService::instance().outputDevices().contains("Test passing"));
}

void TestPlatform::badDeviceNumbersRaiseMidiSystemError_data() {
    QTest::addColumn<int>("device");
    QTest::newRow("negative") << -1;
    QTest::newRow("past the end") << 1000;
}

void TestPlatform::badDeviceNumbersRaiseMidiSystemError() {
    QFETCH(int, device);
    try {
        MidiService::instance().openInput(device, [](std::vector<std::uint8_t>) {});
        QFAIL("input opened");
    } catch (const platform::MidiSystemError& e) {
        QVERIFY(QByteArray(e.what()).startsWith("MIDI SYSTEM ERROR: "));
        QVERIFY(QByteArray(e.what()).size() > 20);
    }
    QVERIFY_THROWS_EXCEPTION(platform::MidiSystemError, MidiService::instance().openOutput(device));
}

void TestPlatform::sendToAVanishedDeviceIsAnError() {
    auto device = std::make_unique<RecordingDevice>("Test vanishing");
    auto output = MidiService::instance().openOutput(device->outputNumber());
    device.reset();
    const std::uint8_t message[] = {0xF0, 0x44, 0xF7};
    QVERIFY_THROWS_EXCEPTION(platform::MidiSystemError, output->send(message));
}

namespace {

std::unique_ptr<QSettings> iniAt(const QString& path) {
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

}  // namespace

void TestPlatform::storedNameWinsOverANumberThatMovedOn_data() {
    QTest::addColumn<int>("storedNumber");
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<QString>("expected");  // a device's name, or "" for none
    QTest::newRow("name and number agree") << 1 << "Test B"
                                           << "Test B";
    QTest::newRow("numbering changed") << 0 << "Test B"
                                       << "Test B";
    QTest::newRow("number out of range") << 99 << "Test A"
                                         << "Test A";
    QTest::newRow("no name stored") << 0 << ""
                                    << "Test A";
    QTest::newRow("named device missing") << 1 << "Test unplugged"
                                          << "";
    // An ALSA device plugged in another order keeps its name but not its client number.
    QTest::newRow("ALSA address changed") << 0 << "Test C 20:0"
                                          << "Test C 24:0";
    QTest::newRow("ALSA address alone is no match") << 0 << "Test 24:0"
                                                    << "";
}

void TestPlatform::storedNameWinsOverANumberThatMovedOn() {
    QFETCH(int, storedNumber);
    QFETCH(QString, storedName);
    QFETCH(QString, expected);
    RecordingDevice a("Test A");
    RecordingDevice b("Test B");
    RecordingDevice c("Test C 24:0");
    auto& service = MidiService::instance();
    const qsizetype systemCount = service.inputDevices().size() - 3;
    service.outputDevices();
    // Stored numbers count from the first test device, as if the system had no devices.
    const int number = storedNumber + int(systemCount);
    const int input = service.findInput(number, storedName);
    const int output = service.findOutput(number, storedName);
    if (expected.isEmpty()) {
        QCOMPARE(input, -1);
        QCOMPARE(output, -1);
    } else {
        QCOMPARE(service.inputName(input), expected);
        QCOMPARE(service.outputName(output), expected);
    }
}

void TestPlatform::numberOfAVanishedDeviceNeverOpensAnother() {
    auto& service = MidiService::instance();
    auto first = std::make_unique<RecordingDevice>("Test leaving");
    RecordingDevice second("Test staying");
    const int number = service.inputDevices().indexOf("Test leaving");
    service.outputDevices();
    first.reset();
    // The same enumeration: the number still means the device that left, not the next one.
    try {
        service.openInput(number, [](std::vector<std::uint8_t>) {});
        QFAIL("opened");
    } catch (const platform::MidiSystemError& e) {
        QVERIFY2(QByteArray(e.what()).contains("\"Test leaving\""), e.what());
    }
    QVERIFY_THROWS_EXCEPTION(platform::MidiSystemError, service.openOutput(number));
    QCOMPARE(second.openInputCount(), 0);
}

void TestPlatform::inboxHandsOverFromAnotherThreadInOrder() {
    platform::MidiInbox inbox;
    std::vector<std::vector<std::uint8_t>> received;
    inbox.open([&](std::vector<std::uint8_t> m) { received.push_back(std::move(m)); });
    const auto message = [](int n) {
        return std::vector<std::uint8_t>(std::size_t(1 + n % 256), std::uint8_t(n));
    };
    const int count = 5000;  // far more than the slots: the producer waits for room
    std::thread producer([&] {
        for (int n = 0; n < count; ++n) {
            const auto m = message(n);
            while (!inbox.push(m.data(), m.size())) {
                std::this_thread::yield();
            }
        }
    });
    QTRY_COMPARE_WITH_TIMEOUT(int(received.size()), count, 20000);
    producer.join();
    for (int n = 0; n < count; ++n) {
        QCOMPARE(received[std::size_t(n)], message(n));
    }
}

void TestPlatform::inboxDropsWhatAnEarlierOpeningLeft() {
    platform::MidiInbox inbox;
    const std::uint8_t old[] = {0xF0, 0x44, 0x01, 0xF7};
    const std::uint8_t fresh[] = {0xF0, 0x44, 0x02, 0xF7};
    int earlier = 0;
    inbox.open([&](std::vector<std::uint8_t>) { ++earlier; });
    QVERIFY(inbox.push(old, sizeof old));  // queued, never taken out
    inbox.close();
    QVERIFY(!inbox.push(old, sizeof old));  // closed: refused
    std::vector<std::vector<std::uint8_t>> received;
    inbox.open([&](std::vector<std::uint8_t> m) { received.push_back(std::move(m)); });
    const std::vector<std::uint8_t> tooLong(platform::MidiInbox::kMaxMessage + 1, 0x01);
    QVERIFY(!inbox.push(tooLong.data(), tooLong.size()));
    QVERIFY(inbox.push(fresh, sizeof fresh));
    QTRY_COMPARE(received.size(), std::size_t(1));
    QCOMPARE(received.front(), std::vector<std::uint8_t>(fresh, fresh + sizeof fresh));
    QCOMPARE(earlier, 0);
}

void TestPlatform::settingsFirstStartThenRoundTrip() {
    QTemporaryDir dir;
    const QString path = dir.filePath("nvbman.ini");
    {
        platform::SettingsStore store(iniAt(path));
        QVERIFY(!store.hasRunBefore());
        store.markRun();
    }
    {
        platform::SettingsStore store(iniAt(path));
        QVERIFY(store.hasRunBefore());
        platform::Settings settings{2, 3, "/home/user/music", "USB MIDI:in 24:0",
                                    QString::fromUtf8("鍵盤 out")};
        settings.pipeWirePeriod = 64;
        settings.libraryFolders = {"/home/user/music", QString::fromUtf8("/home/user/音色, old")};
        settings.versionsKeepDays = 90;
        store.save(settings);
    }
    platform::SettingsStore store(iniAt(path));
    const platform::Settings loaded = store.load();
    QCOMPARE(loaded.pipeWirePeriod, 64);
    QCOMPARE(loaded.versionsKeepDays, 90);
    QCOMPARE(loaded.inputDevice, 2);
    QCOMPARE(loaded.outputDevice, 3);
    QCOMPARE(loaded.defaultDirectory, QString("/home/user/music"));
    QCOMPARE(loaded.inputDeviceName, QString("USB MIDI:in 24:0"));
    QCOMPARE(loaded.outputDeviceName, QString::fromUtf8("鍵盤 out"));
    QCOMPARE(loaded.foldersOfLibrary(),
             QStringList({"/home/user/music", QString::fromUtf8("/home/user/音色, old")}));
    // The numbers stay under their own keys, as before the names were kept.
    QSettings raw(path, QSettings::IniFormat);
    QCOMPARE(raw.value("MIDI/InputDevice").toInt(), 2);
    QCOMPARE(raw.value("MIDI/OutputDevice").toInt(), 3);
    // A period edited into nonsense, or none (a store of an older version), asks for the
    // default, never for no period or a huge one.
    for (const QVariant& edited : {QVariant("fast"), QVariant(-1), QVariant(1 << 20), QVariant()}) {
        if (edited.isValid()) {
            raw.setValue("MIDI/PipeWirePeriod", edited);
        } else {
            raw.remove("MIDI/PipeWirePeriod");
        }
        raw.sync();
        QCOMPARE(platform::SettingsStore(iniAt(path)).load().pipeWirePeriod,
                 platform::kDefaultPipeWirePeriod);
    }
    // Days of the keyboard's past edited into nonsense keep it all: nothing forgotten by
    // mistake.
    for (const QVariant& edited : {QVariant("soon"), QVariant(-7), QVariant(1 << 20)}) {
        raw.setValue("Versions/KeepDays", edited);
        raw.sync();
        QCOMPARE(platform::SettingsStore(iniAt(path)).load().versionsKeepDays, 0);
    }
}

void TestPlatform::settingsWithATextDeviceAreAnError() {
    QTemporaryDir dir;
    auto settings = iniAt(dir.filePath("nvbman.ini"));
    settings->setValue("MIDI/InputDevice", "keyboard");
    settings->setValue("MIDI/OutputDevice", 1);
    platform::SettingsStore store(std::move(settings));
    QVERIFY(store.hasRunBefore());
    try {
        store.load();
        QFAIL("loaded");
    } catch (const platform::SystemError& e) {
        QVERIFY2(QString(e.what()).contains("InputDevice"), e.what());
    }
}

void TestPlatform::locksNeverOutliveTheirHolder_data() {
    QTest::addColumn<QByteArray>("content");  // what the lock file holds beforehand
    QTest::newRow("no file") << QByteArray();
    QTest::newRow("an empty file") << QByteArray("");
    QTest::newRow("garbage") << QByteArray("\xff\xfe not a lock\n\n\n");
    QTest::newRow("a holder that is gone") << QByteArray("999999\nnvbman-cli\nthishost\n");
}

void TestPlatform::locksNeverOutliveTheirHolder() {
    QFETCH(QByteArray, content);
    QTemporaryDir dir;
    const QString path = dir.filePath("keyboard.lock");
    if (!content.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    // Whatever the file holds, nobody holds the lock: it is taken at once.
    platform::FileLock first(path);
    QCOMPARE(first.tryLock(), platform::FileLock::State::Locked);
    QVERIFY(platform::FileLock::isHeld(path));
    platform::FileLock second(path);
    QCOMPARE(second.tryLock(), platform::FileLock::State::Busy);
    first.unlock();
    QVERIFY(!platform::FileLock::isHeld(path));

    // A holder in another process that dies, however it dies, leaves nothing behind.
    int ready[2];
    QCOMPARE(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        platform::FileLock held(path);
        const char state = held.tryLock() == platform::FileLock::State::Locked ? 'L' : 'F';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &state, 1);
        ::pause();
        ::_exit(0);
    }
    char state = 0;
    QCOMPARE(::read(ready[0], &state, 1), ssize_t(1));
    QCOMPARE(state, 'L');
    QCOMPARE(second.tryLock(), platform::FileLock::State::Busy);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    ::close(ready[1]);
    QCOMPARE(second.tryLock(), platform::FileLock::State::Locked);
}

void TestPlatform::runtimeFolderIsTheUsersOwn_data() {
    QTest::addColumn<QString>("inTemp");   // how the folder in the temporary folder stands
    QTest::addColumn<QString>("inCache");  // the same of the one in the cache folder
    QTest::addColumn<QString>("chosen");   // "temp", "cache" or "none"
    QTest::newRow("none yet") << "missing"
                              << "missing"
                              << "temp";
    QTest::newRow("ours, open to all") << "open"
                                       << "missing"
                                       << "temp";
    QTest::newRow("another user's") << "foreign"
                                    << "missing"
                                    << "cache";
    QTest::newRow("a link to a folder of ours") << "link"
                                                << "missing"
                                                << "cache";
    QTest::newRow("a file") << "file"
                            << "missing"
                            << "cache";
    QTest::newRow("both taken") << "foreign"
                                << "file"
                                << "none";
}

void TestPlatform::runtimeFolderIsTheUsersOwn() {
    QFETCH(QString, inTemp);
    QFETCH(QString, inCache);
    QFETCH(QString, chosen);
    if ((inTemp == "foreign" || inCache == "foreign") && ::getuid() != 0) {
        QSKIP("giving a folder to another user needs root");
    }
    QTemporaryDir dir;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmp = qgetenv("TMPDIR");
    const QByteArray cache = qgetenv("XDG_CACHE_HOME");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", dir.filePath("tmp").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", dir.filePath("cache").toLocal8Bit());
    QVERIFY(QDir().mkpath(dir.filePath("tmp")) && QDir().mkpath(dir.filePath("cache/NvbMan")));
    const QString tempFolder = dir.filePath(QString("tmp/nvbman-runtime-%1").arg(::getuid()));
    const QString cacheFolder = dir.filePath("cache/NvbMan/runtime");
    const auto prepare = [&](const QString& how, const QString& path) {
        const QByteArray name = QFile::encodeName(path);
        if (how == "open" || how == "foreign") {
            QCOMPARE(::mkdir(name.constData(), 0777), 0);
            QCOMPARE(::chmod(name.constData(), 01777), 0);
        }
        if (how == "foreign") {
            QCOMPARE(::chown(name.constData(), 65534, 65534), 0);
        }
        if (how == "link") {
            QVERIFY(QDir().mkpath(dir.filePath("ours")));
            QVERIFY(QFile::link(dir.filePath("ours"), path));
        }
        if (how == "file") {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    };
    prepare(inTemp, tempFolder);
    prepare(inCache, cacheFolder);
    QString folder;
    QString failure;
    try {
        folder = platform::userRuntimeFolder();
    } catch (const platform::SystemError& e) {
        failure = QString::fromStdString(e.what());
    }
    qputenv("XDG_RUNTIME_DIR", runtime);
    qputenv("TMPDIR", tmp);
    qputenv("XDG_CACHE_HOME", cache);
    if (chosen == "none") {
        QVERIFY2(failure.contains(tempFolder) && failure.contains("XDG_RUNTIME_DIR"),
                 qPrintable(failure));
        return;
    }
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(folder, chosen == "temp" ? tempFolder : cacheFolder);
    QFileInfo info(folder);
    QVERIFY(info.isDir() && !info.isSymLink());
    QCOMPARE(info.ownerId(), ::getuid());
    QCOMPARE(int(info.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                       QFile::ReadOther | QFile::WriteOther | QFile::ExeOther)),
             0);
}

QTEST_GUILESS_MAIN(TestPlatform)
#include "tst_platform.moc"
