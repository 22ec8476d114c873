#pragma once

// nvbman-kbdsim started as a separate program on the test JACK server, under a port name of
// this test run's own so that a simulator left over from another run cannot answer.
//
// The same tests run on ALSA (in the ALSA test machine) with NVBMAN_KBDSIM_API=alsa: the
// simulator then offers its own sequencer ports, or with NVBMAN_KBDSIM_RAWMIDI=1 it sits at the
// far end of a virtual MIDI cable (snd-virmidi's raw device "hw:0,N") and the program talks to
// the cable's sequencer port "VirMIDI 0-N", as to a keyboard behind a USB-MIDI interface.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
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
        QStringList cable{"--api", qEnvironmentVariable("NVBMAN_KBDSIM_API", "jack"), "--name",
                          name_};
        if (qEnvironmentVariableIsSet("NVBMAN_KBDSIM_RAWMIDI")) {
            // One cable per simulator alive at once (the machine has four); a simulator
            // started again under its name comes back on its cable.
            static QHash<QString, int> cables;
            if (!cables.contains(name_)) {
                const int next = int(cables.size());
                cables.insert(name_, next % kVirtualCables);
            }
            const int device = cables.value(name_);
            cable =
                QStringList{"--rawmidi", QStringLiteral("hw:0,%1").arg(device), "--realtime-noise"};
            name_ = QStringLiteral("VirMIDI 0-%1").arg(device);
        }
        // NVBMAN_KBDSIM_PATH in the environment runs another build of the simulator.
        process_.start(qEnvironmentVariable("NVBMAN_KBDSIM_PATH", NVBMAN_KBDSIM_PATH),
                       cable + extraArguments);
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
    static constexpr int kVirtualCables = 4;

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
