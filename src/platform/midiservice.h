#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace platform {

// Called with each whole message that arrives on an open input. It may run on a MIDI backend's
// own thread: it must only hand the bytes over (post them to the GUI thread), never block.
using MidiReceiver = std::function<void(std::vector<std::uint8_t> message)>;

// An open MIDI input. Destroying it closes the device; once the destructor has returned the
// receiver is never called again.
class MidiInput {
public:
    virtual ~MidiInput() = default;
};

// An open MIDI output. Destroying it closes the device, after giving the last message sent the
// time to leave the backend's queue (bounded), so a message reported sent is not lost by an
// immediate close.
class MidiOutput {
public:
    virtual ~MidiOutput() = default;
    // Sends one whole message; throws MidiSystemError when the service fails.
    virtual void send(std::span<const std::uint8_t> message) = 0;
};

class VirtualInput;
class VirtualOutput;

// A MIDI device that lives in this process: an input/output pair whose far end is a C++ object.
// The software keyboard is one; tests use others. Registered devices are listed after the
// system's devices, in both directions, under their name.
//
// Messages from the program reach receive() from the GUI thread's event loop, never inside the
// program's send. transmit() hands a message to every program input that has the device open.
class VirtualMidiDevice : public QObject {
    Q_OBJECT
public:
    explicit VirtualMidiDevice(QString name, QObject* parent = nullptr);
    ~VirtualMidiDevice() override;

    QString name() const { return name_; }
    // How many program inputs have this device open.
    int openInputCount() const { return static_cast<int>(inputs_.size()); }

protected:
    // The program sent `message` to this device.
    virtual void receive(const std::vector<std::uint8_t>& message) = 0;
    // Sends `message` to the program.
    void transmit(const std::vector<std::uint8_t>& message);

private:
    friend class VirtualInput;
    friend class VirtualOutput;

    QString name_;
    std::vector<VirtualInput*> inputs_;
};

// The MIDI service: one numbered list of input devices and one of output devices, made of every
// RtMidi backend that works on this machine (ALSA, then JACK) followed by the registered
// in-process devices. A device number is an index into that list as it stands when the device is
// opened. A backend that is missing (no ALSA sequencer, no JACK server running) lists nothing;
// a JACK server is never started by the program.
class MidiService {
public:
    static MidiService& instance();

    QStringList inputDevices();
    QStringList outputDevices();

    // Throw MidiSystemError with the service's text when the device cannot be opened.
    std::unique_ptr<MidiInput> openInput(int device, MidiReceiver receiver);
    std::unique_ptr<MidiOutput> openOutput(int device);

    // The device is not owned; it unregisters itself when destroyed.
    void addVirtualDevice(VirtualMidiDevice* device);
    void removeVirtualDevice(VirtualMidiDevice* device);
    // The program's own software keyboard, listed after every other device. At most one.
    void setBuiltInDevice(VirtualMidiDevice* device);

private:
    MidiService();
    // Registered devices in list order: the others, then the built-in one.
    std::vector<VirtualMidiDevice*> listedVirtualDevices() const;

    std::vector<VirtualMidiDevice*> virtualDevices_;
    VirtualMidiDevice* builtIn_ = nullptr;
};

}  // namespace platform
