// The JACK server as the MIDI service uses it.
//
// What JACK and RtMidi 5.0 do that shapes this file (measured on JACK 2 with the dummy driver):
// - jack_connect() returns before the connection carries anything: the graph changes at the
//   start of a later process cycle, so a message sent at once, or an answer to it, is lost.
//   A connection counts as made once jack_port_connected_to() says so and a whole cycle has
//   begun since.
// - JACK lists ports in port-id order and reuses the lowest free id, and the program's own
//   ports are listed too: a number from one listing can name another port (even our own) a
//   moment later. Ports are therefore connected by name, by us, never by RtMidi's index.
// - RtMidi's JACK output hands messages to its process callback through a ring buffer; a port
//   disconnected before the callback has taken them loses them.
// - Destroying an RtMidi JACK object while its callback may run is a use-after-free (see
//   rtmidiclient.h), and registering and unregistering ports costs the server a graph change
//   each time. So each client registers its one port once and keeps it: opening a device
//   connects that port to the device, closing disconnects it. Only the backend's end closes
//   the ports, lets the cycles that may still use them pass, and destroys the clients.
// - A process cycle that began before a close may still hand a message of the old connection
//   to the input's callback: an input takes messages only from the cycle in which its new
//   connection is in force, which no message of an earlier connection can reach.
//
// One client of our own, the monitor, has no ports: it counts process cycles, makes and checks
// the connections, and lists the ports.

#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "rtmidiclient.h"
#include "systembackend.h"
#include "systemerror.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// How long a wait for the server's cycles may take before the server counts as stuck.
constexpr auto kCycleWaitBound = 2000ms;
// The port names of our clients; the full names are "<client>:in" and "<client>:out".
const char* const kInputPortName = "in";
const char* const kOutputPortName = "out";

void silenceJackLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
    });
}

using rtmidi::PooledClient;

class JackBackend final : public SystemBackend, public std::enable_shared_from_this<JackBackend> {
public:
    static std::shared_ptr<JackBackend> connect();
    ~JackBackend() override;

    bool isAlive() const override { return !shutDown_.load(); }
    std::vector<std::string> inputNames() override { return ports(JackPortIsOutput); }
    std::vector<std::string> outputNames() override { return ports(JackPortIsInput); }
    std::unique_ptr<MidiInput> openInput(const std::string& name, MidiReceiver receiver) override;
    std::unique_ptr<MidiOutput> openOutput(const std::string& name) override;

    // Blocks until the server has begun `cycle` (counted from our activation), bounded; false
    // when the server did not get there in time.
    bool waitForCycle(std::uint64_t cycle, std::chrono::milliseconds bound = kCycleWaitBound);
    std::uint64_t cycle() const { return cycles_.load(); }
    // Blocks until every connection made so far carries messages.
    void awaitConnections();

    void closeInput(PooledClient<rtmidi::InputClient>* pooled, const std::string& device);
    void closeOutput(PooledClient<rtmidi::OutputClient>* pooled, const std::string& device,
                     std::optional<std::uint64_t> lastSendCycle);

private:
    explicit JackBackend(jack_client_t* monitor) : monitor_(monitor) {}

    static int process(jack_nframes_t, void* self);
    static void shutdown(void* self);

    std::vector<std::string> ports(unsigned long flags);
    // An idle client with its port registered, or a new one.
    template <typename Client>
    PooledClient<Client>* acquire(std::vector<std::unique_ptr<PooledClient<Client>>>& pool,
                                  const char* portName);
    // Connects `from` to `to` (one of them `ownPort`, the other `device`) and waits until the
    // server confirms it; on failure throws with a text naming the device.
    void connectPorts(const std::string& from, const std::string& to, const std::string& ownPort,
                      const std::string& device);

    jack_client_t* monitor_;
    std::atomic<std::uint64_t> cycles_{0};
    std::atomic<bool> shutDown_{false};
    int clientsMade_ = 0;
    std::uint64_t connectionsLiveFromCycle_ = 0;
    std::vector<std::unique_ptr<PooledClient<rtmidi::InputClient>>> inputs_;
    std::vector<std::unique_ptr<PooledClient<rtmidi::OutputClient>>> outputs_;
};

class JackInput final : public MidiInput {
public:
    JackInput(std::shared_ptr<JackBackend> backend, PooledClient<rtmidi::InputClient>* pooled,
              std::string device)
        : backend_(std::move(backend)), pooled_(pooled), device_(std::move(device)) {}
    ~JackInput() override { backend_->closeInput(pooled_, device_); }
    void flush() override { pooled_->client->flush(); }

private:
    std::shared_ptr<JackBackend> backend_;
    PooledClient<rtmidi::InputClient>* pooled_;
    std::string device_;
};

class JackOutput final : public MidiOutput {
public:
    JackOutput(std::shared_ptr<JackBackend> backend, PooledClient<rtmidi::OutputClient>* pooled,
               std::string device)
        : backend_(std::move(backend)), pooled_(pooled), device_(std::move(device)) {}
    ~JackOutput() override { backend_->closeOutput(pooled_, device_, lastSendCycle_); }

    void send(std::span<const std::uint8_t> message) override {
        backend_->awaitConnections();
        rtmidi::OutputClient& client = *pooled_->client;
        client.port().sendMessage(message.data(), message.size());
        client.errors().throwIfAnything();
        lastSendCycle_ = backend_->cycle();
    }

private:
    std::shared_ptr<JackBackend> backend_;
    PooledClient<rtmidi::OutputClient>* pooled_;
    std::string device_;
    std::optional<std::uint64_t> lastSendCycle_;
};

std::shared_ptr<JackBackend> JackBackend::connect() {
    silenceJackLibrary();
    jack_status_t status{};
    jack_client_t* monitor =
        jack_client_open(rtmidi::ownClientPrefix().c_str(), JackNoStartServer, &status);
    if (monitor == nullptr) {
        return nullptr;
    }
    std::shared_ptr<JackBackend> backend(new JackBackend(monitor));
    jack_set_process_callback(monitor, &JackBackend::process, backend.get());
    jack_on_shutdown(monitor, &JackBackend::shutdown, backend.get());
    if (jack_activate(monitor) != 0) {
        return nullptr;  // the destructor closes the monitor
    }
    return backend;
}

JackBackend::~JackBackend() {
    // Every opening has ended by now (the handles hold the backend). Unregister the ports, then
    // let the cycles that may have begun before pass: a callback that still saw its port would
    // otherwise run on what the RtMidi objects free below.
    for (auto& pooled : inputs_) {
        pooled->client->port().closePort();
    }
    for (auto& pooled : outputs_) {
        pooled->client->port().closePort();
    }
    if (isAlive()) {
        waitForCycle(cycle() + 3, 500ms);
    }
    inputs_.clear();
    outputs_.clear();
    jack_deactivate(monitor_);
    jack_client_close(monitor_);
}

int JackBackend::process(jack_nframes_t, void* self) {
    static_cast<JackBackend*>(self)->cycles_.fetch_add(1, std::memory_order_release);
    return 0;
}

void JackBackend::shutdown(void* self) {
    static_cast<JackBackend*>(self)->shutDown_.store(true);
}

bool JackBackend::waitForCycle(std::uint64_t cycle, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (cycles_.load(std::memory_order_acquire) < cycle) {
        if (shutDown_.load() || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(200us);
    }
    return true;
}

void JackBackend::awaitConnections() {
    if (!waitForCycle(connectionsLiveFromCycle_)) {
        throw MidiSystemError(isAlive() ? "The JACK server does not run its process cycles."
                                        : "The JACK server has stopped.");
    }
}

std::vector<std::string> JackBackend::ports(unsigned long flags) {
    std::vector<std::string> names;
    if (!isAlive()) {
        return names;
    }
    const char** found = jack_get_ports(monitor_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
    if (found == nullptr) {
        return names;
    }
    for (const char** port = found; *port != nullptr; ++port) {
        if (!rtmidi::isOwnPort(*port)) {
            names.emplace_back(*port);
        }
    }
    jack_free(found);
    return names;
}

template <typename Client>
PooledClient<Client>* JackBackend::acquire(std::vector<std::unique_ptr<PooledClient<Client>>>& pool,
                                           const char* portName) {
    for (auto& pooled : pool) {
        if (!pooled->inUse) {
            pooled->inUse = true;
            return pooled.get();
        }
    }
    const std::string name = rtmidi::ownClientName(++clientsMade_);
    auto pooled = rtmidi::makePooledClient<Client>(RtMidi::UNIX_JACK, name);
    // RtMidi only warns when its client could not be made, and would then register a port on
    // no client at all: make sure the server knows it.
    char* uuid = jack_get_uuid_for_client_name(monitor_, name.c_str());
    if (uuid == nullptr) {
        throw MidiSystemError("The JACK server refused the client \"" + name + "\".");
    }
    jack_free(uuid);
    if constexpr (std::is_same_v<Client, rtmidi::InputClient>) {
        pooled->client->setCycleCounter(&cycles_);
    }
    pooled->client->port().openVirtualPort(portName);
    pooled->client->errors().throwIfFailed();
    pool.push_back(std::move(pooled));
    pool.back()->inUse = true;
    return pool.back().get();
}

void JackBackend::connectPorts(const std::string& from, const std::string& to,
                               const std::string& ownPort, const std::string& device) {
    jack_port_t* ours = jack_port_by_name(monitor_, ownPort.c_str());
    if (ours == nullptr) {
        throw MidiSystemError("The JACK server did not register the port \"" + ownPort + "\".");
    }
    const int result = jack_connect(monitor_, from.c_str(), to.c_str());
    if (result != 0 && result != EEXIST) {
        throw MidiSystemError("The MIDI device \"" + device + "\" is not available.");
    }
    // Confirmed on our own port, by the device's full name: the port connected is the one named.
    const auto deadline = std::chrono::steady_clock::now() + kCycleWaitBound;
    while (!jack_port_connected_to(ours, device.c_str())) {
        if (!isAlive() || std::chrono::steady_clock::now() > deadline) {
            throw MidiSystemError("The connection to the MIDI device \"" + device +
                                  "\" was not confirmed by the JACK server.");
        }
        std::this_thread::sleep_for(200us);
    }
    // The graph with the new connection is in force from the next cycle that begins; one that
    // began before the connection may still be running.
    connectionsLiveFromCycle_ = std::max(connectionsLiveFromCycle_, cycle() + 2);
}

std::unique_ptr<MidiInput> JackBackend::openInput(const std::string& name, MidiReceiver receiver) {
    if (!isAlive()) {
        throw MidiSystemError("The JACK server has stopped.");
    }
    PooledClient<rtmidi::InputClient>* pooled = acquire(inputs_, kInputPortName);
    rtmidi::InputClient& client = *pooled->client;
    // From here on the handle owns the opening: its destructor undoes whatever was done.
    auto handle = std::make_unique<JackInput>(shared_from_this(), pooled, name);
    const std::string ownPort = client.clientName() + ":" + kInputPortName;
    connectPorts(name, ownPort, ownPort, name);
    client.startReceiving(std::move(receiver), connectionsLiveFromCycle_);
    return handle;
}

std::unique_ptr<MidiOutput> JackBackend::openOutput(const std::string& name) {
    if (!isAlive()) {
        throw MidiSystemError("The JACK server has stopped.");
    }
    PooledClient<rtmidi::OutputClient>* pooled = acquire(outputs_, kOutputPortName);
    auto handle = std::make_unique<JackOutput>(shared_from_this(), pooled, name);
    const std::string ownPort = pooled->client->clientName() + ":" + kOutputPortName;
    connectPorts(ownPort, name, ownPort, name);
    return handle;
}

void JackBackend::closeInput(PooledClient<rtmidi::InputClient>* pooled, const std::string& device) {
    pooled->client->stopReceiving();
    const std::string ownPort = pooled->client->clientName() + ":" + kInputPortName;
    jack_disconnect(monitor_, device.c_str(), ownPort.c_str());
    pooled->inUse = false;
}

void JackBackend::closeOutput(PooledClient<rtmidi::OutputClient>* pooled, const std::string& device,
                              std::optional<std::uint64_t> lastSendCycle) {
    if (lastSendCycle) {
        // The message sent last leaves the ring buffer in the first cycle that begins after the
        // send and reaches the device within that cycle: wait until that cycle has ended.
        waitForCycle(*lastSendCycle + 3, 500ms);
    }
    const std::string ownPort = pooled->client->clientName() + ":" + kOutputPortName;
    jack_disconnect(monitor_, ownPort.c_str(), device.c_str());
    pooled->inUse = false;
}

}  // namespace

std::shared_ptr<SystemBackend> connectJack() {
    return JackBackend::connect();
}

}  // namespace platform
