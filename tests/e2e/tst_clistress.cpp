// Many commands in a row through nvbman-cli over JACK, as a user's backup script would run them:
// list, import, send and delete in turn against nvbman-kbdsim, first paced like the real cable,
// then answering at once, then losing an answer now and then (each is asked again). Not one may
// fail.
//
// NVBMAN_STRESS_OPS sets the number of commands per keyboard (default 40: a few minutes);
// NVBMAN_CLI_PATH and NVBMAN_KBDSIM_PATH run other builds of the two programs. A long run needs
// QTEST_FUNCTION_TIMEOUT (milliseconds) above Qt Test's 300 s per test function.

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include "support/kbdsimprocess.h"

class TestCliStress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void commandsInARowNeverFail_data();
    void commandsInARowNeverFail();
};

void TestCliStress::commandsInARowNeverFail_data() {
    QTest::addColumn<QStringList>("simulatorOptions");
    QTest::newRow("paced keyboard") << QStringList{};
    QTest::newRow("keyboard answering at once") << QStringList{"--no-pacing"};
    // One request in 25 unanswered: a listing (84 requests) meets three or four lost answers.
    QTest::newRow("keyboard losing answers")
        << QStringList{"--no-pacing", "--unanswered-request-every", "25"};
}

void TestCliStress::commandsInARowNeverFail() {
    QFETCH(QStringList, simulatorOptions);
    const int operations = qEnvironmentVariableIntValue("NVBMAN_STRESS_OPS") > 0
                               ? qEnvironmentVariableIntValue("NVBMAN_STRESS_OPS")
                               : 40;
    QTemporaryDir home;
    QVERIFY(home.isValid());
    KbdSimProcess sim(QStringList{"--state", home.filePath("keyboard.json")} + simulatorOptions);
    QVERIFY2(sim.isReady(), sim.errorOutput().constData());

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
