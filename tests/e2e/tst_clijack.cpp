// nvbman-cli as a user runs it: a separate process, talking over a JACK server to nvbman-kbdsim
// in another process (and in the ALSA test machine over the ALSA sequencer, see
// tests/alsa-vm/alsa-suite.sh).

#include <signal.h>
#include <sys/stat.h>

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbdsim/keyboardmemory.h"
#include "kbdsim/simulatordevice.h"
#include "platform/filelock.h"
#include "platform/keyboardsession.h"
#include "platform/midiservice.h"
#include "stream/nvbfilestream.h"
#include "support/kbdsimprocess.h"
#include "support/songmemory.h"

Q_DECLARE_METATYPE(QList<QStringList>)

using kbdsim::KeyboardMemory;

namespace {

// The simulator and the program on a JACK graph (JACK 2 or PipeWire's JACK), which has a period
// the program notes in its log; the ALSA sequencer has none.
bool onJackGraph() {
    return qEnvironmentVariable("NVBMAN_KBDSIM_API", "jack") == "jack";
}

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString lastErrorLine() const {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last());
    }
};

// The most a job may take to get going, however slow the machine: beyond it, it hangs.
constexpr int kJobStartBound = 120000;
// How long one wait for the program's output lasts when it says nothing.
constexpr int kOutputWait = 200;

std::vector<std::uint16_t> pattern(std::size_t count, int seed) {
    std::vector<std::uint16_t> words(count);
    for (std::size_t i = 0; i < count; ++i) {
        words[i] = std::uint16_t(seed * 131 + i * 7919);
    }
    return words;
}

}  // namespace

class TestCliJack : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void devicesListsBothDirections();
    void listJsonHasEveryAreaAndSlot();
    void importThenSendBackKeepsTheMemory();
    void deleteEmptiesASong();
    void backupThenRestoreRoundTrip();
    void versionsOfASlotAndTheKeyboardAsOfATime();
    void unsafeKeyboardNameStaysInTheFolder();
    void ctrlCStopsASendAtTheNextBlock_data();
    void ctrlCStopsASendAtTheNextBlock();

    void twoProgramsNeverShareTheKeyboard();
    void builtInKeyboardNeverLosesItsMemorySilently_data();
    void builtInKeyboardNeverLosesItsMemorySilently();
    void builtInKeyboardKeepsWhatASendEndsWith_data();
    void builtInKeyboardKeepsWhatASendEndsWith();
    void hostileInputsFailPlainlyAndAtOnce_data();
    void hostileInputsFailPlainlyAndAtOnce();
    void backupsAreCheckedAgainstTheKeyboardAndThemselves();
    void sendVerifyCatchesAKeyboardThatKeepsOtherData_data();
    void sendVerifyCatchesAKeyboardThatKeepsOtherData();
    void verboseSaysWhenAnAnswerWasLost();
    void aLostAnswerInASingleTransferIsTriedAgain_data();
    void aLostAnswerInASingleTransferIsTriedAgain();
    void findNamesThePairAKeyboardAnswersOn();
    void frozenKeyboardStopsAJobInBoundedTime_data();
    void frozenKeyboardStopsAJobInBoundedTime();
    void severalSlotsAtOnceAndLeanSingleSlots();
    void aKeyboardHeldElsewhereIsOneJsonFailure();
    void deletedItemsComeBack_data();
    void deletedItemsComeBack();
    void organisedInPlaceAndUndone_data();
    void organisedInPlaceAndUndone();
    void aSwapStoppedAnywhereLosesNothing();
    void eachKeyboardUndoesItsOwnChanges();
    void theGraphRunsAtThePeriodAskedAndSaysSo();
    void lostChangesAreMadeAgainOrFail_data();
    void lostChangesAreMadeAgainOrFail();
    void aSlotChangedAtThePanelIsReadBeforeTheChange_data();
    void aSlotChangedAtThePanelIsReadBeforeTheChange();
    void unansweredConfirmationsSayWhatIsKnown_data();
    void unansweredConfirmationsSayWhatIsKnown();
    void aRestoreMakesRoomFirstOrIsRefusedUpFront();
    void aChangeCutShortIsSaidOnceAndUndone_data();
    void aChangeCutShortIsSaidOnceAndUndone();

private:
    QProcessEnvironment environment() const;
    void startCli(QProcess& process, const QStringList& args, KbdSimProcess* sim = nullptr);
    Result cli(const QStringList& args, KbdSimProcess* sim = nullptr);
    // Waits until the MIDI log of `process` (started with --verbose) has shown `count` lines
    // with `marker`, the program still running; what it said so far is added to `err`.
    static bool waitForMidiLog(QProcess& process, QByteArray& err, const QByteArray& marker,
                               int count);
    KeyboardMemory state(const KbdSimProcess&) const { return KeyboardMemory::load(statePath()); }
    QString statePath() const { return home_->filePath("keyboard.json"); }
    // `name`: the simulator's port name, for one keyboard started again; empty: a new one.
    std::unique_ptr<KbdSimProcess> startSim(const QStringList& extra = {"--no-pacing"},
                                            const QString& name = {});

    std::unique_ptr<QTemporaryDir> home_;
};

void TestCliJack::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
}

std::unique_ptr<KbdSimProcess> TestCliJack::startSim(const QStringList& extra,
                                                     const QString& name) {
    auto sim = std::make_unique<KbdSimProcess>(QStringList{"--state", statePath()} + extra, name);
    if (!sim->isReady()) {
        qWarning() << sim->errorOutput();
    }
    return sim;
}

QProcessEnvironment TestCliJack::environment() const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Settings and the built-in keyboard's memory of this test only. (The runtime folder, where
    // the keyboard locks are, stays the user's: the JACK client library looks there too.)
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    return env;
}

void TestCliJack::startCli(QProcess& process, const QStringList& args, KbdSimProcess* sim) {
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(home_->path());
    process.start(
        NVBMAN_CLI_PATH,
        sim == nullptr ? args : QStringList{"--in", sim->name(), "--out", sim->name()} + args);
}

Result TestCliJack::cli(const QStringList& args, KbdSimProcess* sim) {
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(home_->path());
    QStringList all = args;
    if (sim != nullptr) {
        all = QStringList{"--in", sim->name(), "--out", sim->name()} + args;
    }
    process.start(NVBMAN_CLI_PATH, all);
    process.waitForFinished(120000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

bool TestCliJack::waitForMidiLog(QProcess& process, QByteArray& err, const QByteArray& marker,
                                 int count) {
    if (!process.waitForStarted()) {
        return false;
    }
    process.setReadChannel(QProcess::StandardError);
    QElapsedTimer waited;
    waited.start();
    while (err.count(marker) < count && process.state() == QProcess::Running &&
           waited.elapsed() < kJobStartBound) {
        process.waitForReadyRead(kOutputWait);
        err += process.readAllStandardError();
    }
    return err.count(marker) >= count && process.state() == QProcess::Running;
}

void TestCliJack::devicesListsBothDirections() {
    auto sim = startSim();
    QVERIFY(sim->isReady());
    const Result r = cli({"devices"});
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QString out = QString::fromUtf8(r.out);
    QVERIFY2(out.contains(QRegularExpression("^in \\d+: .*" + sim->name(),
                                             QRegularExpression::MultilineOption)),
             qPrintable(out));
    QVERIFY(out.contains(
        QRegularExpression("^out \\d+: .*" + sim->name(), QRegularExpression::MultilineOption)));
    QVERIFY(out.contains("in ") && out.indexOf("in ") < out.indexOf("out "));
    QVERIFY(out.trimmed().endsWith("MLS-850 Simulator (built-in)"));
}

void TestCliJack::listJsonHasEveryAreaAndSlot() {
    auto sim = startSim();
    const Result r = cli({"--quiet", "list", "--json"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QJsonObject json = QJsonDocument::fromJson(r.out).object();
    QCOMPARE(json["model"].toString(), QString("MLS-850"));
    QCOMPARE(json["freeMemory"].toInt(), 21504 - 1800 - 640 - 1024);
    const QJsonArray areas = json["areas"].toArray();
    QCOMPARE(areas.size(), 4);
    QCOMPARE(areas[2].toObject()["name"].toString(), QString("Registration:"));
    QCOMPARE(areas[3].toObject()["usedSpace"].toInt(), 1800 + 640 + 1024);
    const QJsonArray slots = json["slots"].toArray();
    QCOMPARE(slots.size(), 42);
    const QJsonObject tone3 = slots[3].toObject();
    QCOMPARE(tone3["slot"].toString(), QString("tone:3"));
    QCOMPARE(tone3["name"].toString(), QString("Warm Pad"));
    QCOMPARE(tone3["folder"].toString(), QString(""));
    const QJsonObject reg = slots[20 + 4 * 1 + 2].toObject();
    QCOMPARE(reg["slot"].toString(), QString("reg:1.2"));
    QCOMPARE(reg["folder"].toString(), QString("Bank1"));
    QCOMPARE(reg["name"].toString(), QString("Preset13"));
    const QJsonObject song1 = slots[37].toObject();
    QCOMPARE(song1["slot"].toString(), QString("song:1"));
    QCOMPARE(song1["name"].toString(), QString("Song 1"));
    QCOMPARE(song1["present"].toBool(), false);
    QCOMPARE(slots[41].toObject()["name"].toString(), QString("User 3"));
}

void TestCliJack::importThenSendBackKeepsTheMemory() {
    auto sim = startSim({});  // paced like the real cable
    const Result imported = cli({"import", "tone:3", home_->path()}, sim.get());
    QVERIFY2(imported.exitCode == 0, imported.err.constData());
    const QString path = QString::fromUtf8(imported.out.trimmed());
    QCOMPARE(QFileInfo(path).fileName(), QString("TON_Warm Pad.nvb"));

    // Into another slot and back into the same one: the memory holds the same words.
    QCOMPARE(cli({"send", path, "tone:5"}, sim.get()).exitCode, 0);
    QCOMPARE(cli({"send", path, "tone:3"}, sim.get()).exitCode, 0);
    QTRY_VERIFY(QFile::exists(statePath()));
    const KeyboardMemory memory = state(*sim);
    QCOMPARE(memory.data({2, 0, 5}), KeyboardMemory::demo().data({2, 0, 3}));
    QCOMPARE(memory.data({2, 0, 3}), KeyboardMemory::demo().data({2, 0, 3}));

    const Result song = cli({"import", "song:0"}, sim.get());
    QCOMPARE(song.exitCode, 0);
    QCOMPARE(cli({"send", QString::fromUtf8(song.out.trimmed()), "song:1"}, sim.get()).exitCode, 0);
    QTRY_COMPARE(state(*sim).data({10, 0, 1}), KeyboardMemory::demo().data({10, 0, 0}));
}

void TestCliJack::deleteEmptiesASong() {
    auto sim = startSim();
    QCOMPARE(cli({"delete", "song:0"}, sim.get()).exitCode, 0);
    QTRY_VERIFY(QFile::exists(statePath()));
    QCOMPARE(state(*sim).size({10, 0, 0}), 0);
    const Result r = cli({"--quiet", "list", "--json"}, sim.get());
    QCOMPARE(QJsonDocument::fromJson(r.out)
                 .object()["slots"]
                 .toArray()[36]
                 .toObject()["name"]
                 .toString(),
             QString("Song 0"));
}

void TestCliJack::backupThenRestoreRoundTrip() {
    auto sim = startSim();
    QDir(home_->path()).mkdir("backup");
    const QString folder = home_->filePath("backup");
    Result r = cli({"backup", folder}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QStringList saved = QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(saved.size(), 10 + 10 + 16 + 1 + 2);
    QCOMPARE(saved.first(), "tone:0 " + QDir::toNativeSeparators(folder) + "/TON_Velvet  .nvb");
    // One file per saved slot, and the manifest.
    QCOMPARE(QDir(folder).entryList(QDir::Files).size(), saved.size() + 1);
    EkDataFile reg(DataType::NoType);
    NvbFileStream(QDir(folder).filePath("REG_Preset34.nvb"), NvbFileStream::OpenRead).read(reg);
    QCOMPARE(reg.words(), KeyboardMemory::demo().data({12, 3, 3}));

    // Empty a song slot, then put everything back.
    QCOMPARE(cli({"delete", "song:0"}, sim.get()).exitCode, 0);
    r = cli({"restore", folder}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QString::fromUtf8(r.out).split('\n', Qt::SkipEmptyParts), saved);
    r = cli({"import", "song:0", home_->path()}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    EkDataFile song(DataType::NoType);
    NvbFileStream(home_->filePath("SNG_Sunrise .nvb"), NvbFileStream::OpenRead).read(song);
    QCOMPARE(song.words(), KeyboardMemory::demo().data({10, 0, 0}));
}

// The keyboard's past over the MIDI stack: two sends to tone:2 leave its three items, each with
// how it was seen, under the keyboard's own identity on that stack; the keyboard as of a moment
// between the sends comes back (the middle item, byte for byte) as one undo step.
void TestCliJack::versionsOfASlotAndTheKeyboardAsOfATime() {
    auto sim = startSim();
    Result r = cli({"import", "tone:0", "tone:1", home_->path()}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QString velvet = home_->filePath("TON_Velvet  .nvb");
    const QString glass = home_->filePath("TON_Glass EP.nvb");
    const auto words = [](const QString& path) {
        EkDataFile item(DataType::NoType);
        NvbFileStream(path, NvbFileStream::OpenRead).read(item);
        return item.words();
    };
    int checks = 0;
    const auto tone2 = [&] {
        const QString folder = home_->filePath(QString("check%1").arg(++checks));
        QDir().mkpath(folder);
        const Result imported = cli({"import", "tone:2", folder}, sim.get());
        const QStringList made = QDir(folder).entryList(QDir::Files);
        return imported.exitCode == 0 && made.size() == 1 ? words(QDir(folder).filePath(made[0]))
                                                          : std::vector<std::uint16_t>();
    };
    r = cli({"send", glass, "tone:2"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QThread::msleep(2);
    const QString between = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
    QThread::msleep(2);
    r = cli({"send", velvet, "tone:2"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());

    r = cli({"--json", "versions", "tone:2"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QJsonObject shown = QJsonDocument::fromJson(r.out).object();
    QVERIFY2(shown["keyboard"].toString().startsWith("JACK ") ||
                 shown["keyboard"].toString().startsWith("ALSA "),
             qPrintable(shown["keyboard"].toString()));
    QStringList seen;
    for (const QJsonValue value : shown["versions"].toArray()) {
        seen << value.toObject()["name"].toString() + '|' + value.toObject()["how"].toString();
    }
    QCOMPARE(seen, (QStringList{"Velvet  |sent", "Glass EP|fetched", "Glass EP|sent",
                                "Brass Up|fetched"}));

    r = cli({"restore", "--as-of", between}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(tone2(), words(glass));
    r = cli({"undo"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(tone2(), words(velvet));
}

void TestCliJack::severalSlotsAtOnceAndLeanSingleSlots() {
    auto sim = startSim();
    const auto words = [](const QString& path) {
        EkDataFile item(DataType::NoType);
        NvbFileStream(path, NvbFileStream::OpenRead).read(item);
        return item.words();
    };
    const auto lines = [](const QByteArray& text) {
        return QString::fromUtf8(text).split('\n', Qt::SkipEmptyParts);
    };
    const KeyboardMemory demo = KeyboardMemory::demo();

    // One slot: the kind, the tone's size and name, then the data; never the whole listing
    // (its 143 request/answer pairs).
    const QString log = home_->filePath("import.log");
    Result r = cli({"--log", log, "import", "tone:3", home_->path()}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(words(QString::fromUtf8(r.out.trimmed())), demo.data({2, 0, 3}));
    QFile logFile(log);
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QStringList traffic = lines(logFile.readAll());
    logFile.close();
    // On a JACK graph the note of its period, then at most 12 messages.
    const int notes = onJackGraph() ? 1 : 0;
    QVERIFY2(traffic.size() <= notes + 12, qPrintable(traffic.join('\n')));
    if (onJackGraph()) {
        QVERIFY2(traffic.first().contains(" --   | ") && traffic.first().contains("period"),
                 qPrintable(traffic.first()));
    }
    QVERIFY(traffic[notes].contains("ParamRequest"));

    // Several: one line per saved slot, each file byte for byte; the empty one is reported
    // last and the others are kept.
    QDir(home_->path()).mkdir("several");
    const QString several = home_->filePath("several");
    r = cli({"import", "tone:0", "rhythm:1", "reg:1.2", "song:0", several}, sim.get());
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.lastErrorLine(), QString("The slot rhythm:1 is empty: there is nothing to import."));
    const QStringList saved = lines(r.out);
    QCOMPARE(saved.size(), 3);
    QCOMPARE(saved[0], "tone:0 " + several + "/TON_Velvet  .nvb");
    QCOMPARE(words(several + "/TON_Velvet  .nvb"), demo.data({2, 0, 0}));
    QCOMPARE(words(several + "/REG_Preset13.nvb"), demo.data({12, 1, 2}));
    QCOMPARE(words(several + "/SNG_Sunrise .nvb"), demo.data({10, 0, 0}));

    // All: every slot that holds data, and nothing else in the folder.
    QDir(home_->path()).mkdir("all");
    r = cli({"import", "all", home_->filePath("all")}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(lines(r.out).size(), 10 + 10 + 16 + 1 + 2);
    QCOMPARE(QDir(home_->filePath("all")).entryList(QDir::Files).size(), 39);

    // Send and delete of one slot ask only for it too; the keyboard holds what was sent.
    QVERIFY(QFile::remove(log));
    r = cli({"--log", log, "send", several + "/SNG_Sunrise .nvb", "song:1"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QVERIFY(logFile.open(QIODevice::ReadOnly));
    const QStringList sendTraffic = lines(logFile.readAll());
    logFile.close();
    // The song's 15 blocks and their answers, and a few questions: far below a listing's 286.
    QVERIFY2(sendTraffic.size() < 60, qPrintable(QString::number(sendTraffic.size())));
    QCOMPARE(cli({"delete", "song:0"}, sim.get()).exitCode, 0);
    QTRY_COMPARE(state(*sim).data({10, 0, 1}), demo.data({10, 0, 0}));
    QCOMPARE(state(*sim).size({10, 0, 0}), 0);
}

// Another program holds the keyboard (the lock is per process, so this needs a second one):
// the command fails at once, and --json says so as one object too.
void TestCliJack::aKeyboardHeldElsewhereIsOneJsonFailure() {
    // A long send to the built-in keyboard of another home (another user's test run beside
    // this one, with its own memory file) is at work on another keyboard: it blocks nobody here.
    QTemporaryDir otherHome;
    EkDataFile song(DataType::Song);
    song.setSize(8000);
    song.words() = pattern(4000, 9);
    NvbFileStream(otherHome.filePath("long.nvb"), NvbFileStream::Create).write(song);
    QProcess elsewhere;
    QProcessEnvironment otherEnvironment = environment();
    otherEnvironment.insert("XDG_CONFIG_HOME", otherHome.filePath("config"));
    otherEnvironment.insert("XDG_DATA_HOME", otherHome.filePath("data"));
    elsewhere.setProcessEnvironment(otherEnvironment);
    elsewhere.start(NVBMAN_CLI_PATH, {"--verbose", "--in", "built-in", "--out", "built-in",
                                      "send", otherHome.filePath("long.nvb"), "song:1"});
    QByteArray said;
    QVERIFY2(waitForMidiLog(elsewhere, said, "| DataBlock", 2), said.constData());
    const Result free = cli({"--quiet", "--in", "built-in", "--out", "built-in", "list"});
    QVERIFY2(free.exitCode == 0, free.err.constData());
    QVERIFY(elsewhere.waitForFinished(60000));
    QCOMPARE(elsewhere.exitCode(), 0);

    // The same memory file is the same keyboard.
    platform::FileLock other(platform::KeyboardSession::lockPath(
        platform::sharedDeviceName(kbdsim::BuiltInKeyboard::kDeviceName,
                                   home_->filePath("data/NvbMan/builtin-keyboard.json"))));
    QCOMPARE(other.tryLock(), platform::FileLock::State::Locked);
    const Result r = cli({"--json", "--quiet", "--in", "built-in", "--out", "built-in", "list"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out.count('\n'), 1);
    const QJsonObject error = QJsonDocument::fromJson(r.out).object()["error"].toObject();
    QCOMPARE(error["code"].toString(), QString("busy"));
    QVERIFY2(error["text"].toString().contains("is busy"), r.out.constData());
    QVERIFY2(r.err.trimmed().endsWith(error["text"].toString().toUtf8()), r.err.constData());
}

void TestCliJack::unsafeKeyboardNameStaysInTheFolder() {
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData({10, 0, 1}, pattern(100, 3));
    memory.setName({10, 0, 1}, std::string("../a\\b:\x01", 8));
    memory.save(statePath());
    auto sim = startSim();
    QDir(home_->path()).mkdir("in");
    const QString folder = home_->filePath("in");
    const Result r = cli({"import", "song:1", folder}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList{"SNG_.._a_b__.nvb"});
    QCOMPARE(QString::fromUtf8(r.out.trimmed()), QDir(folder).filePath("SNG_.._a_b__.nvb"));
}

void TestCliJack::ctrlCStopsASendAtTheNextBlock_data() {
    QTest::addColumn<QString>("source");  // imported first, then sent into `target`
    QTest::addColumn<QString>("target");
    // To the command-line tool; SIGSTOP and SIGKILL: to the keyboard (which, killed, comes back
    // with the memory it had filed).
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("restore");  // sent back by a restore of a one-item backup
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("into an empty rhythm slot") << "rhythm:0"
                                               << "rhythm:1" << SIGINT << false << "Cancelled";
    // A send deletes the old song before its blocks: the user is told the slot is now empty,
    // however the stop came.
    const QString emptied = "Cancelled (the song slot is now empty)";
    QTest::newRow("over a song") << "song:0"
                                 << "song:0" << SIGINT << false << emptied;
    QTest::newRow("over a song, SIGTERM") << "song:0"
                                          << "song:0" << SIGTERM << false << emptied;
    QTest::newRow("over a song, SIGHUP") << "song:0"
                                         << "song:0" << SIGHUP << false << emptied;
    // The keyboard stops answering (a cable pulled): a time-out, and the same notice.
    QTest::newRow("over a song, the keyboard stops")
        << "song:0"
        << "song:0" << SIGSTOP << false
        << "The song slot is now empty: its old song was deleted before the new one was sent.";
    QTest::newRow("over a song, the keyboard is killed")
        << "song:0"
        << "song:0" << SIGKILL << false
        << "The song slot is now empty: its old song was deleted before the new one was sent.";
    QTest::newRow("restore over a song") << "song:0"
                                         << "song:0" << SIGINT << true << emptied;
}

void TestCliJack::ctrlCStopsASendAtTheNextBlock() {
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(int, signal);
    QFETCH(bool, restore);
    QFETCH(QString, lastLine);
    // Each answer takes 30 ms, so the command is still waiting when the signal comes.
    auto sim = startSim({"--no-pacing", "--processing-delay", "30", "--log"});
    QVERIFY(sim->isReady());
    const Result imported = cli({"--quiet", "import", source, home_->path()}, sim.get());
    QVERIFY2(imported.exitCode == 0, imported.err.constData());
    const QString file = QString::fromUtf8(imported.out.trimmed());
    // The simulator starts from its demo memory and files its state at the first change.
    const KeyboardMemory before = KeyboardMemory::demo();
    // The import's traffic, to the last line, is no part of the send's.
    while (sim->process().waitForReadyRead(300)) {
        sim->process().readAllStandardOutput();
    }

    QProcess send;
    if (restore) {
        // A backup of another song than the slot holds: a restore sends only what differs.
        QFile changed(file);
        QVERIFY(changed.open(QIODevice::ReadWrite));
        QVERIFY(changed.seek(changed.size() - 1));
        QVERIFY(changed.putChar('\x2A'));
        changed.close();
        QJsonObject item{{"slot", target},
                         {"file", QFileInfo(file).fileName()},
                         {"type", DataType::Song},
                         {"size", 1800},
                         {"name", "Sunrise "}};
        QFile manifest(home_->filePath("nvbman-backup.json"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write(
            QJsonDocument(
                QJsonObject{{"format", 1}, {"model", "MLS-850"}, {"items", QJsonArray{item}}})
                .toJson());
        manifest.close();
        startCli(send, {"--quiet", "restore", home_->path()}, sim.get());
    } else {
        startCli(send, {"--quiet", "send", file, target}, sim.get());
    }
    // The first data block the keyboard receives: "in  F0 44 11 01 7F 4x" (type 4).
    QByteArray log;
    QElapsedTimer clock;
    clock.start();
    while (!log.contains("in  F0 44 11 01 7F 4") && clock.elapsed() < 30000 &&
           send.state() != QProcess::NotRunning) {
        sim->process().waitForReadyRead(5);
        log += sim->process().readAllStandardOutput();
    }
    QVERIFY2(log.contains("in  F0 44 11 01 7F 4"), log.constData());
    const auto simPid = pid_t(sim->process().processId());
    const bool toKeyboard = signal == SIGSTOP || signal == SIGKILL;
    ::kill(toKeyboard ? simPid : pid_t(send.processId()), signal);
    const bool finished = send.waitForFinished(20000);
    if (signal == SIGSTOP) {
        ::kill(simPid, SIGCONT);
    }
    QVERIFY(finished);
    QCOMPARE(send.exitCode(), 1);
    const QList<QByteArray> lines = send.readAllStandardError().trimmed().split('\n');
    const bool keptSong = !restore && target.startsWith("song");
    // Over a song, the last line says which kept copy holds the old one.
    QCOMPARE(QString::fromUtf8(lines.value(lines.size() - (keptSong ? 2 : 1))), lastLine);
    if (keptSong) {
        QVERIFY2(lines.last().contains("was kept as copy 1"), lines.last().constData());
    }
    if (restore) {
        QVERIFY2(lines.value(lines.size() - 2).contains("what it had replaced is kept as copy 1"),
                 lines.value(lines.size() - 2).constData());
    }
    QTest::qWait(300);
    log += sim->process().readAllStandardOutput();
    // No status went out from the program after its first block (in a send that is only the
    // End), so the keyboard kept nothing of the stopped transfer. (Before it, the copy of the
    // old song was fetched, with its Acks.)
    QVERIFY2(!log.mid(log.indexOf("in  F0 44 11 01 7F 4")).contains("in  F0 44 11 01 7F 7"),
             log.constData());
    const KeyboardMemory after = QFile::exists(statePath()) ? state(*sim) : before;
    const kbdsim::SlotRef ref{
        std::uint16_t(target.startsWith("song") ? DataType::Song : DataType::Rhythm), 0,
        target.section(':', 1).toInt()};
    QVERIFY(after.data(ref).empty());
    if (target != source) {
        QCOMPARE(after.toJson(), before.toJson());
    }
    if (signal == SIGKILL) {
        // Switched on again, with the memory it had filed.
        sim->process().waitForFinished(5000);
        QCOMPARE(sim->process().state(), QProcess::NotRunning);
        sim = startSim({"--no-pacing"});
        QVERIFY(sim->isReady());
    }
    if (keptSong || restore) {
        // The kept copy puts the keyboard back as it was.
        const Result back = cli({"--quiet", "put-back", "1"}, sim.get());
        QVERIFY2(back.exitCode == 0, back.err.constData());
        QTRY_COMPARE(state(*sim).toJson(), before.toJson());
    }
}

void TestCliJack::twoProgramsNeverShareTheKeyboard() {
    // Two songs of 6,000 bytes; every answer takes 20 ms, so the first import is still running
    // when the second program starts.
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData({10, 0, 0}, pattern(3000, 1));
    memory.setData({10, 0, 1}, pattern(3000, 2));
    memory.save(statePath());
    auto sim = startSim({"--no-pacing", "--processing-delay", "20"});
    QVERIFY(sim->isReady());
    for (const char* folder : {"A", "B"}) {
        QVERIFY(QDir(home_->path()).mkdir(folder));
    }
    const QStringList outputs = platform::MidiService::instance().outputDevices();
    const auto device = std::find_if(outputs.begin(), outputs.end(), [&](const QString& name) {
        return name.contains(sim->name());
    });
    QVERIFY(device != outputs.end());
    const QString lock = platform::KeyboardSession::lockPath(*device);
    // What a crash or a hand may leave in the lock file blocks nobody.
    QFile garbage(lock);
    QVERIFY(garbage.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbage.write("\xff\xfe not a lock\n");
    garbage.close();
    QProcess first;
    startCli(first, {"--quiet", "import", "song:0", home_->filePath("A")}, sim.get());
    // The first program holds the keyboard once it holds the lock.
    QTRY_VERIFY_WITH_TIMEOUT(platform::FileLock::isHeld(lock), 30000);
    const Result second = cli({"--quiet", "import", "song:1", home_->filePath("B")}, sim.get());
    QCOMPARE(second.exitCode, 1);
    QVERIFY2(second.lastErrorLine().contains("is busy with another program"),
             second.err.constData());
    QVERIFY(first.waitForFinished(60000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());
    QVERIFY(QDir(home_->filePath("B")).isEmpty());
    // Once the first has finished the keyboard is free, and each file holds its own song.
    const Result again = cli({"--quiet", "import", "song:1", home_->filePath("B")}, sim.get());
    QVERIFY2(again.exitCode == 0, again.err.constData());
    for (const auto& [folder, seed] : {std::pair{"A", 1}, std::pair{"B", 2}}) {
        const QStringList files = QDir(home_->filePath(folder)).entryList(QDir::Files);
        QCOMPARE(files.size(), 1);
        EkDataFile song(DataType::NoType);
        NvbFileStream(QDir(home_->filePath(folder)).filePath(files.first()),
                      NvbFileStream::OpenRead)
            .read(song);
        QCOMPARE(song.words(), pattern(3000, seed));
    }
}

void TestCliJack::builtInKeyboardNeverLosesItsMemorySilently_data() {
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("text");  // what the failing command says
    QTest::newRow("truncated state file") << "truncated"
                                          << "could not read its memory";
    QTest::newRow("state that cannot be saved") << "unwritable"
                                                << "could not save its memory";
    QTest::newRow("another program at work") << "busy"
                                             << "is busy with another program";
}

void TestCliJack::builtInKeyboardNeverLosesItsMemorySilently() {
    QFETCH(QString, damage);
    QFETCH(QString, text);
    // The built-in keyboard's own state is at test here, not the kept copies.
    const QStringList builtIn{"--quiet", "--no-safety-copy", "--in", "built-in",
                              "--out",   "built-in"};
    const QString folder = home_->filePath("data/NvbMan");
    const QString state = folder + "/builtin-keyboard.json";
    QByteArray damaged;
    QProcess other;
    if (damage == "truncated") {
        QVERIFY(QDir().mkpath(folder));
        KeyboardMemory::demo().save(state);
        QFile file(state);
        QVERIFY(file.open(QIODevice::ReadWrite));
        damaged = file.read(file.size() / 2);
        file.resize(damaged.size());
    } else if (damage == "unwritable") {
        // Where the state would go there is a file: nothing can be saved.
        QVERIFY(QDir().mkpath(home_->filePath("data")));
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    } else {
        // A long send of another program holds the keyboard.
        EkDataFile song(DataType::Song);
        song.setSize(8000);
        song.words() = pattern(4000, 9);
        NvbFileStream(home_->filePath("long.nvb"), NvbFileStream::Create).write(song);
        startCli(other,
                 builtIn + QStringList{"--verbose", "send", home_->filePath("long.nvb"), "song:1"});
        // Its blocks are on the way.
        QByteArray said;
        QVERIFY2(waitForMidiLog(other, said, "| DataBlock", 2), said.constData());
    }
    const Result r = cli(builtIn + QStringList{"delete", "rhythm:0"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.lastErrorLine().contains(text), r.err.constData());
    if (damage == "busy") {
        QVERIFY(other.waitForFinished(60000));
        QCOMPARE(other.exitCode(), 0);
    }
    // Nothing was lost: the damaged file is kept aside, the refused delete changed nothing, and
    // the next command works on what the keyboard really holds.
    if (damage == "truncated") {
        const QStringList aside =
            QDir(folder).entryList({"builtin-keyboard.json.damaged-*"}, QDir::Files);
        QCOMPARE(aside.size(), 1);
        QFile kept(QDir(folder).filePath(aside.first()));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), damaged);
        QVERIFY(r.lastErrorLine().contains(aside.first()));
    }
    const Result list = cli(builtIn + QStringList{"list", "--json"});
    QVERIFY2(list.exitCode == 0, list.err.constData());
    const QJsonArray slots = QJsonDocument::fromJson(list.out).object()["slots"].toArray();
    QCOMPARE(slots[38].toObject()["present"].toBool(), true);  // rhythm:0 is still there
    QCOMPARE(slots[37].toObject()["size"].toInt(), damage == "busy" ? 8000 : 0);
}

void TestCliJack::builtInKeyboardKeepsWhatASendEndsWith_data() {
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("into");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("bank");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("sourceNumber");
    QTest::addColumn<bool>("saveFails");
    QTest::newRow("tone") << "tone:3"
                          << "tone:1" << int(DataType::Tone) << 0 << 1 << 3 << false;
    QTest::newRow("DSP setting") << "dsp:2"
                                 << "dsp:7" << int(DataType::DSP) << 0 << 7 << 2 << false;
    QTest::newRow("registration") << "reg:1.2"
                                  << "reg:1.3" << int(DataType::Registration) << 1 << 3 << 2
                                  << false;
    QTest::newRow("song") << "song:0"
                          << "song:1" << int(DataType::Song) << 0 << 1 << 0 << false;
    QTest::newRow("rhythm") << "rhythm:0"
                            << "rhythm:3" << int(DataType::Rhythm) << 0 << 3 << 0 << false;
    QTest::newRow("tone that cannot be saved")
        << "tone:3"
        << "tone:1" << int(DataType::Tone) << 0 << 1 << 3 << true;
}

void TestCliJack::builtInKeyboardKeepsWhatASendEndsWith() {
    QFETCH(QString, from);
    QFETCH(QString, into);
    QFETCH(int, type);
    QFETCH(int, bank);
    QFETCH(int, number);
    QFETCH(int, sourceNumber);
    QFETCH(bool, saveFails);
    // A tone's last message (its End) is still on the simulated cable when the send's own work
    // is done: the command must not end before the keyboard has it and has saved it.
    const QStringList builtIn{"--quiet", "--no-safety-copy", "--in", "built-in",
                              "--out",   "built-in"};
    if (saveFails) {
        // A file where the data folder would be: the save fails, and so must the send (the
        // versions of what the import saw cannot be recorded either: said, and passed over).
        QVERIFY(QDir().mkpath(home_->filePath("data")));
        QFile blocker(home_->filePath("data/NvbMan"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const Result imported = cli(builtIn + QStringList{"import", from, home_->path()});
    QVERIFY2(imported.exitCode == 0, imported.err.constData());
    QCOMPARE(imported.err.contains("the keyboard's past was not recorded"), saveFails);
    const QString state = home_->filePath("data/NvbMan/builtin-keyboard.json");
    // Nothing changed yet: the built-in keyboard holds its first content, and no file.
    QVERIFY(!QFile::exists(state));
    const KeyboardMemory before = KeyboardMemory::demo();
    const Result sent =
        cli(builtIn + QStringList{"send", QString::fromUtf8(imported.out.trimmed()), into});
    const kbdsim::SlotRef target{std::uint16_t(type), bank, number};
    const kbdsim::SlotRef source{std::uint16_t(type), bank, sourceNumber};
    if (saveFails) {
        QCOMPARE(sent.exitCode, 1);
        QVERIFY2(sent.lastErrorLine().contains("could not save its memory"), sent.err.constData());
        return;
    }
    QVERIFY2(sent.exitCode == 0, sent.err.constData());
    // No waiting: once the command has ended, the memory is on disk.
    QVERIFY2(QFile::exists(state), "the send's change was never saved");
    const KeyboardMemory after = KeyboardMemory::load(state);
    QCOMPARE(after.data(target), before.data(source));
    QVERIFY(after.data(target) != before.data(target));
}

void TestCliJack::hostileInputsFailPlainlyAndAtOnce_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("text");  // a part of the last line on stderr
    QTest::newRow("a FIFO sent") << "fifo"
                                 << "it is not a regular file";
    QTest::newRow("a FIFO in a backup") << "fifo in manifest"
                                        << "it is not a regular file";
    QTest::newRow("a file-size limit under the backup") << "ulimit"
                                                        << "Nothing of the backup was kept";
}

void TestCliJack::hostileInputsFailPlainlyAndAtOnce() {
    QFETCH(QString, input);
    QFETCH(QString, text);
    const QStringList builtIn{"--quiet", "--in", "built-in", "--out", "built-in"};
    const QString fifo = home_->filePath("song.nvb");
    QCOMPARE(::mkfifo(qPrintable(fifo), 0600), 0);
    QProcess process;
    process.setProcessEnvironment(environment());
    process.setWorkingDirectory(home_->path());
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    if (input == "fifo") {
        process.start(NVBMAN_CLI_PATH, builtIn + QStringList{"send", fifo, "song:0"});
    } else if (input == "fifo in manifest") {
        QFile manifest(home_->filePath("nvbman-backup.json"));
        QVERIFY(manifest.open(QIODevice::WriteOnly));
        manifest.write(R"({"format": 1, "model": "MLS-850", "items": [{"slot": "song:0",
            "file": "song.nvb", "type": 10, "size": 1800, "name": "Sunrise "}]})");
        manifest.close();
        process.start(NVBMAN_CLI_PATH, builtIn + QStringList{"restore", home_->path()});
    } else {
        // 4 blocks of 512 bytes: room for every item, none for the manifest.
        process.start("/bin/sh",
                      QStringList{"-c", "ulimit -f 4; exec \"$0\" \"$@\"", NVBMAN_CLI_PATH} +
                          builtIn + QStringList{"backup", home_->filePath("backup")});
    }
    QVERIFY2(process.waitForFinished(60000), "the command hung");
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 1);
    const QList<QByteArray> lines = process.readAllStandardError().trimmed().split('\n');
    QVERIFY2(lines.last().contains(text.toUtf8()), lines.join('\n').constData());
    // Nothing half-made is left behind.
    QVERIFY(QDir(home_->filePath("backup")).isEmpty());
}

void TestCliJack::backupsAreCheckedAgainstTheKeyboardAndThemselves() {
    auto sim = startSim();
    QVERIFY(sim->isReady());
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    QDir folder(home_->filePath("backup"));
    Result r = cli({"--quiet", "backup", folder.path()}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());

    // The manifest says when, by what, and each file's SHA-256.
    QFile manifestFile(folder.filePath("nvbman-backup.json"));
    QVERIFY(manifestFile.open(QIODevice::ReadOnly));
    const QJsonObject manifest = QJsonDocument::fromJson(manifestFile.readAll()).object();
    QCOMPARE(manifest["format"].toInt(), 2);
    QVERIFY(QDateTime::fromString(manifest["time"].toString(), Qt::ISODate).isValid());
    QVERIFY(manifest["program"].toString().startsWith("NvbMan "));
    const QJsonArray items = manifest["items"].toArray();
    QCOMPARE(items.size(), 39);
    for (const QJsonValue& item : items) {
        QFile file(folder.filePath(item["file"].toString()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(item["sha256"].toString(),
                 QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    }

    r = cli({"--quiet", "verify", folder.path()}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    const QList<QByteArray> same = r.out.trimmed().split('\n');
    QCOMPARE(same.size(), 39);
    QVERIFY(std::all_of(same.begin(), same.end(),
                        [](const QByteArray& line) { return line.contains(" identical "); }));

    // One byte of a file changed, a song deleted on the keyboard, a file gone.
    QFile tone(folder.filePath("TON_Velvet  .nvb"));
    QVERIFY(tone.open(QIODevice::ReadWrite));
    QByteArray bytes = tone.readAll();
    bytes[bytes.size() - 1] = char(bytes.back() ^ 0x01);
    QVERIFY(tone.seek(0));
    QCOMPARE(tone.write(bytes), bytes.size());
    tone.close();
    QCOMPARE(cli({"--quiet", "--no-safety-copy", "delete", "song:0"}, sim.get()).exitCode, 0);
    QVERIFY(folder.remove("RHY_Shuffle .nvb"));
    r = cli({"--quiet", "verify", folder.path()}, sim.get());
    QCOMPARE(r.exitCode, 1);
    const QString out = QString::fromUtf8(r.out);
    QVERIFY2(out.contains("tone:0 different " + folder.filePath("TON_Velvet  .nvb")), r.out);
    QVERIFY2(out.contains("song:0 missing-on-keyboard "), r.out);
    QVERIFY2(out.contains("rhythm:2 missing-in-folder "), r.out);
    QCOMPARE(out.count(" identical "), 36);
    QVERIFY2(r.lastErrorLine().contains("3 of 39 slots differ"), r.err.constData());

    // A restore sends what still matches the manifest and names the file that does not.
    r = cli({"--quiet", "restore", folder.path()}, sim.get());
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("tone:0 not restored: ") && r.err.contains("has changed since the "
                                                                       "backup was made"),
             r.err.constData());
    QVERIFY2(r.out.contains("song:0 "), r.out.constData());
    QCOMPARE(state(*sim).data({10, 0, 0}), KeyboardMemory::demo().data({10, 0, 0}));
    QCOMPARE(state(*sim).data({2, 0, 0}), KeyboardMemory::demo().data({2, 0, 0}));
}

void TestCliJack::sendVerifyCatchesAKeyboardThatKeepsOtherData_data() {
    QTest::addColumn<bool>("keepsWrong");
    QTest::newRow("a keyboard that keeps what it got") << false;
    QTest::newRow("a keyboard that keeps something else") << true;
}

void TestCliJack::sendVerifyCatchesAKeyboardThatKeepsOtherData() {
    QFETCH(bool, keepsWrong);
    // A file of the built-in keyboard's tone 3, sent into tone 0 of the software keyboard.
    const QStringList builtIn{"--quiet", "--in", "built-in", "--out", "built-in"};
    const Result imported = cli(builtIn + QStringList{"import", "tone:3", home_->path()});
    QVERIFY2(imported.exitCode == 0, imported.err.constData());
    const QString file = QString::fromUtf8(imported.out.trimmed());
    auto sim = startSim(keepsWrong ? QStringList{"--no-pacing", "--keep-wrong"}
                                   : QStringList{"--no-pacing"});
    QVERIFY(sim->isReady());
    const Result sent = cli({"--quiet", "send", "--verify", file, "tone:0"}, sim.get());
    QCOMPARE(sent.exitCode, keepsWrong ? 1 : 0);
    if (keepsWrong) {
        QCOMPARE(sent.lastErrorLine(), "The keyboard holds different data than was sent.");
    }
    // Without --verify the same send is taken on trust.
    QCOMPARE(cli({"--quiet", "send", file, "tone:1"}, sim.get()).exitCode, 0);
}

void TestCliJack::verboseSaysWhenAnAnswerWasLost() {
    // The keyboard never sends its fourth answer: the listing asks once more and goes on.
    auto sim = startSim({"--no-pacing", "--drop-answer", "4"});
    QVERIFY(sim->isReady());
    const QString logPath = home_->filePath("midi.log");
    Result r = cli({"--quiet", "--verbose", "--log", logPath, "list"}, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    QCOMPARE(r.err.count("a request's answer was lost; asking again"), 1);
    QCOMPARE(r.out.trimmed().split('\n').size(), 42 + 4);
    // Every message, decoded, on stderr and in the log file alike: the lost answer shows as a
    // request sent twice with one answer.
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> logged = log.readAll().trimmed().split('\n');
    // First the period the messages travel at (on a JACK graph), then the first request.
    const int notes = onJackGraph() ? 1 : 0;
    if (onJackGraph()) {
        QVERIFY2(logged.first().contains(" --   | ") && logged.first().contains(": period "),
                 logged.first().constData());
    }
    QVERIFY2(logged[notes].contains(" out F0 44 11 01 7F 10 00 0D 00 00 00 F7 | ParamRequest "
                                    "area 0 addr 0 cmd 0 param 0"),
             logged[notes].constData());
    int requests = 0;
    int answers = 0;
    for (const QByteArray& line : logged) {
        QVERIFY2(r.err.contains("nvbman-cli: " + line), line.constData());
        requests += line.contains("| ParamRequest") ? 1 : 0;
        answers += line.contains("| ParamData") ? 1 : 0;
    }
    QCOMPARE(requests, answers + 1);
    // Without --verbose the retry is silent.
    sim = startSim({"--no-pacing", "--drop-answer", "4"});
    r = cli({"--quiet", "list"}, sim.get());
    QVERIFY2(r.exitCode == 0 && r.err.isEmpty(), r.err.constData());
}

void TestCliJack::aLostAnswerInASingleTransferIsTriedAgain_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("dropped");  // which answer of the command never comes (from 1)
    // The first answers are the keyboard's kind and the slot's requests, asked again by
    // themselves; later ones are blocks and Acks of the transfer, which can only start over.
    for (const int dropped : {2, 6, 9, 12}) {
        QTest::addRow("import, answer %d lost", dropped) << "import" << dropped;
        QTest::addRow("send, answer %d lost", dropped) << "send" << dropped;
    }
}

void TestCliJack::aLostAnswerInASingleTransferIsTriedAgain() {
    QFETCH(QString, command);
    QFETCH(int, dropped);
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData({DataType::Song, 0, 0}, pattern(1000, 3));
    memory.setData({DataType::Song, 0, 1}, pattern(600, 4));
    memory.save(statePath());
    // The song to send, made beforehand from the keyboard's other song.
    EkDataFile song(DataType::Song);
    song.setSize(2000);
    song.words() = pattern(1000, 3);
    const QString file = home_->filePath("song.nvb");
    NvbFileStream(file, NvbFileStream::Create).write(song);
    auto sim = startSim({"--no-pacing", "--drop-answer", QString::number(dropped)});
    QVERIFY(sim->isReady());
    const QStringList args = command == "import" ? QStringList{"import", "song:0", home_->path()}
                                                 : QStringList{"send", file, "song:1"};
    const Result r = cli(QStringList{"--quiet", "--verbose", "--no-safety-copy"} + args, sim.get());
    QVERIFY2(r.exitCode == 0, r.err.constData());
    if (command == "import") {
        EkDataFile imported(DataType::NoType);
        NvbFileStream(QString::fromUtf8(r.out.trimmed()), NvbFileStream::OpenRead).read(imported);
        QCOMPARE(imported.words(), pattern(1000, 3));
    } else {
        QTRY_COMPARE(state(*sim).data({DataType::Song, 0, 1}), pattern(1000, 3));
    }
    // Said on --verbose: a request asked again, or the item tried again from its start.
    QVERIFY2(
        r.err.contains("a request's answer was lost; asking again") ||
            (r.err.contains("song:") && r.err.contains("trying the item again from its start")),
        r.err.constData());
}

void TestCliJack::findNamesThePairAKeyboardAnswersOn() {
    {
        auto sim = startSim({"--no-pacing"});
        QVERIFY(sim->isReady());
        const Result found = cli({"find"});
        QVERIFY2(found.exitCode == 0, found.err.constData());
        const QList<QByteArray> lines = found.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("in ") && lines[0].endsWith(":" + sim->name().toUtf8()),
                 found.out.constData());
        QVERIFY2(lines[1].startsWith("out ") && lines[1].endsWith(":" + sim->name().toUtf8()),
                 found.out.constData());
    }
    // Without it nothing answers: the built-in keyboard is not taken for the instrument.
    const Result none = cli({"find"});
    QCOMPARE(none.exitCode, 1);
    QCOMPARE(none.lastErrorLine(), "No MLS-850 answered on any pair of MIDI devices.");
}

void TestCliJack::frozenKeyboardStopsAJobInBoundedTime_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("failed");  // what the stderr line of an item that failed says
    QTest::newRow("backup") << "backup"
                            << "not saved";
    QTest::newRow("restore") << "restore"
                             << "not restored";
}

void TestCliJack::frozenKeyboardStopsAJobInBoundedTime() {
    QFETCH(QString, command);
    QFETCH(QString, failed);
    // A stopped JACK client freezes the whole server: it blocks writing to that client, and
    // every connect, disconnect and close of every other program waits behind it.
    QVERIFY(QDir(home_->path()).mkdir("backup"));
    if (command == "restore") {
        // The built-in keyboard holds the same demo content.
        const Result saved = cli({"--quiet", "--in", "built-in", "--out", "built-in", "backup",
                                  home_->filePath("backup")});
        QVERIFY2(saved.exitCode == 0, saved.err.constData());
    }
    auto sim = startSim({});
    QVERIFY(sim->isReady());
    QProcess backup;
    startCli(backup, {"--quiet", "--verbose", command, home_->filePath("backup")}, sim.get());
    // The keyboard freezes once the job is under way: its second item has been asked for (the
    // MIDI log on stderr says so). However slow the machine, the listing is over by then.
    QByteArray err;
    QVERIFY2(waitForMidiLog(backup, err, "| DataRequest", 2), err.constData());
    const auto simPid = static_cast<pid_t>(sim->process().processId());
    QCOMPARE(::kill(simPid, SIGSTOP), 0);
    QElapsedTimer stopped;
    stopped.start();
    // A time-out, one retry that meets the frozen server, one bounded server request: seconds.
    // Unbounded, each remaining slot costs the server's own time-outs (40 s and more).
    const bool finished = backup.waitForFinished(30000);
    ::kill(simPid, SIGCONT);
    QVERIFY2(finished, "the job hung on the stopped keyboard");
    qInfo() << command << "ended" << stopped.elapsed() << "ms after the keyboard stopped";
    QCOMPARE(backup.exitCode(), 1);
    err += backup.readAllStandardError();
    if (command == "backup") {
        // A backup of part of the keyboard is no backup: nothing of it is kept.
        QVERIFY2(err.contains("The keyboard stopped answering after") &&
                     err.contains("Nothing of the backup was kept"),
                 err.constData());
        QCOMPARE(QDir(home_->filePath("backup"))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    } else {
        // The item under way failed, the rest was not tried, and each is named.
        QVERIFY2(
            err.contains(failed.toUtf8() + ": MIDI Timeout") || err.contains("does not answer"),
            err.constData());
        QVERIFY2(err.contains("rhythm:2 " + failed.toUtf8() + ": Not tried"), err.constData());
    }
    // Once the keyboard runs again, so does everything else.
    const Result list = cli({"--quiet", "list"}, sim.get());
    QVERIFY2(list.exitCode == 0, list.err.constData());
}

void TestCliJack::deletedItemsComeBack_data() {
    QTest::addColumn<QString>("slot");
    QTest::addColumn<bool>("storeWritable");
    QTest::newRow("a song") << "song:0" << true;
    QTest::newRow("a rhythm") << "rhythm:0" << true;
    QTest::newRow("no room for the copy") << "song:0" << false;
}

void TestCliJack::deletedItemsComeBack() {
    QFETCH(QString, slot);
    QFETCH(bool, storeWritable);
    const QStringList builtIn{"--quiet", "--in", "built-in", "--out", "built-in"};
    const QString state = home_->filePath("data/NvbMan/builtin-keyboard.json");
    QVERIFY(QDir().mkpath(home_->filePath("data/NvbMan")));
    KeyboardMemory::demo().save(state);
    if (!storeWritable) {
        // Where the copies go there is a file.
        QFile blocker(home_->filePath("data/NvbMan/replaced"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    const Result deleted = cli(builtIn + QStringList{"delete", slot});
    if (!storeWritable) {
        // No copy, no delete.
        QCOMPARE(deleted.exitCode, 1);
        QCOMPARE(KeyboardMemory::load(state).toJson(), KeyboardMemory::demo().toJson());
        return;
    }
    QVERIFY2(deleted.exitCode == 0, deleted.err.constData());
    QVERIFY(KeyboardMemory::load(state).toJson() != KeyboardMemory::demo().toJson());
    const Result listed = cli({"replaced", "--json"});
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    const QJsonArray items = QJsonDocument::fromJson(listed.out).object()["items"].toArray();
    QCOMPARE(items.size(), 1);
    const QJsonObject copy = items[0].toObject();
    QCOMPARE(copy["slot"].toString(), slot);
    QCOMPARE(copy["why"].toString(), QString("delete"));
    QCOMPARE(copy["sha256"].toString().size(), 64);
    QVERIFY(QFile::exists(copy["file"].toString()));
    const Result back = cli(builtIn + QStringList{"put-back", QString::number(copy["id"].toInt())});
    QVERIFY2(back.exitCode == 0, back.err.constData());
    QCOMPARE(KeyboardMemory::load(state).toJson(), KeyboardMemory::demo().toJson());
    // A copy changed since it was kept is not sent.
    QFile file(copy["file"].toString());
    QVERIFY(file.open(QIODevice::Append));
    file.write("x");
    file.close();
    const Result changed =
        cli(builtIn + QStringList{"put-back", QString::number(copy["id"].toInt())});
    QCOMPARE(changed.exitCode, 1);
    QVERIFY2(changed.lastErrorLine().contains("was changed since it was kept"),
             changed.err.constData());
}

void TestCliJack::organisedInPlaceAndUndone_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::newRow("paced like the cable") << QStringList{};
    QTest::newRow("answering at once") << QStringList{"--no-pacing"};
}

void TestCliJack::organisedInPlaceAndUndone() {
    QFETCH(QStringList, simulator);
    auto sim = startSim(simulator);
    const KeyboardMemory demo = KeyboardMemory::demo();
    const kbdsim::SlotRef tone0{DataType::Tone, 0, 0}, tone1{DataType::Tone, 0, 1},
        tone2{DataType::Tone, 0, 2}, tone3{DataType::Tone, 0, 3}, tone4{DataType::Tone, 0, 4},
        song0{DataType::Song, 0, 0}, song1{DataType::Song, 0, 1};
    const auto run = [&](const QStringList& args) {
        const Result result = cli(QStringList{"--quiet"} + args, sim.get());
        if (result.exitCode != 0) {
            qWarning() << args << result.err;
        }
        return result;
    };
    QCOMPARE(run({"copy", "tone:0", "tone:1"}).exitCode, 0);
    QCOMPARE(run({"swap", "tone:2", "tone:3"}).exitCode, 0);
    QCOMPARE(run({"move", "song:0", "song:1"}).exitCode, 0);
    QCOMPARE(run({"rename", "tone:4", "Abc"}).out, QByteArray("Rename tone:4 to \"Abc\"\n"));
    KeyboardMemory organised = demo;
    organised.setData(tone1, demo.data(tone0));
    organised.setData(tone2, demo.data(tone3));
    organised.setData(tone3, demo.data(tone2));
    organised.setData(song1, demo.data(song0));
    organised.setData(song0, {});
    QTRY_COMPARE(state(*sim).name(tone4), std::string("Abc     "));
    organised.setData(tone4, state(*sim).data(tone4));
    QCOMPARE(state(*sim).toJson(), organised.toJson());

    const QJsonObject history = QJsonDocument::fromJson(run({"history", "--json"}).out).object();
    QStringList titles;
    for (const QJsonValue& change : history["undo"].toArray()) {
        titles << change.toObject()["title"].toString();
    }
    QCOMPARE(titles, QStringList({"Rename tone:4 to \"Abc\"", "Move song:0 to song:1",
                                  "Swap tone:2 with tone:3", "Copy tone:0 to tone:1"}));

    for (int i = 0; i < titles.size(); ++i) {
        QCOMPARE(run({"undo"}).exitCode, 0);
    }
    QTRY_COMPARE(state(*sim).toJson(), demo.toJson());
    const Result nothing = cli({"undo"}, sim.get());
    QCOMPARE(nothing.exitCode, 1);
    QCOMPARE(nothing.lastErrorLine(), QString("There is nothing to undo."));
    QCOMPARE(run({"redo"}).out, QByteArray("Redone: Copy tone:0 to tone:1\n"));
    QTRY_COMPARE(state(*sim).data(tone1), demo.data(tone0));

    // Another program changes tone:1 (keeping nothing): the undo refuses to overwrite it.
    const QString file = home_->filePath("TON_Bell Box.nvb");
    QCOMPARE(run({"import", "tone:9", home_->path()}).exitCode, 0);
    QCOMPARE(run({"--no-safety-copy", "send", file, "tone:1"}).exitCode, 0);
    QTRY_COMPARE(state(*sim).data(tone1), demo.data({DataType::Tone, 0, 9}));
    const Result refused = cli({"undo"}, sim.get());
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.lastErrorLine().contains("tone:1 changed since \"Copy tone:0 to tone:1\"") &&
                 refused.lastErrorLine().contains("--force"),
             refused.err.constData());
    QCOMPARE(state(*sim).data(tone1), demo.data({DataType::Tone, 0, 9}));
    QCOMPARE(run({"undo", "--force"}).exitCode, 0);
    QTRY_COMPARE(state(*sim).toJson(), demo.toJson());
}

void TestCliJack::eachKeyboardUndoesItsOwnChanges() {
    // The simulator over JACK and the built-in keyboard, one history; tone:1 differs between
    // them, and the same copy is made on both.
    auto sim = startSim({"--no-pacing"});
    const KeyboardMemory demo = KeyboardMemory::demo();
    const kbdsim::SlotRef tone1{DataType::Tone, 0, 1}, tone3{DataType::Tone, 0, 3};
    KeyboardMemory builtInStart = demo;
    builtInStart.setData(tone1, demo.data(tone3));
    const QString builtInState = home_->filePath("data/NvbMan/builtin-keyboard.json");
    QVERIFY(QDir().mkpath(QFileInfo(builtInState).path()));
    builtInStart.save(builtInState);
    const QStringList builtIn{"--quiet", "--in", "built-in", "--out", "built-in"};
    QCOMPARE(cli(QStringList{"--quiet", "copy", "tone:0", "tone:1"}, sim.get()).exitCode, 0);
    QCOMPARE(cli(builtIn + QStringList{"copy", "tone:0", "tone:1"}).exitCode, 0);

    // Both undone at once: each takes back its own keyboard's change.
    QProcess onJack;
    QProcess onBuiltIn;
    startCli(onJack, {"undo"}, sim.get());
    startCli(onBuiltIn, builtIn + QStringList{"undo"});
    for (QProcess* undo : {&onJack, &onBuiltIn}) {
        QVERIFY(undo->waitForFinished(kJobStartBound));
        QVERIFY2(undo->exitCode() == 0, undo->readAllStandardError().constData());
    }
    QTRY_COMPARE(state(*sim).toJson(), demo.toJson());
    QCOMPARE(KeyboardMemory::load(builtInState).toJson(), builtInStart.toJson());

    // One redo per keyboard, each named by its keyboard; neither is offered on the other.
    const QJsonObject history =
        QJsonDocument::fromJson(cli({"--json", "history"}).out).object();
    QCOMPARE(history["undo"].toArray().size(), 0);
    QStringList keyboards;
    for (const QJsonValue& change : history["redo"].toArray()) {
        keyboards << change.toObject()["keyboard"].toString();
    }
    keyboards.sort();
    QCOMPARE(keyboards.size(), 2);
    QVERIFY2(keyboards[0].startsWith("JACK ") && keyboards[0].contains(sim->name()),
             qPrintable(keyboards[0]));
    QCOMPARE(keyboards[1], QString(kbdsim::BuiltInKeyboard::kDeviceName));
    QCOMPARE(cli(QStringList{"--quiet", "redo"}, sim.get()).exitCode, 0);
    const Result nothing = cli(QStringList{"redo"}, sim.get());
    QCOMPARE(nothing.lastErrorLine(), QString("There is nothing to redo."));
    QTRY_COMPARE(state(*sim).data(tone1), demo.data({DataType::Tone, 0, 0}));
    QCOMPARE(KeyboardMemory::load(builtInState).toJson(), builtInStart.toJson());
}

void TestCliJack::aSwapStoppedAnywhereLosesNothing() {
    const kbdsim::SlotRef song0{DataType::Song, 0, 0}, song1{DataType::Song, 0, 1};
    KeyboardMemory twoSongs = KeyboardMemory::demo();
    twoSongs.setData(song1, pattern(400, 3));
    const std::vector<std::uint16_t> songs[] = {twoSongs.data(song0), twoSongs.data(song1)};
    const auto messagesIn = [](const QByteArray& log) { return int(log.count("in  F0")); };
    const auto drain = [](KbdSimProcess& sim) {
        QByteArray log;
        while (sim.process().waitForReadyRead(300)) {
            log += sim.process().readAllStandardOutput();
        }
        return log;
    };
    // The whole swap's messages to the keyboard, counted once.
    twoSongs.save(statePath());
    int total = 0;
    {
        auto sim = startSim({"--no-pacing", "--log"});
        drain(*sim);
        QCOMPARE(cli({"--quiet", "swap", "song:0", "song:1"}, sim.get()).exitCode, 0);
        total = messagesIn(drain(*sim));
        QVERIFY(total > 20);
    }
    // SIGTERM at messages in the fetches, between them, in the first and the second write.
    for (const int stopAt : {1, total / 4, total / 2, 3 * total / 4, total - 2}) {
        QVERIFY(QDir(home_->filePath("data")).removeRecursively());
        twoSongs.save(statePath());
        auto sim = startSim({"--no-pacing", "--processing-delay", "5", "--log"});
        drain(*sim);
        QProcess swap;
        startCli(swap, {"--quiet", "swap", "song:0", "song:1"}, sim.get());
        QByteArray log;
        while (messagesIn(log) < stopAt && swap.state() != QProcess::NotRunning) {
            sim->process().waitForReadyRead(5);
            log += sim->process().readAllStandardOutput();
        }
        ::kill(pid_t(swap.processId()), SIGTERM);
        QVERIFY(swap.waitForFinished(20000));
        const QString why = QString("stopped at message %1 of %2: %3")
                                .arg(stopAt)
                                .arg(total)
                                .arg(QString::fromUtf8(swap.readAllStandardError()));
        // A listing waits for the keyboard to have dealt with everything sent before it.
        QVERIFY2(cli({"--quiet", "list"}, sim.get()).exitCode == 0, qPrintable(why));
        const KeyboardMemory now = state(*sim);
        const QJsonArray kept =
            QJsonDocument::fromJson(cli({"replaced", "--json"}).out).object()["items"].toArray();
        for (const auto& song : songs) {
            bool found = now.data(song0) == song || now.data(song1) == song;
            for (const QJsonValue& copy : kept) {
                EkDataFile item(DataType::NoType);
                NvbFileStream(copy.toObject()["file"].toString(), NvbFileStream::OpenRead)
                    .read(item);
                found = found || item.words() == song;
            }
            QVERIFY2(found, qPrintable("a song was lost; " + why));
        }
        // One undo (forced: the stop may have left a slot half done) puts both back.
        const QJsonObject history =
            QJsonDocument::fromJson(cli({"history", "--json"}).out).object();
        if (!history["undo"].toArray().isEmpty()) {
            const Result undo = cli({"--quiet", "undo", "--force"}, sim.get());
            QVERIFY2(undo.exitCode == 0, qPrintable(why + undo.err));
        }
        QTRY_COMPARE(state(*sim).toJson(), twoSongs.toJson());
    }
}

void TestCliJack::theGraphRunsAtThePeriodAskedAndSaysSo() {
    auto sim = startSim();
    QVERIFY(sim->isReady());
    const Result asked = cli({"--quiet", "--verbose", "--period", "64", "list"}, sim.get());
    QVERIFY2(asked.exitCode == 0, asked.err.constData());
    const QString said = QString::fromUtf8(asked.err);
    if (!said.contains("PipeWire through its JACK library")) {
        // JACK 2: the server's period, for every program, and nothing asked of it.
        QVERIFY2(said.contains(QRegularExpression(
                     "--  +\\| JACK [0-9.]+: period 512 frames at 48000 Hz \\(10.7 ms\\)\n")),
                 asked.err.constData());
        return;
    }
    // PipeWire: the graph's own period first, then the one asked for, once our clients run.
    QVERIFY2(said.contains("period 64 frames at 48000 Hz (1.3 ms); NvbMan asks for 64 frames"),
             asked.err.constData());
    // Asking nothing, the next command finds the graph back at its own period.
    const Result plain = cli({"--quiet", "--verbose", "--period", "0", "list"}, sim.get());
    QVERIFY2(QString::fromUtf8(plain.err).contains(
                 "period 1024 frames at 48000 Hz (21.3 ms); NvbMan asks nothing"),
             plain.err.constData());
    QVERIFY(!plain.err.contains("asks for"));
    // A period that is none is bad usage.
    QCOMPARE(cli({"--period", "-5", "list"}, sim.get()).exitCode, 2);
}

namespace {

// The words of an item of `slot`'s kind named `name`: `words` words of `seed`'s pattern.
std::vector<std::uint16_t> namedItem(const kbdsim::SlotRef& slot, int words, int seed,
                                     const std::string& name) {
    KeyboardMemory memory;
    memory.setData(slot, pattern(std::size_t(words), seed));
    memory.setName(slot, name);
    return memory.data(slot);
}

// Writes the item of `type` made of `words` as the ".nvb" file `path`.
void saveItem(const QString& path, std::uint16_t type, const std::vector<std::uint16_t>& words) {
    EkDataFile item(type);
    item.setSize(std::uint32_t(2 * words.size()));
    item.words() = words;
    item.loadName();
    NvbFileStream(path, NvbFileStream::Create).write(item);
}

}  // namespace

void TestCliJack::aSlotChangedAtThePanelIsReadBeforeTheChange_data() {
    QTest::addColumn<QString>("slot");   // read by the program, then changed at the panel
    QTest::addColumn<QString>("panel");  // the slot whose item the panel copies into it
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("panelNumber");
    QTest::addColumn<int>("words");  // of each item
    QTest::newRow("a tone read as another, now an older version of the one sent")
        << "tone:3" << "tone:5" << int(DataType::Tone) << 3 << 5 << KeyboardMemory::kToneBytes / 2;
    QTest::newRow("a song slot read as empty")
        << "song:0" << "song:1" << int(DataType::Song) << 0 << 1 << 600;
    QTest::newRow("a rhythm slot read as empty")
        << "rhythm:2" << "rhythm:1" << int(DataType::Rhythm) << 2 << 1 << 400;
}

// The program reads a slot, the keyboard's panel changes it, then the program sends an item of
// the same name and size as the panel's and the End of the first try is lost: the change must
// start from what the slot holds now. Otherwise the old item passes for the new one (a false
// "done") and, in a slot read as empty, is replaced without a copy.
void TestCliJack::aSlotChangedAtThePanelIsReadBeforeTheChange() {
    QFETCH(QString, slot);
    QFETCH(QString, panel);
    QFETCH(int, type);
    QFETCH(int, number);
    QFETCH(int, panelNumber);
    QFETCH(int, words);
    const kbdsim::SlotRef target{std::uint16_t(type), 0, number};
    const kbdsim::SlotRef panelSlot{std::uint16_t(type), 0, panelNumber};
    const bool fixed = KeyboardMemory::fixedSize(std::uint16_t(type)) != 0;
    KeyboardMemory memory = KeyboardMemory::demo();
    memory.setData(target, fixed ? pattern(std::size_t(words), 1) : std::vector<std::uint16_t>{});
    if (fixed) {
        memory.setName(target, "Flute   ");
    }
    memory.setData(panelSlot, namedItem(panelSlot, words, 2, "Cello   "));
    memory.save(statePath());
    const std::vector<std::uint16_t> newer = namedItem(panelSlot, words, 3, "Cello   ");
    const QString file = home_->filePath("cello.nvb");
    saveItem(file, std::uint16_t(type), newer);

    // The panel copies once the program has read the slot: the keyboard's kind, then the slot
    // (a tone's name, two requests; an empty slot's size and the free memory).
    auto sim = startSim({"--no-pacing", "--panel-copy", QString("3:%1:%2").arg(panel, slot),
                         "--lose", "end:1"});
    QVERIFY(sim->isReady());
    const Result sent = cli({"--quiet", "--json", "send", file, slot}, sim.get());
    QVERIFY2(sent.exitCode == 0, sent.err.constData());
    QTRY_COMPARE(state(*sim).data(target), newer);
    // What the panel had put there was kept, and comes back.
    const QJsonValue kept = QJsonDocument::fromJson(sent.out).object()["keptCopy"];
    QVERIFY2(kept.isDouble(), sent.out.constData());
    const Result back =
        cli({"--quiet", "put-back", QString::number(kept.toInteger())}, sim.get());
    QVERIFY2(back.exitCode == 0, back.err.constData());
    QTRY_COMPARE(state(*sim).data(target), memory.data(panelSlot));
}

void TestCliJack::unansweredConfirmationsSayWhatIsKnown_data() {
    QTest::addColumn<QStringList>("command");  // "SONG", "TONE": the files made by the test
    QTest::addColumn<QString>("loss");
    QTest::addColumn<QString>("code");
    const QString unanswered = "answer-after-change:3";
    QTest::newRow("a song sent, its old song's deletion unanswered")
        << QStringList{"send", "SONG", "song:0"} << unanswered << "unconfirmed";
    QTest::newRow("a tone sent, its End unanswered")
        << QStringList{"send", "TONE", "tone:3"} << unanswered << "unconfirmed";
    QTest::newRow("a rhythm deleted, unanswered")
        << QStringList{"delete", "rhythm:0"} << unanswered << "unconfirmed";
    QTest::newRow("a copy, unanswered")
        << QStringList{"copy", "tone:1", "tone:2"} << unanswered << "unconfirmed";
    QTest::newRow("a rename, unanswered")
        << QStringList{"rename", "tone:1", "Renamed"} << unanswered << "unconfirmed";
    QTest::newRow("a send, every End lost")
        << QStringList{"send", "TONE", "tone:3"} << "end:-1" << "not-shown";
    QTest::newRow("a copy, every End lost")
        << QStringList{"copy", "tone:1", "tone:2"} << "end:-1" << "not-shown";
    QTest::newRow("a swap, every End lost")
        << QStringList{"swap", "tone:1", "tone:2"} << "end:-1" << "not-shown";
}

// A change whose confirmation goes unanswered, or that the keyboard never shows, fails with the
// same code whichever command made it, names the copy of what the slot held, and is undone.
void TestCliJack::unansweredConfirmationsSayWhatIsKnown() {
    QFETCH(QStringList, command);
    QFETCH(QString, loss);
    QFETCH(QString, code);
    KeyboardMemory memory = KeyboardMemory::demo();
    const kbdsim::SlotRef song0{DataType::Song, 0, 0};
    const kbdsim::SlotRef rhythm0{DataType::Rhythm, 0, 0};
    memory.setData(song0, namedItem(song0, 600, 1, "Ballad  "));
    memory.setData(rhythm0, namedItem(rhythm0, 300, 2, "Groove  "));
    memory.save(statePath());
    const QString songFile = home_->filePath("song.nvb");
    const QString toneFile = home_->filePath("tone.nvb");
    saveItem(songFile, DataType::Song, namedItem(song0, 700, 3, "Sunset  "));
    saveItem(toneFile, DataType::Tone,
             namedItem({DataType::Tone, 0, 3}, KeyboardMemory::kToneBytes / 2, 4, "Horn    "));
    command.replaceInStrings(QRegularExpression("^SONG$"), songFile);
    command.replaceInStrings(QRegularExpression("^TONE$"), toneFile);
    const QString keyboard = QString("Sim-%1-unanswered").arg(QCoreApplication::applicationPid());

    {
        auto sim = startSim({"--no-pacing", "--lose", loss}, keyboard);
        QVERIFY(sim->isReady());
        const Result failed = cli(QStringList{"--quiet", "--json"} + command, sim.get());
        QCOMPARE(failed.exitCode, 1);
        const QJsonObject error = QJsonDocument::fromJson(failed.out).object()["error"].toObject();
        QCOMPARE(error["code"].toString(), code);
        QVERIFY2(error["text"].toString().contains(QRegularExpression("copy \\d+")),
                 failed.out.constData());
    }
    // The copy kept is what undo puts back: the keyboard as it was.
    auto sim = startSim({"--no-pacing"}, keyboard);
    const Result undo = cli({"--quiet", "undo", "--force"}, sim.get());
    QVERIFY2(undo.exitCode == 0, undo.err.constData());
    QTRY_COMPARE(state(*sim).toJson(), memory.toJson());
}

// Songs and rhythms share one memory: a backup of songs of 10,600 and 10,800 bytes goes back
// onto songs of 9,000 and 12,000 only when song:1 shrinks first; with a rhythm the backup lacks
// it fits in no order (refused before anything changes, the figures said) unless the restore
// is exact, which deletes the rhythm first.
void TestCliJack::aRestoreMakesRoomFirstOrIsRefusedUpFront() {
    const kbdsim::SlotRef rhythm0{DataType::Rhythm, 0, 0};
    const auto songs = twoSongsNoRhythms;
    const KeyboardMemory backedUp = songs(10600, 10800);
    backedUp.save(statePath());
    const QString folder = home_->filePath("backup");
    {
        auto sim = startSim();
        const Result made = cli({"--quiet", "backup", folder}, sim.get());
        QVERIFY2(made.exitCode == 0, made.err.constData());
    }
    const auto restore = [&](const KeyboardMemory& onKeyboard, const QStringList& options) {
        onKeyboard.save(statePath());
        auto sim = startSim();
        const Result result =
            cli(QStringList{"--quiet", "--json", "restore"} + options + QStringList{folder},
                sim.get());
        return std::make_pair(result, state(*sim).toJson());
    };

    const auto [fits, afterFits] = restore(songs(9000, 12000), {});
    QVERIFY2(fits.exitCode == 0, fits.out.constData());
    QCOMPARE(afterFits, backedUp.toJson());

    KeyboardMemory withRhythm = songs(9000, 12000);
    withRhythm.setData(rhythm0, namedItem(rhythm0, 200, 3, "Groove  "));
    for (const QStringList& options : {QStringList{"--dry-run"}, QStringList{}}) {
        const auto [refused, afterRefused] = restore(withRhythm, options);
        QCOMPARE(refused.exitCode, 1);
        const QString text =
            QJsonDocument::fromJson(refused.out).object()["error"].toObject()["text"].toString();
        QVERIFY2(text.contains("21800 bytes of the keyboard's 21504"), qPrintable(text));
        QCOMPARE(afterRefused, withRhythm.toJson());
    }

    const auto [exact, afterExact] = restore(withRhythm, {"--exact"});
    QVERIFY2(exact.exitCode == 0, exact.out.constData());
    QCOMPARE(afterExact, backedUp.toJson());
}

void TestCliJack::aChangeCutShortIsSaidOnceAndUndone_data() {
    QTest::addColumn<QStringList>("command");  // "SONG": the song file made by the test
    QTest::newRow("a song sent over another") << QStringList{"send", "SONG", "song:0"};
    QTest::newRow("two songs swapped") << QStringList{"swap", "song:0", "song:1"};
}

// nvbman-cli killed (SIGKILL: no handler runs) once its first data block reached the keyboard,
// the old song deleted: the change was in the history before its first message, so the next
// command says it was cut short (once), and undo puts back what the slots held, byte for byte.
void TestCliJack::aChangeCutShortIsSaidOnceAndUndone() {
    QFETCH(QStringList, command);
    const kbdsim::SlotRef song0{DataType::Song, 0, 0};
    const kbdsim::SlotRef song1{DataType::Song, 0, 1};
    KeyboardMemory before = KeyboardMemory::demo();
    before.setData(song0, namedItem(song0, 1000, 1, "Ballad  "));
    before.setData(song1, namedItem(song1, 800, 2, "Other   "));
    before.save(statePath());
    const QString songFile = home_->filePath("song.nvb");
    saveItem(songFile, DataType::Song, namedItem(song0, 900, 3, "Sunset  "));
    command.replaceInStrings(QRegularExpression("^SONG$"), songFile);
    // Each answer takes 30 ms, so the command is still sending when it is killed.
    auto sim = startSim({"--no-pacing", "--processing-delay", "30", "--log"});
    QVERIFY(sim->isReady());

    QProcess change;
    startCli(change, QStringList{"--quiet"} + command, sim.get());
    // The first data block the keyboard receives: "in  F0 44 11 01 7F 4x" (type 4).
    QByteArray log;
    QElapsedTimer clock;
    clock.start();
    while (!log.contains("in  F0 44 11 01 7F 4") && clock.elapsed() < kJobStartBound &&
           change.state() != QProcess::NotRunning) {
        sim->process().waitForReadyRead(kOutputWait);
        log += sim->process().readAllStandardOutput();
    }
    QVERIFY2(log.contains("in  F0 44 11 01 7F 4"), log.constData());
    ::kill(pid_t(change.processId()), SIGKILL);
    QVERIFY(change.waitForFinished(kJobStartBound));
    QVERIFY(state(*sim).toJson() != before.toJson());

    const Result told = cli({"--quiet", "history"}, sim.get());
    QVERIFY2(told.exitCode == 0, told.err.constData());
    QCOMPARE(told.err.count("was cut short"), 1);
    QVERIFY2(QString::fromUtf8(told.err).contains(QRegularExpression("copy \\d+ \\(song:[01] \"(Ballad|Other) +\"\\)")),
             told.err.constData());
    QCOMPARE(cli({"--quiet", "history"}, sim.get()).err.count("was cut short"), 0);
    const Result undo = cli({"--quiet", "undo"}, sim.get());
    QVERIFY2(undo.exitCode == 0, undo.err.constData());
    QTRY_COMPARE(state(*sim).toJson(), before.toJson());
}

QTEST_GUILESS_MAIN(TestCliJack)
void TestCliJack::lostChangesAreMadeAgainOrFail_data() {
    QTest::addColumn<QList<QStringList>>("before");  // run first, nothing lost ("HOME": the test's)
    QTest::addColumn<QStringList>("command");
    QTest::addColumn<QString>("kind");  // of the message lost on the way
    QTest::addColumn<QStringList>("simulator");
    const QStringList atOnce{"--no-pacing"};
    const QStringList tone3{"import", "tone:3", "HOME"};
    const QString songFile = "HOME/SNG_Sunrise .nvb";
    const QList<QStringList> songOverAnother{
        {"import", "song:0", "HOME"}, {"send", songFile, "song:1"}, {"rename", "song:1", "Other"}};
    QTest::newRow("send a tone") << QList<QStringList>{tone3}
                                 << QStringList{"send", "HOME/TON_Warm Pad.nvb", "tone:0"} << "end"
                                 << atOnce;
    QTest::newRow("send a song over another, paced")
        << songOverAnother << QStringList{"send", songFile, "song:1"} << "end" << QStringList{};
    QTest::newRow("delete a rhythm, paced")
        << QList<QStringList>{} << QStringList{"delete", "rhythm:2"} << "delete" << QStringList{};
    QTest::newRow("swap") << QList<QStringList>{} << QStringList{"swap", "tone:0", "tone:1"}
                          << "end" << atOnce;
    QTest::newRow("rename") << QList<QStringList>{} << QStringList{"rename", "dsp:1", "Renamed"}
                            << "end" << atOnce;
    QTest::newRow("restore") << QList<QStringList>{{"mkdir"}, {"backup", "HOME/backup"},
                                                   {"rename", "tone:0", "Changed"}}
                             << QStringList{"restore", "HOME/backup"} << "end" << atOnce;
    QTest::newRow("put back") << QList<QStringList>{{"delete", "rhythm:0"}}
                              << QStringList{"put-back", "1"} << "end" << atOnce;
    QTest::newRow("undo") << QList<QStringList>{{"rename", "tone:5", "Changed"}}
                          << QStringList{"undo"} << "end" << atOnce;
}

void TestCliJack::lostChangesAreMadeAgainOrFail() {
    QFETCH(QList<QStringList>, before);
    QFETCH(QStringList, command);
    QFETCH(QString, kind);
    QFETCH(QStringList, simulator);
    const auto here = [this](QStringList args) {
        args.replaceInStrings(QRegularExpression("^HOME"), home_->path());
        return args;
    };
    // From the demo keyboard and no history: the steps before on a keyboard that loses nothing.
    // One keyboard throughout, started again for each run under its one name (an undo takes
    // back only the changes of the keyboard it runs on).
    const QString keyboard =
        QString("Sim-%1-lost-changes").arg(QCoreApplication::applicationPid());
    KeyboardMemory::demo().save(statePath());
    {
        auto sim = startSim(simulator, keyboard);
        for (const QStringList& step : before) {
            if (step == QStringList{"mkdir"}) {
                QVERIFY(QDir(home_->path()).mkdir("backup"));
                continue;
            }
            const Result r = cli(QStringList{"--quiet"} + here(step), sim.get());
            QVERIFY2(r.exitCode == 0, r.err.constData());
        }
    }
    // Each run of the command starts from there: the memory, the kept copies and the history.
    const QString snapshot = home_->filePath("snapshot");
    QVERIFY(QDir().mkpath(snapshot));
    QVERIFY(QDir().mkpath(home_->filePath("data")));
    const auto copyTree = [](const QString& from, const QString& to) {
        QDir(to).removeRecursively();
        return QProcess::execute("cp", {"-a", from, to}) == 0;
    };
    QVERIFY(copyTree(home_->filePath("data"), snapshot + "/data"));
    QVERIFY(QFile::copy(statePath(), snapshot + "/keyboard.json"));
    // The command with `lost` messages of the kind lost on the way.
    const auto runWith = [&](int lost) {
        copyTree(snapshot + "/data", home_->filePath("data"));
        QFile::remove(statePath());
        QFile::copy(snapshot + "/keyboard.json", statePath());
        auto sim = startSim(simulator + QStringList{"--lose", kind + ':' + QString::number(lost)},
                            keyboard);
        const Result result = cli(QStringList{"--quiet"} + here(command), sim.get());
        return std::make_pair(result, state(*sim).toJson());
    };

    const auto [plain, changed] = runWith(0);
    QVERIFY2(plain.exitCode == 0, plain.err.constData());
    // Lost once: found missing, made again, done; the keyboard shows the change.
    const auto [once, afterOnce] = runWith(1);
    QVERIFY2(once.exitCode == 0, once.err.constData());
    QCOMPARE(afterOnce, changed);
    // Lost every time: a plain failure that says what the slot holds, never "done".
    const auto [always, afterAlways] = runWith(-1);
    QCOMPARE(always.exitCode, 1);
    QVERIFY2(always.err.contains(kind == "end" ? "The keyboard did not take the item"
                                               : "The keyboard did not delete the item"),
             always.err.constData());
    QVERIFY(afterAlways != changed);
}

#include "tst_clijack.moc"
