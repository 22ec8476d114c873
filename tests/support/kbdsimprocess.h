#pragma once

// nvbman-kbdsim started as a separate program on the test JACK server, under a port name of
// this test run's own so that a simulator left over from another run cannot answer.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

#include "platform/midiservice.h"

class KbdSimProcess {
public:
    // `name`: the port name; empty for one of this run's own.
    explicit KbdSimProcess(const QStringList& extraArguments = {}, const QString& name = {})
        : name_(name.isEmpty() ? QStringLiteral("Sim-%1-%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(++counter())
                               : name) {
        // NVBMAN_KBDSIM_PATH in the environment runs another build of the simulator.
        process_.start(qEnvironmentVariable("NVBMAN_KBDSIM_PATH", NVBMAN_KBDSIM_PATH),
                       QStringList{"--api", "jack", "--name", name_} + extraArguments);
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 10000 && !stderr_.contains("ready") &&
               process_.state() != QProcess::NotRunning) {
            QTest::qWait(20);
            stderr_ += process_.readAllStandardError();
        }
    }

    ~KbdSimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished(2000);
            }
        }
    }

    bool isReady() const { return stderr_.contains("ready"); }
    QString name() const { return name_; }
    QByteArray errorOutput() const { return stderr_; }
    QProcess& process() { return process_; }

    // The simulator's device numbers, as the MIDI service lists them now; -1 when absent.
    int inputNumber() const { return indexOf(platform::MidiService::instance().inputDevices()); }
    int outputNumber() const { return indexOf(platform::MidiService::instance().outputDevices()); }

    // Stops it and returns its exit code.
    int stop() {
        process_.terminate();
        process_.waitForFinished(5000);
        return process_.exitCode();
    }

private:
    static int& counter() {
        static int n = 0;
        return n;
    }

    int indexOf(const QStringList& names) const {
        for (int i = 0; i < names.size(); ++i) {
            if (names[i].contains(name_)) {
                return i;
            }
        }
        return -1;
    }

    QString name_;
    QProcess process_;
    QByteArray stderr_;
};
