// nvbman-cli as a user runs it: a separate process, talking over a JACK server to nvbman-kbdsim
// in another process.

#include <signal.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "data/ekdatafile.h"
#include "kbdsim/keyboardmemory.h"
#include "stream/nvbfilestream.h"
#include "support/kbdsimprocess.h"

using kbdsim::KeyboardMemory;

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QString lastErrorLine() const {
        const QList<QByteArray> lines = err.trimmed().split('\n');
        return QString::fromUtf8(lines.isEmpty() ? QByteArray() : lines.last());
    }
};

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
    void failuresGiveTheMessageText_data();
    void failuresGiveTheMessageText();
    void badUsageExitsWithTwo_data();
    void badUsageExitsWithTwo();
    void unsafeKeyboardNameStaysInTheFolder();
    void ctrlCStopsASendAtTheNextBlock_data();
    void ctrlCStopsASendAtTheNextBlock();

private:
    Result cli(const QStringList& args, KbdSimProcess* sim = nullptr);
    KeyboardMemory state(const KbdSimProcess&) const { return KeyboardMemory::load(statePath()); }
    QString statePath() const { return home_->filePath("keyboard.json"); }
    std::unique_ptr<KbdSimProcess> startSim(const QStringList& extra = {"--no-pacing"});

    std::unique_ptr<QTemporaryDir> home_;
};

void TestCliJack::init() {
    home_ = std::make_unique<QTemporaryDir>();
    QVERIFY(home_->isValid());
}

std::unique_ptr<KbdSimProcess> TestCliJack::startSim(const QStringList& extra) {
    auto sim = std::make_unique<KbdSimProcess>(QStringList{"--state", statePath()} + extra);
    if (!sim->isReady()) {
        qWarning() << sim->errorOutput();
    }
    return sim;
}

Result TestCliJack::cli(const QStringList& args, KbdSimProcess* sim) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // Settings and the built-in keyboard's memory of this test only.
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(home_->path());
    QStringList all = args;
    if (sim != nullptr) {
        all = QStringList{"--in", sim->name(), "--out", sim->name()} + args;
    }
    process.start(NVBMAN_CLI_PATH, all);
    process.waitForFinished(120000);
    return {process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
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

void TestCliJack::failuresGiveTheMessageText_data() {
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("text");
    QTest::newRow("silence") << QStringList{"--silent"} << "list"
                             << "MIDI Timeout";
    QTest::newRow("wrong kind") << QStringList{"--kind", "3"} << "list"
                                << "Unknown keyboard type";
    QTest::newRow("type mismatch") << QStringList{} << "send tone dsp:0"
                                   << "Data type is different";
    QTest::newRow("not enough memory") << QStringList{} << "send big song:1"
                                       << "Not enough memory";
    QTest::newRow("not an nvb file") << QStringList{} << "send text song:1"
                                     << "No NVB file";
    QTest::newRow("rejected block") << QStringList{"--block-status", "0:2"} << "send tone tone:0"
                                    << "rejected by keyboard";
    QTest::newRow("bad checksum") << QStringList{"--corrupt-checksum", "0"} << "import song:0"
                                  << "invaild checksum";
}

void TestCliJack::failuresGiveTheMessageText() {
    QFETCH(QStringList, simOptions);
    QFETCH(QString, command);
    QFETCH(QString, text);
    // The files a command may name.
    EkDataFile tone(DataType::Tone);
    tone.setSize(60);
    tone.words() = pattern(30, 1);
    NvbFileStream(home_->filePath("tone"), NvbFileStream::Create).write(tone);
    EkDataFile big(DataType::Song);
    big.setSize(20000);
    big.words() = pattern(10000, 2);
    NvbFileStream(home_->filePath("big"), NvbFileStream::Create).write(big);
    QFile textFile(home_->filePath("text"));
    QVERIFY(textFile.open(QIODevice::WriteOnly));
    textFile.write("These are words, not a keyboard item.\n");
    textFile.close();

    auto sim = startSim(QStringList{"--no-pacing"} + simOptions);
    QStringList args = command.split(' ');
    for (QString& arg : args) {
        if (arg == "tone" || arg == "big" || arg == "text") {
            arg = home_->filePath(arg);
        }
    }
    const Result r = cli(args, sim.get());
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.lastErrorLine(), text);
    QVERIFY(QDir(home_->path()).entryList({"*.nvb"}, QDir::Files).isEmpty());  // nothing partial
}

void TestCliJack::badUsageExitsWithTwo_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"erase"};
    QTest::newRow("malformed slot") << QStringList{"import", "tone:12"};
    QTest::newRow("bank on a tone") << QStringList{"delete", "tone:1.2"};
    QTest::newRow("slot with a final newline") << QStringList{"delete", "dsp:8\n"};
    QTest::newRow("missing argument") << QStringList{"send", "file.nvb"};
    QTest::newRow("extra argument") << QStringList{"list", "now"};
    QTest::newRow("unknown option") << QStringList{"--colour", "list"};
    QTest::newRow("delete a tone") << QStringList{"delete", "tone:0"};
}

void TestCliJack::badUsageExitsWithTwo() {
    QFETCH(QStringList, args);
    const Result r = cli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.out.isEmpty());
    QVERIFY(r.lastErrorLine().contains("--help"));
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
    QTest::addColumn<QString>("lastLine");
    QTest::newRow("into an empty rhythm slot") << "rhythm:0"
                                               << "rhythm:1"
                                               << "Cancelled";
    // A send deletes the old song before its blocks: the user is told the slot is now empty.
    QTest::newRow("over a song") << "song:0"
                                 << "song:0"
                                 << "Cancelled (the song slot is now empty)";
}

void TestCliJack::ctrlCStopsASendAtTheNextBlock() {
    QFETCH(QString, source);
    QFETCH(QString, target);
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
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    send.setProcessEnvironment(env);
    send.start(NVBMAN_CLI_PATH,
               {"--quiet", "--in", sim->name(), "--out", sim->name(), "send", file, target});
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
    ::kill(pid_t(send.processId()), SIGINT);
    QVERIFY(send.waitForFinished(10000));
    QCOMPARE(send.exitCode(), 1);
    const QList<QByteArray> lines = send.readAllStandardError().trimmed().split('\n');
    QCOMPARE(QString::fromUtf8(lines.last()), lastLine);
    QTest::qWait(300);
    log += sim->process().readAllStandardOutput();
    // No status went out from the program (in a send that is only the End), so the keyboard
    // kept nothing of the stopped transfer.
    QVERIFY2(!log.contains("in  F0 44 11 01 7F 7"), log.constData());
    const KeyboardMemory after = QFile::exists(statePath()) ? state(*sim) : before;
    const kbdsim::SlotRef ref{
        std::uint16_t(target.startsWith("song") ? DataType::Song : DataType::Rhythm), 0,
        target.section(':', 1).toInt()};
    QVERIFY(after.data(ref).empty());
    if (target != source) {
        QCOMPARE(after.toJson(), before.toJson());
    }
}

QTEST_GUILESS_MAIN(TestCliJack)
#include "tst_clijack.moc"
