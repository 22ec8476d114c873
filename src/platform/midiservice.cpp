#include "midiservice.h"

#include <algorithm>

#include "rtmidibackend.h"
#include "systemerror.h"

namespace platform {

namespace {

// The text the MIDI service gives for a device number outside its lists.
const char* const kBadDeviceText = "The specified device identifier is out of range.";

}  // namespace

// A program input open on an in-process device.
class VirtualInput final : public MidiInput {
public:
    VirtualInput(VirtualMidiDevice* device, MidiReceiver receiver)
        : device_(device), receiver_(std::move(receiver)) {
        device_->inputs_.push_back(this);
    }

    ~VirtualInput() override { detach(); }

    void deliver(const std::vector<std::uint8_t>& message) { receiver_(message); }

    void detach() {
        if (device_ != nullptr) {
            std::erase(device_->inputs_, this);
            device_ = nullptr;
        }
    }

private:
    VirtualMidiDevice* device_;
    MidiReceiver receiver_;
};

// A program output open on an in-process device.
class VirtualOutput final : public MidiOutput {
public:
    explicit VirtualOutput(VirtualMidiDevice* device) : device_(device) {}

    void send(std::span<const std::uint8_t> message) override {
        if (device_.isNull()) {
            throw MidiSystemError("The device is no longer available.");
        }
        // Posted, so the device sees the message from the event loop and never answers from
        // inside the program's send.
        std::vector<std::uint8_t> bytes(message.begin(), message.end());
        QMetaObject::invokeMethod(
            device_.data(), [device = device_.data(), bytes] { device->receive(bytes); },
            Qt::QueuedConnection);
    }

private:
    QPointer<VirtualMidiDevice> device_;
};

VirtualMidiDevice::VirtualMidiDevice(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

VirtualMidiDevice::~VirtualMidiDevice() {
    while (!inputs_.empty()) {
        inputs_.back()->detach();
    }
    MidiService::instance().removeVirtualDevice(this);
}

void VirtualMidiDevice::transmit(const std::vector<std::uint8_t>& message) {
    // Copied first: a receiver could close its input and so change the list.
    const std::vector<VirtualInput*> inputs = inputs_;
    for (VirtualInput* input : inputs) {
        input->deliver(message);
    }
}

MidiService::MidiService() = default;

MidiService& MidiService::instance() {
    static MidiService service;
    return service;
}

QStringList MidiService::inputDevices() {
    QStringList names;
    for (const auto& port : rtmidi::listInputs()) {
        names << QString::fromStdString(port.name);
    }
    for (const auto* device : listedVirtualDevices()) {
        names << device->name();
    }
    return names;
}

QStringList MidiService::outputDevices() {
    QStringList names;
    for (const auto& port : rtmidi::listOutputs()) {
        names << QString::fromStdString(port.name);
    }
    for (const auto* device : listedVirtualDevices()) {
        names << device->name();
    }
    return names;
}

std::unique_ptr<MidiInput> MidiService::openInput(int device, MidiReceiver receiver) {
    if (device >= 0) {
        const auto ports = rtmidi::listInputs();
        const auto systemCount = static_cast<int>(ports.size());
        if (device < systemCount) {
            return rtmidi::openInput(ports[device], std::move(receiver));
        }
        const std::size_t index = device - systemCount;
        const auto devices = listedVirtualDevices();
        if (index < devices.size()) {
            return std::make_unique<VirtualInput>(devices[index], std::move(receiver));
        }
    }
    throw MidiSystemError(kBadDeviceText);
}

std::unique_ptr<MidiOutput> MidiService::openOutput(int device) {
    if (device >= 0) {
        const auto ports = rtmidi::listOutputs();
        const auto systemCount = static_cast<int>(ports.size());
        if (device < systemCount) {
            return rtmidi::openOutput(ports[device]);
        }
        const std::size_t index = device - systemCount;
        const auto devices = listedVirtualDevices();
        if (index < devices.size()) {
            return std::make_unique<VirtualOutput>(devices[index]);
        }
    }
    throw MidiSystemError(kBadDeviceText);
}

void MidiService::addVirtualDevice(VirtualMidiDevice* device) {
    if (device != nullptr && std::find(virtualDevices_.begin(), virtualDevices_.end(), device) ==
                                 virtualDevices_.end()) {
        virtualDevices_.push_back(device);
    }
}

void MidiService::removeVirtualDevice(VirtualMidiDevice* device) {
    std::erase(virtualDevices_, device);
    if (builtIn_ == device) {
        builtIn_ = nullptr;
    }
}

void MidiService::setBuiltInDevice(VirtualMidiDevice* device) {
    std::erase(virtualDevices_, device);
    builtIn_ = device;
}

std::vector<VirtualMidiDevice*> MidiService::listedVirtualDevices() const {
    std::vector<VirtualMidiDevice*> devices = virtualDevices_;
    if (builtIn_ != nullptr) {
        devices.push_back(builtIn_);
    }
    return devices;
}

}  // namespace platform
