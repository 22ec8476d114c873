#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace platform {

// Called with each whole message that arrives on an open input, from the event loop of the
// thread that opened it (the MIDI systems' own threads hand messages over without a lock).
using MidiReceiver = std::function<void(std::vector<std::uint8_t> message)>;

// An open MIDI input. Destroying it closes the device; once the destructor has returned the
// receiver is never called again.
class InputPort {
public:
    virtual ~InputPort() = default;
    // Hands every message that has already arrived to the receiver now, before returning. The
    // answer timer asks for this before it gives up: on a busy machine the event loop may wake
    // to find the timer due and the answer waiting at once, and must not take the timer first.
    virtual void flush() {}
};

// An open MIDI output. Destroying it closes the device, after giving the last message sent the
// time to leave the backend's queue (bounded), so a message reported sent is not lost by an
// immediate close.
class OutputPort {
public:
    virtual ~OutputPort() = default;
    // Sends one whole message; throws MidiSystemError when the service fails.
    virtual void send(std::span<const std::uint8_t> message) = 0;
};

class VirtualInput;
class VirtualOutput;

// A MIDI device that lives in this process: an input/output pair whose far end is a C++ object.
// The software keyboard is one; tests use others. Registered devices are listed after the
// system's devices, in both directions, under their name.
//
// Messages from the program reach receive() from the event loop of the device's thread, never
// inside the program's send. transmit() hands a message to every program input that has the
// device open; an input opened on another thread hears it from that thread's event loop.
class VirtualMidiDevice : public QObject {
    Q_OBJECT
public:
    explicit VirtualMidiDevice(QString name, QObject* parent = nullptr);
    ~VirtualMidiDevice() override;

    QString name() const { return name_; }
    // How many program inputs have this device open.
    int openInputCount() const {
        const std::lock_guard lock(inputsMutex_);
        return static_cast<int>(inputs_.size());
    }

    // A command begins to use this device (under its lock) or has ended; told on the device's
    // thread, while the command waits. An empty text is fine; any other is a failure of the
    // device itself that the command reports.
    virtual QString beginUse() { return {}; }
    virtual QString endUse() { return {}; }
    // The file through which other programs of the user share this device's memory (the
    // built-in keyboard's state file); empty when the device lives in this program alone.
    virtual QString sharedState() const { return {}; }

protected:
    // The program sent `message` to this device.
    virtual void receive(const std::vector<std::uint8_t>& message) = 0;
    // Sends `message` to the program.
    void transmit(const std::vector<std::uint8_t>& message);

private:
    friend class VirtualInput;
    friend class VirtualOutput;

    QString name_;
    // The program's inputs open on the device; they may be opened and closed on another thread
    // than the device's (the window's keyboard thread).
    mutable std::recursive_mutex inputsMutex_;
    std::vector<VirtualInput*> inputs_;
};

class SystemBackend;

// What other programs know an in-process device named `deviceName` by when it shares its
// memory through `stateFile` (see MidiService::sharedName).
QString sharedDeviceName(const QString& deviceName, const QString& stateFile);

// The MIDI service: one numbered list of input devices and one of output devices, made of every
// MIDI system that works on this machine (the ALSA sequencer, then a running JACK server)
// followed by the registered in-process devices. The program's own ports are never listed.
//
// The lists are made when asked for (once per command: the caller keeps the numbers of that
// enumeration) and a device number means the device of that name in the last enumeration: the
// device is opened by its name, so a device that has gone since gives an error and never
// another device that took its number. Each MIDI system keeps its clients for the life of the
// process; opening and closing a port is cheap. A JACK server is never started by the program.
//
// Usable from any thread: one call at a time (the window asks for device lists while its
// keyboard thread opens and closes ports), a port's closing included.
class MidiService {
public:
    static MidiService& instance();

    // Enumerate the devices now.
    QStringList inputDevices();
    QStringList outputDevices();

    // The number of the device for a stored choice: `name` when it is given and listed (the
    // numbering may have changed since it was stored), else `number`; -1 when a named device is
    // not listed. Uses the last enumeration (made now if there was none).
    int findInput(int number, const QString& name);
    int findOutput(int number, const QString& name);
    // The name of a device number in the last enumeration; empty when out of range.
    QString inputName(int device);
    QString outputName(int device);
    // Which keyboard output `device` reaches, as the history of changes remembers it: the MIDI
    // system and the port's name, without the numbers the ALSA sequencer gives its clients (they
    // change when a device is plugged in again). Empty when out of range.
    QString keyboardIdentity(int device);

    // Throw MidiSystemError with the service's text when the device cannot be opened.
    std::unique_ptr<InputPort> openInput(int device, MidiReceiver receiver);
    std::unique_ptr<OutputPort> openOutput(int device);

    // The device number for a stored choice, as findInput/findOutput, but a named device that
    // is not listed is an error naming it (MidiSystemError).
    int storedInput(int number, const QString& name);
    int storedOutput(int number, const QString& name);

    // What other programs know output device `device` by, for the lock a command holds: the
    // name of a MIDI system's device; for an in-process device that shares its memory through a
    // file (the built-in keyboard), its name and that file, since programs of the user that
    // keep another file (a test's own home) have a keyboard of their own. Empty for a device no
    // other program can reach.
    QString sharedName(int device);

    // A command begins or ends its use of output device `device`: an in-process device is told,
    // on its own thread (see VirtualMidiDevice), and a failure it reports is thrown as
    // SystemError.
    void beginUse(int device);
    void endUse(int device);

    // For the About box: the MIDI systems that work now, each with its version ("JACK 1.9.21"),
    // and the version of RtMidi, the library that reaches them.
    QStringList systemVersions();
    static QString rtMidiVersion();
    // The system output `device` of the last enumeration is reached through, as
    // systemVersions() names it; empty for an in-process device (or none).
    QString systemOfOutput(int device);

    // Why a MIDI system that runs was left out of the last enumeration ("The JACK server does
    // not answer..."), empty when none was: a device missing from the lists may be behind it.
    QString systemProblem() const;

    // The period NvbMan's clients ask of PipeWire's graph (through its JACK library), in frames
    // at 48 kHz; 0 asks nothing and leaves the graph's own period. JACK 2 is never asked: its
    // period is the server's, for every program. Takes effect at the next enumeration.
    void setPeriodRequest(int frames);
    int periodRequest() const;

    // The device is not owned; it unregisters itself when destroyed.
    void addVirtualDevice(VirtualMidiDevice* device);
    void removeVirtualDevice(VirtualMidiDevice* device);
    // The program's own software keyboard, listed after every other device. At most one.
    void setBuiltInDevice(VirtualMidiDevice* device);
    // Its name; empty when there is none.
    QString builtInName() const;

private:
    struct Device {
        QString name;
        std::shared_ptr<SystemBackend> system;  // null for an in-process device
        QPointer<VirtualMidiDevice> inProcess;
    };

    MidiService();
    ~MidiService();
    // Registered devices in list order: the others, then the built-in one.
    std::vector<VirtualMidiDevice*> listedVirtualDevices() const;
    // The MIDI systems that work now, re-connecting one that has gone away.
    std::vector<std::shared_ptr<SystemBackend>> systems();
    std::vector<Device> enumerate(bool inputs);
    static QStringList namesOf(const std::vector<Device>& devices);
    static int find(const std::vector<Device>& devices, int number, const QString& name);
    const Device& device(const std::vector<Device>& devices, int number) const;
    // The in-process device behind output `device` of the last enumeration; null if none.
    VirtualMidiDevice* inProcessOutput(int device) const;

    std::shared_ptr<SystemBackend> alsa_;
    std::shared_ptr<SystemBackend> jack_;
    QString systemProblem_;
    int periodRequest_;  // the settings' default until set
    // What the MIDI log was last told of the JACK graph: told again when it changes.
    std::string graphNoted_;
    std::optional<std::vector<Device>> inputs_;
    std::optional<std::vector<Device>> outputs_;
    std::vector<VirtualMidiDevice*> virtualDevices_;
    VirtualMidiDevice* builtIn_ = nullptr;
};

}  // namespace platform
