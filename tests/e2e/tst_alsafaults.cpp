// Failures that only the ALSA sequencer has, each met by the command-line tool with a plain
// error in bounded time and nothing changed, and the next command working once the cause is
// gone: another program's exclusive connection to the keyboard's port, a sequencer whose table
// of clients is full, and an answer far larger than any the keyboard sends. Runs in the ALSA
// test machine (tests/alsa-vm/alsa-suite.sh), where the simulator is on the ALSA sequencer.

#include <alsa/asoundlib.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "kbdsim/keyboardmemory.h"
#include "support/kbdsimprocess.h"

namespace {

// Long enough for any of these commands on an emulated machine; they end far sooner.
constexpr int kCommandBoundMs = 60000;
// More clients than a command opens (its listing's, its input's and its output's).
constexpr int kClientsToFree = 8;

struct Result {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

}  // namespace

class TestAlsaFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void anExclusiveConnectionIsRefusedPlainly_data();
    void anExclusiveConnectionIsRefusedPlainly();
    void aFullClientTableIsSaidPlainly();
    void anOversizedAnswerStopsNothingForGood();
    void theKeyboardOnACableStopsWhenAsked();

private:
    Result cli(const QStringList& args, const KbdSimProcess& sim) { return cli(args, sim.name()); }
    Result cli(const QStringList& args, const QString& device);
    std::unique_ptr<KbdSimProcess> startSim(const QStringList& extra = {"--no-pacing"});
    QString statePath() const { return home_->filePath("keyboard.json"); }
    // The memory as the simulator filed it, or its demo memory before its first change.
    QJsonObject memory() const {
        return QFile::exists(statePath()) ? kbdsim::KeyboardMemory::load(statePath()).toJson()
                                          : kbdsim::KeyboardMemory::demo().toJson();
    }

    std::unique_ptr<QTemporaryDir> home_;
};

void TestAlsaFaults::init() {
    if (!QFile::exists("/dev/snd/seq")) {
        QSKIP("no ALSA sequencer here: this suite runs in the ALSA test machine");
    }
    home_ = std::make_unique<QTemporaryDir>();
}

std::unique_ptr<KbdSimProcess> TestAlsaFaults::startSim(const QStringList& extra) {
    auto sim = std::make_unique<KbdSimProcess>(QStringList{"--state", statePath()} + extra);
    if (!sim->isReady()) {
        qWarning() << sim->errorOutput();
    }
    return sim;
}

Result TestAlsaFaults::cli(const QStringList& args, const QString& device) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home_->filePath("config"));
    env.insert("XDG_DATA_HOME", home_->filePath("data"));
    process.setProcessEnvironment(env);
    process.start(NVBMAN_CLI_PATH, QStringList{"--in", device, "--out", device} + args);
    Result result;
    result.finished = process.waitForFinished(kCommandBoundMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished();
    }
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    return result;
}

void TestAlsaFaults::anExclusiveConnectionIsRefusedPlainly_data() {
    QTest::addColumn<bool>("keyboardOutput");  // else its input is taken
    QTest::newRow("the keyboard's output taken") << true;
    QTest::newRow("the keyboard's input taken") << false;
}

// A program that connects to the keyboard's port exclusively (aconnect -e) leaves no
// connection to anyone else.
void TestAlsaFaults::anExclusiveConnectionIsRefusedPlainly() {
    QFETCH(bool, keyboardOutput);
    auto sim = startSim();
    QVERIFY2(sim->isReady(), sim->errorOutput().constData());
    const QString port =
        QStringLiteral("nvbman-kbdsim-%1-%2:0").arg(keyboardOutput ? "out" : "in", sim->name());
    const QString through = "Midi Through:0";
    const QStringList pair =
        keyboardOutput ? QStringList{port, through} : QStringList{through, port};
    QCOMPARE(QProcess::execute("aconnect", QStringList{"-e"} + pair), 0);
    const QJsonObject before = memory();

    const Result refused = cli({"--quiet", "delete", "song:0"}, *sim);
    QVERIFY(refused.finished);
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.err.startsWith("MIDI SYSTEM ERROR: "), refused.err.constData());
    QCOMPARE(memory(), before);

    QCOMPARE(QProcess::execute("aconnect", QStringList{"-d"} + pair), 0);
    const Result listed = cli({"--quiet", "list", "--json"}, *sim);
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    QCOMPARE(QJsonDocument::fromJson(listed.out).object()["model"].toString(), QString("MLS-850"));
}

// The sequencer takes 64 programs' clients at most; with every one taken, a command says so.
void TestAlsaFaults::aFullClientTableIsSaidPlainly() {
    auto sim = startSim();
    QVERIFY2(sim->isReady(), sim->errorOutput().constData());
    std::vector<snd_seq_t*> taken;
    const auto release = qScopeGuard([&] {
        for (snd_seq_t* client : taken) {
            snd_seq_close(client);
        }
    });
    for (;;) {
        snd_seq_t* client = nullptr;
        if (snd_seq_open(&client, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) {
            break;
        }
        taken.push_back(client);
        QVERIFY2(taken.size() < 1000, "the sequencer's client table never filled");
    }
    QVERIFY(!taken.empty());

    const Result refused = cli({"--quiet", "list"}, *sim);
    QVERIFY(refused.finished);
    QCOMPARE(refused.exitCode, 1);
    // One line that says why, and nothing of the libraries' own complaints.
    QCOMPARE(refused.err.count('\n'), 1);
    QVERIFY2(refused.err.contains("MIDI SYSTEM ERROR: The ALSA sequencer takes no more programs"),
             refused.err.constData());

    // Room again for the command's clients.
    for (int i = 0; i < kClientsToFree && !taken.empty(); ++i) {
        snd_seq_close(taken.back());
        taken.pop_back();
    }
    const Result listed = cli({"--quiet", "list"}, *sim);
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
}

// 64 KiB more than an answer holds, in the middle of a listing: taken for what it is (no answer
// of the keyboard's), the request is asked again, and the listing completes.
void TestAlsaFaults::anOversizedAnswerStopsNothingForGood() {
    auto sim = startSim({"--no-pacing", "--oversized-answer", "3"});
    QVERIFY2(sim->isReady(), sim->errorOutput().constData());
    const QJsonObject before = memory();
    const Result listed = cli({"--quiet", "list", "--json"}, *sim);
    QVERIFY(listed.finished);
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    QCOMPARE(QJsonDocument::fromJson(listed.out).object()["model"].toString(), QString("MLS-850"));
    QCOMPARE(memory(), before);
}

// At the end of a raw MIDI cable, after it has talked: asked to stop, it stops (its reading
// thread once blocked in a read for ever, the output's blocking mode being the input's too).
void TestAlsaFaults::theKeyboardOnACableStopsWhenAsked() {
    QProcess sim;
    sim.setReadChannel(QProcess::StandardError);  // where it says "ready"
    sim.start(NVBMAN_KBDSIM_PATH, {"--rawmidi", "/dev/snd/midiC0D3", "--no-pacing"});
    QByteArray said;
    while (!said.contains("ready") && sim.waitForReadyRead(kCommandBoundMs)) {
        said += sim.readAllStandardError();
    }
    QVERIFY2(said.contains("ready"), said.constData());
    const Result listed = cli({"--quiet", "list"}, QStringLiteral("VirMIDI 0-3"));
    QVERIFY2(listed.exitCode == 0, listed.err.constData());
    sim.terminate();
    QVERIFY(sim.waitForFinished(kCommandBoundMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestAlsaFaults)
#include "tst_alsafaults.moc"
