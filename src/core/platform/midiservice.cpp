#include "midiservice.h"

#include <rtmidi/RtMidi.h>

#include <QRegularExpression>
#include <algorithm>

#include "midilog.h"
#include "settingsstore.h"
#include "systembackend.h"
#include "systemerror.h"

namespace platform {

// A program input open on an in-process device.
class VirtualInput final : public InputPort {
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
class VirtualOutput final : public OutputPort {
public:
    explicit VirtualOutput(VirtualMidiDevice* device) : device_(device) {}

    void send(std::span<const std::uint8_t> message) override {
        if (device_.isNull()) {
            throw MidiSystemError(ErrorCode::DeviceGone, {});
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

// An output whose messages the MIDI log records as they are sent.
class LoggedOutput final : public OutputPort {
public:
    LoggedOutput(std::unique_ptr<OutputPort> output, QString device)
        : output_(std::move(output)), device_(std::move(device)) {}

    void send(std::span<const std::uint8_t> message) override {
        MidiLog::instance().record(MidiLog::Direction::Out, device_, message);
        output_->send(message);
    }

private:
    std::unique_ptr<OutputPort> output_;
    QString device_;
};

namespace {

// The receiver, with the MIDI log recording what it is handed (on the GUI thread).
MidiReceiver logged(MidiReceiver receiver, const QString& device) {
    return [receiver = std::move(receiver), device](const std::vector<std::uint8_t>& message) {
        MidiLog::instance().record(MidiLog::Direction::In, device, message);
        receiver(message);
    };
}

}  // namespace

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

MidiService::MidiService() : periodRequest_(kDefaultPipeWirePeriod) {}
MidiService::~MidiService() = default;

MidiService& MidiService::instance() {
    static MidiService service;
    return service;
}

std::vector<std::shared_ptr<SystemBackend>> MidiService::systems() {
    if (alsa_ == nullptr) {
        alsa_ = connectAlsa();
    }
    // A JACK server that stopped may have been started again: its clients are gone with it.
    systemProblem_.clear();
    if (jack_ == nullptr || !jack_->isAlive()) {
        jack_.reset();
        try {
            jack_ = connectJack(periodRequest_);
        } catch (const MidiSystemError& e) {
            systemProblem_ = QString::fromStdString(e.what());
        }
    }
    std::vector<std::shared_ptr<SystemBackend>> result;
    for (const auto& system : {alsa_, jack_}) {
        if (system != nullptr) {
            result.push_back(system);
        }
    }
    return result;
}

std::vector<MidiService::Device> MidiService::enumerate(bool inputs) {
    std::vector<Device> devices;
    for (const auto& system : systems()) {
        for (const std::string& name : inputs ? system->inputNames() : system->outputNames()) {
            devices.push_back({QString::fromStdString(name), system, nullptr});
        }
        if (const std::string problem = system->listingProblem(); !problem.empty()) {
            systemProblem_ +=
                (systemProblem_.isEmpty() ? "" : " ") + QString::fromStdString(problem);
        }
    }
    for (VirtualMidiDevice* device : listedVirtualDevices()) {
        devices.push_back({device->name(), nullptr, device});
    }
    return devices;
}

QStringList MidiService::namesOf(const std::vector<Device>& devices) {
    QStringList names;
    for (const Device& device : devices) {
        names << device.name;
    }
    return names;
}

QStringList MidiService::inputDevices() {
    inputs_ = enumerate(true);
    return namesOf(*inputs_);
}

QStringList MidiService::outputDevices() {
    outputs_ = enumerate(false);
    return namesOf(*outputs_);
}

namespace {

// ALSA names end in the client and port numbers ("USB MIDI:USB MIDI MIDI 1 24:0"), which change
// when devices are plugged in another order; the rest of the name still says which device.
QString withoutAlsaAddress(const QString& name) {
    static const QRegularExpression address(QStringLiteral(" \\d+:\\d+$"));
    return QString(name).remove(address);
}

}  // namespace

int MidiService::find(const std::vector<Device>& devices, int number, const QString& name) {
    if (name.isEmpty()) {
        return number;
    }
    const auto count = static_cast<int>(devices.size());
    if (number >= 0 && number < count && devices[number].name == name) {
        return number;
    }
    for (int i = 0; i < count; ++i) {
        if (devices[i].name == name) {
            return i;
        }
    }
    const QString device = withoutAlsaAddress(name);
    for (int i = 0; i < count; ++i) {
        if (device != name && withoutAlsaAddress(devices[i].name) == device) {
            return i;
        }
    }
    return -1;
}

int MidiService::findInput(int number, const QString& name) {
    if (!inputs_) {
        inputDevices();
    }
    return find(*inputs_, number, name);
}

int MidiService::findOutput(int number, const QString& name) {
    if (!outputs_) {
        outputDevices();
    }
    return find(*outputs_, number, name);
}

QString MidiService::inputName(int device) {
    if (!inputs_) {
        inputDevices();
    }
    return device >= 0 && device < int(inputs_->size()) ? (*inputs_)[device].name : QString();
}

QString MidiService::outputName(int device) {
    if (!outputs_) {
        outputDevices();
    }
    return device >= 0 && device < int(outputs_->size()) ? (*outputs_)[device].name : QString();
}

QStringList MidiService::systemVersions() {
    QStringList versions;
    for (const auto& system : systems()) {
        versions << QString::fromStdString(system->versionText());
    }
    return versions;
}

QString MidiService::rtMidiVersion() {
    return QString::fromStdString(RtMidi::getVersion());
}

QString MidiService::systemOfOutput(int device) {
    if (outputName(device).isEmpty()) {
        return {};
    }
    const Device& found = (*outputs_)[device];
    return found.system != nullptr ? QString::fromStdString(found.system->versionText()) : QString();
}

QString MidiService::keyboardIdentity(int device) {
    const QString name = outputName(device);
    if (name.isEmpty()) {
        return {};
    }
    const Device& found = (*outputs_)[device];
    if (found.system == nullptr) {
        return name;  // an in-process device: its name is its own
    }
    if (found.system == alsa_) {
        // RtMidi names an ALSA port "client:port C:P"; C and P are handed out as clients come.
        static const QRegularExpression numbers(" [0-9]+:[0-9]+$");
        return "ALSA " + QString(name).remove(numbers);
    }
    return "JACK " + name;
}

const MidiService::Device& MidiService::device(const std::vector<Device>& devices,
                                               int number) const {
    if (number < 0 || number >= int(devices.size())) {
        throw MidiSystemError(ErrorCode::BadDevice, {});
    }
    const Device& found = devices[number];
    if (found.system == nullptr && found.inProcess.isNull()) {
        throw MidiSystemError(ErrorCode::DeviceNoLongerAvailable, {found.name});
    }
    return found;
}

void MidiService::setPeriodRequest(int frames) {
    if (frames != periodRequest_) {
        periodRequest_ = frames;
        // Our clients made their request when they opened: new ones make the new one.
        jack_.reset();
        inputs_.reset();
        outputs_.reset();
    }
}

std::unique_ptr<InputPort> MidiService::openInput(int number, MidiReceiver receiver) {
    if (!inputs_) {
        inputDevices();
    }
    const Device& found = device(*inputs_, number);
    receiver = logged(std::move(receiver), found.name);
    if (found.system != nullptr) {
        auto port = found.system->openInput(found.name.toStdString(), std::move(receiver));
        // The period the messages now travel at, in the log whenever it is new.
        if (const std::string graph = found.system->graphText();
            !graph.empty() && graph != graphNoted_) {
            graphNoted_ = graph;
            MidiLog::instance().note(QString::fromStdString(graph));
        }
        return port;
    }
    return std::make_unique<VirtualInput>(found.inProcess.data(), std::move(receiver));
}

std::unique_ptr<OutputPort> MidiService::openOutput(int number) {
    if (!outputs_) {
        outputDevices();
    }
    const Device& found = device(*outputs_, number);
    if (found.system != nullptr) {
        return std::make_unique<LoggedOutput>(found.system->openOutput(found.name.toStdString()),
                                              found.name);
    }
    return std::make_unique<LoggedOutput>(std::make_unique<VirtualOutput>(found.inProcess.data()),
                                          found.name);
}

namespace {

int storedDevice(int found, const QString& name, ErrorCode notConnected, const QString& problem) {
    if (found < 0) {
        throw MidiSystemError(notConnected, {name, problem.isEmpty() ? problem : ' ' + problem});
    }
    return found;
}

}  // namespace

int MidiService::storedInput(int number, const QString& name) {
    return storedDevice(findInput(number, name), name, ErrorCode::InputNotConnected,
                        systemProblem_);
}

int MidiService::storedOutput(int number, const QString& name) {
    return storedDevice(findOutput(number, name), name, ErrorCode::OutputNotConnected,
                        systemProblem_);
}

bool MidiService::isShared(int device) {
    if (!outputs_) {
        outputDevices();
    }
    if (device < 0 || device >= int(outputs_->size())) {
        return false;
    }
    const Device& found = (*outputs_)[device];
    return found.system != nullptr || (builtIn_ != nullptr && found.inProcess == builtIn_);
}

VirtualMidiDevice* MidiService::inProcessOutput(int device) const {
    if (!outputs_ || device < 0 || device >= int(outputs_->size())) {
        return nullptr;
    }
    return (*outputs_)[device].inProcess;
}

void MidiService::beginUse(int device) {
    if (VirtualMidiDevice* inProcess = inProcessOutput(device)) {
        if (const QString failure = inProcess->beginUse(); !failure.isEmpty()) {
            throw SystemError(failure.toStdString());
        }
    }
}

void MidiService::endUse(int device) {
    if (VirtualMidiDevice* inProcess = inProcessOutput(device)) {
        if (const QString failure = inProcess->endUse(); !failure.isEmpty()) {
            throw SystemError(failure.toStdString());
        }
    }
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

QString MidiService::builtInName() const {
    return builtIn_ != nullptr ? builtIn_->name() : QString();
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
