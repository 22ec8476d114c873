// Many commands in a row through nvbman-cli over JACK, as a user's backup script would run them:
// list, import, send and delete in turn against nvbman-kbdsim, first paced like the real cable,
// then answering at once, then losing an answer now and then (each is asked again), then losing
// now and then a message the keyboard never answers (a send's End, a deletion: each change is
// asked for, found missing and made again). Not one may fail, and after each the keyboard must
// hold what the command said it made.
//
// NVBMAN_STRESS_OPS sets the number of commands per keyboard (default 40: a few minutes);
// NVBMAN_CLI_PATH and NVBMAN_KBDSIM_PATH run other builds of the two programs. A long run needs
// QTEST_FUNCTION_TIMEOUT (milliseconds) above Qt Test's 300 s per test function.

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include "data/datatypes.h"
#include "kbdsim/keyboardmemory.h"
#include "support/kbdsimprocess.h"
#include "support/stresskeyboards.h"

using kbdsim::KeyboardMemory;

namespace {

constexpr int kDefaultOperations = 40;

}  // namespace

class TestCliStress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsInARowNeverFail_data();
    void commandsInARowNeverFail();
};

void TestCliStress::commandsInARowNeverFail_data() {
    addStressKeyboards();
}

void TestCliStress::commandsInARowNeverFail() {
    QFETCH(QStringList, simulatorOptions);
    const int operations = stressOperations(kDefaultOperations);
    QTemporaryDir home;
    QVERIFY(home.isValid());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", home.filePath("config"));
    env.insert("XDG_DATA_HOME", home.filePath("data"));
    const QString song = home.filePath("SNG_Sunrise .nvb");
    // A cycle that leaves the keyboard as it found it: a song copied out and in, two tones
    // swapped, the swap undone, redone and undone again, the song deleted.
    const std::vector<QStringList> commands = {
        {"import", "song:0", home.path()},
        {"send", song, "song:1"},
        {"swap", "tone:0", "tone:1"},
        {"undo"},
        {"redo"},
        {"undo"},
        {"delete", "song:1"},
        {"list", "--json"},
    };

    // What the keyboard holds after each command of the cycle.
    const StressMemories held = stressMemories();
    const std::vector<QJsonObject> expected = {held.demo,     held.withSong, held.swapped,
                                               held.withSong, held.swapped,  held.withSong,
                                               held.demo,     held.demo};
    KeyboardMemory::demo().save(home.filePath("keyboard.json"));
    KbdSimProcess sim(QStringList{"--state", home.filePath("keyboard.json")} + simulatorOptions);
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());

    QStringList failures;
    QElapsedTimer clock;
    clock.start();
    for (int op = 0; op < operations; ++op) {
        const QStringList& command = commands[std::size_t(op) % commands.size()];
        QProcess cli;
        cli.setProcessEnvironment(env);
        cli.start(qEnvironmentVariable("NVBMAN_CLI_PATH", NVBMAN_CLI_PATH),
                  QStringList{"--quiet", "--in", sim.name(), "--out", sim.name()} + command);
        const bool finished = cli.waitForFinished(120000);
        if (!finished || cli.exitStatus() != QProcess::NormalExit || cli.exitCode() != 0) {
            failures << QString("#%1 %2: %3 %4")
                            .arg(op)
                            .arg(command.first())
                            .arg(finished ? QString("exit %1").arg(cli.exitCode()) : "hung")
                            .arg(QString::fromUtf8(cli.readAllStandardError().trimmed()));
            qWarning("%s", qPrintable(failures.last()));
        }
        if (failures.isEmpty() && KeyboardMemory::load(home.filePath("keyboard.json")).toJson() !=
                                      expected[std::size_t(op) % commands.size()]) {
            // Said done, yet the keyboard does not hold it: a false success.
            failures << QString("#%1 %2: exit 0, but the keyboard does not show it")
                            .arg(op)
                            .arg(command.first());
            qWarning("%s", qPrintable(failures.last()));
        }
        if (sim.process().state() != QProcess::Running) {
            QFAIL(qPrintable("the simulator ended: " + sim.errorOutput()));
        }
        if ((op + 1) % 100 == 0) {
            qInfo("%d commands, %lld failed, %.1f s", op + 1, qlonglong(failures.size()),
                  clock.elapsed() / 1000.0);
        }
    }
    qInfo("%d commands in %.1f s, %lld failed", operations, clock.elapsed() / 1000.0,
          qlonglong(failures.size()));
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join('\n')));
}

QTEST_GUILESS_MAIN(TestCliStress)
#include "tst_clistress.moc"
