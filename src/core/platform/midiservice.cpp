#include "midiservice.h"

#include <rtmidi/RtMidi.h>

#include <QRegularExpression>
#include <QThread>
#include <algorithm>

#include "handover.h"
#include "keyboardthread.h"
#include "midilog.h"
#include "settingsstore.h"
#include "systembackend.h"
#include "systemerror.h"

namespace platform {

namespace {

// The MIDI service's lock: one call at a time from any thread. Recursive, as the service's
// calls use each other.
std::recursive_mutex& serviceMutex() {
    static std::recursive_mutex mutex;
    return mutex;
}

// A MIDI system's port whose closing takes the service's lock: closing gives the system's
// client back to the service's pool, which a listing on another thread may be reading.
class LockedInput final : public InputPort {
public:
    explicit LockedInput(std::unique_ptr<InputPort> port) : port_(std::move(port)) {}
    ~LockedInput() override {
        const std::lock_guard lock(serviceMutex());
        port_.reset();
    }
    void flush() override { port_->flush(); }

private:
    std::unique_ptr<InputPort> port_;
};

class LockedOutput final : public OutputPort {
public:
    explicit LockedOutput(std::unique_ptr<OutputPort> port) : port_(std::move(port)) {}
    ~LockedOutput() override {
        const std::lock_guard lock(serviceMutex());
        port_.reset();
    }
    void send(std::span<const std::uint8_t> message) override { port_->send(message); }

private:
    std::unique_ptr<OutputPort> port_;
};

}  // namespace

// A program input open on an in-process device. The device hands it messages from the device's
// own thread; the receiver hears them from the event loop of the thread that opened the input
// (a plain call when the two are one thread, as in the command-line tool).
class VirtualInput final : public InputPort {
public:
    VirtualInput(VirtualMidiDevice* device, MidiReceiver receiver)
        : device_(device), receiver_(std::move(receiver)), context_(std::make_unique<QObject>()) {
        const std::lock_guard lock(device_->inputsMutex_);
        device_->inputs_.push_back(this);
    }

    // Once detached no message is handed over any more, and the context's going drops the
    // messages already posted to it.
    ~VirtualInput() override { detach(); }

    // The device's thread, under the device's lock.
    void deliver(const std::vector<std::uint8_t>& message) {
        if (context_->thread() == QThread::currentThread()) {
            receiver_(message);
            return;
        }
        postTo(context_.get(), [this, message] { receiver_(message); });
    }

    // The device outlives every command that opens it, so device_ is never read while the
    // device goes.
    void detach() {
        if (device_ != nullptr) {
            const std::lock_guard lock(device_->inputsMutex_);
            std::erase(device_->inputs_, this);
            device_ = nullptr;
        }
    }

private:
    VirtualMidiDevice* device_;
    MidiReceiver receiver_;
    std::unique_ptr<QObject> context_;  // lives on the opening thread
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
        postTo(device_.data(), [device = device_.data(), bytes] { device->receive(bytes); });
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

// The receiver, with the MIDI log recording what it is handed (on the thread that opened the
// input).
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
    // Out of the service's lists first, under the service's lock alone: an opening holds that
    // lock and then takes this device's, so holding this device's lock while waiting for the
    // service's would deadlock against it. Once out of the lists no opening can reach the
    // device, and one that was under way has finished.
    MidiService::instance().removeVirtualDevice(this);
    const std::lock_guard lock(inputsMutex_);
    while (!inputs_.empty()) {
        inputs_.back()->detach();
    }
}

void VirtualMidiDevice::transmit(const std::vector<std::uint8_t>& message) {
    // Held throughout: an input on another thread is not closed while it is handed a message.
    const std::lock_guard lock(inputsMutex_);
    // Copied first: a receiver on this thread could close its input and so change the list.
    const std::vector<VirtualInput*> inputs = inputs_;
    for (VirtualInput* input : inputs) {
        input->deliver(message);
    }
}

MidiService::MidiService() : periodRequest_(kDefaultPipeWirePeriod) {}

QString MidiService::systemProblem() const {
    const std::lock_guard lock(serviceMutex());
    return systemProblem_;
}

int MidiService::periodRequest() const {
    const std::lock_guard lock(serviceMutex());
    return periodRequest_;
}
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
    const std::lock_guard lock(serviceMutex());
    inputs_ = enumerate(true);
    return namesOf(*inputs_);
}

QStringList MidiService::outputDevices() {
    const std::lock_guard lock(serviceMutex());
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
    const std::lock_guard lock(serviceMutex());
    if (!inputs_) {
        inputDevices();
    }
    return find(*inputs_, number, name);
}

int MidiService::findOutput(int number, const QString& name) {
    const std::lock_guard lock(serviceMutex());
    if (!outputs_) {
        outputDevices();
    }
    return find(*outputs_, number, name);
}

QString MidiService::inputName(int device) {
    const std::lock_guard lock(serviceMutex());
    if (!inputs_) {
        inputDevices();
    }
    return device >= 0 && device < int(inputs_->size()) ? (*inputs_)[device].name : QString();
}

QString MidiService::outputName(int device) {
    const std::lock_guard lock(serviceMutex());
    if (!outputs_) {
        outputDevices();
    }
    return device >= 0 && device < int(outputs_->size()) ? (*outputs_)[device].name : QString();
}

QStringList MidiService::systemVersions() {
    const std::lock_guard lock(serviceMutex());
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
    const std::lock_guard lock(serviceMutex());
    if (outputName(device).isEmpty()) {
        return {};
    }
    const Device& found = (*outputs_)[device];
    return found.system != nullptr ? QString::fromStdString(found.system->versionText())
                                   : QString();
}

QString MidiService::keyboardIdentity(int device) {
    const std::lock_guard lock(serviceMutex());
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
    const std::lock_guard lock(serviceMutex());
    if (frames != periodRequest_) {
        periodRequest_ = frames;
        // Our clients made their request when they opened: new ones make the new one.
        jack_.reset();
        inputs_.reset();
        outputs_.reset();
    }
}

std::unique_ptr<InputPort> MidiService::openInput(int number, MidiReceiver receiver) {
    const std::lock_guard lock(serviceMutex());
    if (!inputs_) {
        inputDevices();
    }
    const Device& found = device(*inputs_, number);
    receiver = logged(std::move(receiver), found.name);
    if (found.system != nullptr) {
        auto port = std::make_unique<LockedInput>(
            found.system->openInput(found.name.toStdString(), std::move(receiver)));
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
    const std::lock_guard lock(serviceMutex());
    if (!outputs_) {
        outputDevices();
    }
    const Device& found = device(*outputs_, number);
    if (found.system != nullptr) {
        return std::make_unique<LoggedOutput>(
            std::make_unique<LockedOutput>(found.system->openOutput(found.name.toStdString())),
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
    const std::lock_guard lock(serviceMutex());
    return storedDevice(findInput(number, name), name, ErrorCode::InputNotConnected,
                        systemProblem_);
}

int MidiService::storedOutput(int number, const QString& name) {
    const std::lock_guard lock(serviceMutex());
    return storedDevice(findOutput(number, name), name, ErrorCode::OutputNotConnected,
                        systemProblem_);
}

QString sharedDeviceName(const QString& deviceName, const QString& stateFile) {
    return deviceName + QLatin1Char('\n') + stateFile;
}

QString MidiService::sharedName(int device) {
    const std::lock_guard lock(serviceMutex());
    if (!outputs_) {
        outputDevices();
    }
    if (device < 0 || device >= int(outputs_->size())) {
        return {};
    }
    const Device& found = (*outputs_)[device];
    if (found.system != nullptr) {
        return found.name;
    }
    const QString state = found.inProcess != nullptr ? found.inProcess->sharedState() : QString();
    return state.isEmpty() ? QString() : sharedDeviceName(found.name, state);
}

VirtualMidiDevice* MidiService::inProcessOutput(int device) const {
    if (!outputs_ || device < 0 || device >= int(outputs_->size())) {
        return nullptr;
    }
    return (*outputs_)[device].inProcess;
}

namespace {

// Tells an in-process device that a command begins or ends its use, on the device's own thread
// (where it takes its messages), and throws what it reports. Never under the service's lock:
// the device's thread may be busy with a call to the service meanwhile.
void tellDevice(VirtualMidiDevice* device, QString (VirtualMidiDevice::*hook)()) {
    if (device == nullptr) {
        return;
    }
    QString failure;
    callOn(device, [&] { failure = (device->*hook)(); });
    if (!failure.isEmpty()) {
        throw SystemError(failure.toStdString());
    }
}

}  // namespace

void MidiService::beginUse(int device) {
    VirtualMidiDevice* inProcess = nullptr;
    {
        const std::lock_guard lock(serviceMutex());
        inProcess = inProcessOutput(device);
    }
    tellDevice(inProcess, &VirtualMidiDevice::beginUse);
}

void MidiService::endUse(int device) {
    VirtualMidiDevice* inProcess = nullptr;
    {
        const std::lock_guard lock(serviceMutex());
        inProcess = inProcessOutput(device);
    }
    tellDevice(inProcess, &VirtualMidiDevice::endUse);
}

void MidiService::addVirtualDevice(VirtualMidiDevice* device) {
    const std::lock_guard lock(serviceMutex());
    if (device != nullptr && std::find(virtualDevices_.begin(), virtualDevices_.end(), device) ==
                                 virtualDevices_.end()) {
        virtualDevices_.push_back(device);
    }
}

void MidiService::removeVirtualDevice(VirtualMidiDevice* device) {
    const std::lock_guard lock(serviceMutex());
    std::erase(virtualDevices_, device);
    if (builtIn_ == device) {
        builtIn_ = nullptr;
    }
}

QString MidiService::builtInName() const {
    const std::lock_guard lock(serviceMutex());
    return builtIn_ != nullptr ? builtIn_->name() : QString();
}

void MidiService::setBuiltInDevice(VirtualMidiDevice* device) {
    const std::lock_guard lock(serviceMutex());
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
