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
// - RtMidi's JACK output drops a message its cycle has no buffer or no room for, and cannot
//   say when a message has left: our outputs are our own (jackmidioutput.h), and a close waits
//   until the cycle that wrote the last message has ended.
// - Destroying an RtMidi JACK object while its callback may run is a use-after-free (see
//   rtmidiclient.h), and registering and unregistering ports costs the server a graph change
//   each time. So each client registers its one port once and keeps it: opening a device
//   connects that port to the device, closing disconnects it. Only the backend's end closes
//   the ports, lets the cycles that may still use them pass, and destroys the clients.
// - A process cycle that began before a close may still hand a message of the old connection
//   to the input's callback: an input takes messages only from the cycle in which its new
//   connection is in force, which no message of an earlier connection can reach.
//
// - A JACK 2 server serves its clients' requests (open, register, connect, close) on one
//   thread, which tells every other client of each change and blocks, without bound, writing to
//   a client that stopped reading (a program stopped with SIGSTOP, or hung): from then on every
//   request of every client waits until that client runs again. So each request runs as a
//   bounded call (boundedcall.h); one that outlasts its bound marks the server as not
//   answering, the command fails at once, and what the server's threads or the late call may
//   still use lives in a Session that the late call shares, never in the backend alone.
//
// - PipeWire's JACK (pw-jack) keeps the graph per client: a port or client that one of our
//   clients made shows to the monitor only once the monitor's thread has handled the server's
//   event for it, a moment later. Every look-up of our own things by name waits for them,
//   bounded, where JACK 2 finds them at once.
//
// - PipeWire's graph period costs whole periods per request and answer (pipewirelatency.h):
//   our clients ask for a short one as they open.
//
// One client of our own, the monitor, has no ports: it counts process cycles, makes and checks
// the connections, and lists the ports.

#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>

#include "boundedcall.h"
#include "jackmidioutput.h"
#include "pipewirelatency.h"
#include "rtmidiclient.h"
#include "systembackend.h"
#include "systemerror.h"

namespace platform {
namespace {

using namespace std::chrono_literals;

// How long a wait for the server's cycles may take before the server counts as stuck.
constexpr auto kCycleWaitBound = 2000ms;
// How long one request to the server may take before the server counts as not answering.
// Requests take milliseconds; a loaded machine may make it a few hundred.
constexpr auto kServerCallBound = 5000ms;
// How long PipeWire may take to run at the period our clients asked for.
constexpr auto kPeriodSettleBound = 250ms;
// The cycles that may still run on ports just unregistered, and how long to wait for them.
// Whole periods, once per command at its end: 16 ms at the 256 frames NvbMan asks of PipeWire,
// 32 ms on the tests' JACK 2 (512 frames), 64 ms on PipeWire's own 1,024 frames.
constexpr std::uint64_t kCyclesAfterClose = 3;
constexpr auto kCloseCycleBound = 500ms;
// The port names of our clients; the full names are "<client>:in" and "<client>:out".
const char* const kInputPortName = "in";
const char* const kOutputPortName = "out";

// PipeWire's JACK library says so in its version string ("3.0.0.0 (using PipeWire 0.3.65)");
// JACK 2's is its own version.
bool isPipeWireLibrary() {
    return std::strstr(jack_get_version_string(), "PipeWire") != nullptr;
}

void silenceJackLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
    });
}

// Polls `done` until it holds or `bound` has passed; its last answer.
template <typename Done>
bool waitUntil(std::chrono::milliseconds bound, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return done();
        }
        std::this_thread::sleep_for(200us);
    }
    return true;
}

using rtmidi::PooledClient;
template <typename Client>
using Pool = std::vector<std::unique_ptr<PooledClient<Client>>>;

// Our clients of one server and what the server's threads use: it outlives the backend as long
// as a request that outlasted its bound is still under way, and closes everything when it goes.
class Session {
public:
    ~Session();

    // Server thread.
    static int process(jack_nframes_t, void* self);
    static void shutdown(void* self);

    bool waitForCycle(std::uint64_t cycle, std::chrono::milliseconds bound);

    jack_client_t* monitor = nullptr;
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<bool> shutDown{false};
    std::atomic<bool> notAnswering{false};
    // Only under the MIDI service's lock (the window lists devices while its keyboard
    // thread opens and closes ports).
    Pool<rtmidi::InputClient> inputs;
    Pool<JackMidiOutput> outputs;
    // Clients whose making outlasted its bound, handed over by the late call's thread.
    std::mutex lateMutex;
    Pool<rtmidi::InputClient> lateInputs;
    Pool<JackMidiOutput> lateOutputs;
};

class JackBackend final : public SystemBackend, public std::enable_shared_from_this<JackBackend> {
public:
    static std::shared_ptr<JackBackend> connect(int periodFrames);
    ~JackBackend() override;

    bool isAlive() const override {
        return !session_->shutDown.load() && !session_->notAnswering.load();
    }
    std::vector<std::string> inputNames() override { return ports(JackPortIsOutput); }
    std::vector<std::string> outputNames() override { return ports(JackPortIsInput); }
    std::unique_ptr<InputPort> openInput(const std::string& name, MidiReceiver receiver) override;
    std::unique_ptr<OutputPort> openOutput(const std::string& name) override;
    std::string graphText() override;
    std::string versionText() const override;
    // Once, after our first clients joined PipeWire's graph: until it runs at the period asked.
    void awaitRequestedPeriod();

    bool waitForCycle(std::uint64_t cycle, std::chrono::milliseconds bound = kCycleWaitBound) {
        return session_->waitForCycle(cycle, bound);
    }
    std::uint64_t cycle() const { return session_->cycles.load(); }
    // Blocks until every connection made so far carries messages.
    void awaitConnections();

    void closeInput(PooledClient<rtmidi::InputClient>* pooled, const std::string& device);
    void closeOutput(PooledClient<JackMidiOutput>* pooled, const std::string& device);

private:
    JackBackend(std::shared_ptr<Session> session, int periodRequest)
        : session_(std::move(session)), periodRequest_(periodRequest) {}

    std::vector<std::string> ports(unsigned long flags);
    // An idle client with its port registered, or a new one.
    template <typename Client>
    PooledClient<Client>* acquire(Pool<Client> Session::*pool, Pool<Client> Session::*latePool,
                                  const char* portName);
    // Connects `from` to `to` (one of them `ownPort`, the other `device`) and waits until the
    // server confirms it; on failure throws with a text naming the device.
    void connectPorts(const std::string& from, const std::string& to, const std::string& ownPort,
                      const std::string& device);
    void disconnectPorts(const std::string& from, const std::string& to);
    // Runs one request to the server, bounded; throws once the server has stopped answering.
    template <typename Result>
    Result request(std::function<Result(Session&)> call,
                   std::function<void(Session&, Result&)> whenLate = {});

    std::shared_ptr<Session> session_;
    int periodRequest_ = 0;  // asked of PipeWire's graph by each client as it opens; 0: nothing
    bool periodAwaited_ = false;
    int clientsMade_ = 0;
    std::uint64_t connectionsLiveFromCycle_ = 0;
};

class JackInput final : public InputPort {
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

class JackOutput final : public OutputPort {
public:
    JackOutput(std::shared_ptr<JackBackend> backend, PooledClient<JackMidiOutput>* pooled,
               std::string device)
        : backend_(std::move(backend)), pooled_(pooled), device_(std::move(device)) {}
    ~JackOutput() override { backend_->closeOutput(pooled_, device_); }

    void send(std::span<const std::uint8_t> message) override {
        backend_->awaitConnections();
        pooled_->client->send(message);
    }

private:
    std::shared_ptr<JackBackend> backend_;
    PooledClient<JackMidiOutput>* pooled_;
    std::string device_;
};

Session::~Session() {
    // Every opening has ended by now (the handles hold the backend, and the backend this).
    // Unregister the ports, then let the cycles that may have begun before pass: a callback
    // that still saw its port would otherwise run on what the RtMidi objects free below.
    const auto closePorts = [](auto& pool) {
        for (auto& pooled : pool) {
            pooled->client->port().closePort();
        }
    };
    closePorts(inputs);
    closePorts(lateInputs);
    if (monitor != nullptr && !shutDown.load()) {
        waitForCycle(cycles.load() + kCyclesAfterClose, kCloseCycleBound);
    }
    inputs.clear();
    outputs.clear();
    lateInputs.clear();
    lateOutputs.clear();
    if (monitor != nullptr) {
        jack_deactivate(monitor);
        jack_client_close(monitor);
    }
}

int Session::process(jack_nframes_t, void* self) {
    static_cast<Session*>(self)->cycles.fetch_add(1, std::memory_order_release);
    return 0;
}

void Session::shutdown(void* self) {
    static_cast<Session*>(self)->shutDown.store(true);
}

bool Session::waitForCycle(std::uint64_t cycle, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (cycles.load(std::memory_order_acquire) < cycle) {
        if (shutDown.load() || std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(200us);
    }
    return true;
}

std::shared_ptr<JackBackend> JackBackend::connect(int periodFrames) {
    silenceJackLibrary();
    if (!isPipeWireLibrary()) {
        periodFrames = 0;  // JACK 2's period is the server's, for every program
    }
    const PipeWirePeriodRequest periodRequest(periodFrames);
    // An open that outlasted its bound is still waiting on the server: a second one would only
    // wait behind it.
    static std::atomic<bool> openUnderWay{false};
    if (openUnderWay.exchange(true)) {
        throw MidiSystemError(ErrorCode::JackNotAnswering, {});
    }
    // Made by the call, so that a call that ends late still closes what it opened.
    const std::optional<std::shared_ptr<Session>> session =
        callBounded<std::shared_ptr<Session>>(kServerCallBound, [] {
            struct Done {
                ~Done() { openUnderWay.store(false); }
            } done;
            auto made = std::make_shared<Session>();
            jack_status_t status{};
            made->monitor =
                jack_client_open(rtmidi::ownClientPrefix().c_str(), JackNoStartServer, &status);
            if (made->monitor == nullptr) {
                return std::shared_ptr<Session>();
            }
            jack_set_process_callback(made->monitor, &Session::process, made.get());
            jack_on_shutdown(made->monitor, &Session::shutdown, made.get());
            if (jack_activate(made->monitor) != 0) {
                return std::shared_ptr<Session>();  // its destructor closes the monitor
            }
            return made;
        });
    if (!session) {
        throw MidiSystemError(ErrorCode::JackNotAnswering, {});
    }
    if (*session == nullptr) {
        return nullptr;
    }
    return std::shared_ptr<JackBackend>(new JackBackend(*session, periodFrames));
}

std::string JackBackend::versionText() const {
    const std::string version = jack_get_version_string();
    return isPipeWireLibrary() ? "PipeWire (JACK " + version + ")" : "JACK " + version;
}

std::string JackBackend::graphText() {
    // Both read what the client knows already: no request to the server.
    const jack_nframes_t frames = jack_get_buffer_size(session_->monitor);
    const jack_nframes_t rate = jack_get_sample_rate(session_->monitor);
    if (frames == 0 || rate == 0) {
        return {};
    }
    const std::string version = jack_get_version_string();
    std::string text = isPipeWireLibrary() ? "PipeWire through its JACK library (" + version + ")"
                                           : "JACK " + version;
    char period[128];
    std::snprintf(period, sizeof period, ": period %u frames at %u Hz (%.1f ms)", frames, rate,
                  1000.0 * frames / rate);
    text += period;
    if (isPipeWireLibrary()) {
        text += "; " + pipeWireRequestText(periodRequest_);
    }
    return text;
}

JackBackend::~JackBackend() {
    // Closing talks to the server, so it is bounded like every request; a server that does not
    // answer is not waited for at all, and the session closes when (if ever) it answers again.
    const auto bound = session_->notAnswering.load() ? 0ms : kServerCallBound;
    callBounded(bound, [session = std::move(session_)]() mutable { session.reset(); });
}

template <typename Result>
Result JackBackend::request(std::function<Result(Session&)> call,
                            std::function<void(Session&, Result&)> whenLate) {
    if (session_->notAnswering.load()) {
        throw MidiSystemError(ErrorCode::JackNotAnswering, {});
    }
    std::optional<Result> result = callBounded<Result>(
        kServerCallBound, [session = session_, call = std::move(call)] { return call(*session); },
        [session = session_, whenLate = std::move(whenLate)](Result& late) {
            if (whenLate) {
                whenLate(*session, late);
            }
        });
    if (!result) {
        session_->notAnswering.store(true);
        throw MidiSystemError(ErrorCode::JackNotAnswering, {});
    }
    return std::move(*result);
}

void JackBackend::awaitConnections() {
    if (!waitForCycle(connectionsLiveFromCycle_)) {
        throw MidiSystemError(
            session_->shutDown.load() ? ErrorCode::JackStopped : ErrorCode::JackNoCycles, {});
    }
}

std::vector<std::string> JackBackend::ports(unsigned long flags) {
    std::vector<std::string> names;
    if (!isAlive()) {
        return names;
    }
    // Read from the graph the server shares with its clients: no request, nothing to bound.
    const char** found = jack_get_ports(session_->monitor, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
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
PooledClient<Client>* JackBackend::acquire(Pool<Client> Session::*pool,
                                           Pool<Client> Session::*latePool, const char* portName) {
    Pool<Client>& clients = (*session_).*pool;
    for (auto& pooled : clients) {
        if (!pooled->inUse) {
            pooled->inUse = true;
            return pooled.get();
        }
    }
    const std::string name = rtmidi::ownClientName(++clientsMade_);
    using Made = std::unique_ptr<PooledClient<Client>>;
    const PipeWirePeriodRequest periodRequest(periodRequest_);
    Made made = request<Made>(
        [name, portName]([[maybe_unused]] Session& session) {
            if constexpr (std::is_same_v<Client, JackMidiOutput>) {
                return std::make_unique<PooledClient<Client>>(
                    std::make_unique<JackMidiOutput>(name, portName));
            } else {
                auto pooled = rtmidi::makePooledClient<Client>(RtMidi::UNIX_JACK, name);
                // RtMidi only warns when its client could not be made, and would then register a
                // port on no client at all: make sure the server knows it.
                const bool known = waitUntil(kCycleWaitBound, [&] {
                    char* uuid = jack_get_uuid_for_client_name(session.monitor, name.c_str());
                    jack_free(uuid);
                    return uuid != nullptr;
                });
                if (!known) {
                    throw MidiSystemError(ErrorCode::JackRefusedClient,
                                          {QString::fromStdString(name)});
                }
                pooled->client->setCycleCounter(&session.cycles);
                pooled->client->port().openVirtualPort(portName);
                pooled->client->errors().throwIfFailed();
                return pooled;
            }
        },
        [latePool](Session& session, Made& late) {
            std::lock_guard lock(session.lateMutex);
            (session.*latePool).push_back(std::move(late));
        });
    clients.push_back(std::move(made));
    clients.back()->inUse = true;
    return clients.back().get();
}

void JackBackend::connectPorts(const std::string& from, const std::string& to,
                               const std::string& ownPort, const std::string& device) {
    jack_port_t* ours = nullptr;
    waitUntil(kCycleWaitBound, [&] {
        ours = jack_port_by_name(session_->monitor, ownPort.c_str());
        return ours != nullptr || !isAlive();
    });
    if (ours == nullptr) {
        throw MidiSystemError(ErrorCode::JackPortNotRegistered, {QString::fromStdString(ownPort)});
    }
    const int result = request<int>([from, to](Session& session) {
        return jack_connect(session.monitor, from.c_str(), to.c_str());
    });
    if (result != 0 && result != EEXIST) {
        throw MidiSystemError(ErrorCode::DeviceNotAvailable, {QString::fromStdString(device)});
    }
    // Confirmed on our own port, by the device's full name: the port connected is the one named.
    const auto deadline = std::chrono::steady_clock::now() + kCycleWaitBound;
    while (!jack_port_connected_to(ours, device.c_str())) {
        if (!isAlive() || std::chrono::steady_clock::now() > deadline) {
            throw MidiSystemError(ErrorCode::JackConnectionNotConfirmed,
                                  {QString::fromStdString(device)});
        }
        std::this_thread::sleep_for(200us);
    }
    // The graph with the new connection is in force from the next cycle that begins; one that
    // began before the connection may still be running. Up to two periods, once per command
    // (its ports stay connected): 11 ms at 256 frames, 43 ms at PipeWire's own 1,024. Each
    // request and its answer cost about two periods more, in the graph itself.
    connectionsLiveFromCycle_ = std::max(connectionsLiveFromCycle_, cycle() + 2);
}

void JackBackend::disconnectPorts(const std::string& from, const std::string& to) {
    // A close cannot fail: on a server that does not answer the connection goes with the
    // session, and the client is not handed out again (the backend is replaced).
    try {
        request<int>([from, to](Session& session) {
            return jack_disconnect(session.monitor, from.c_str(), to.c_str());
        });
    } catch (const MidiSystemError&) {
    }
}

std::unique_ptr<InputPort> JackBackend::openInput(const std::string& name, MidiReceiver receiver) {
    if (!isAlive()) {
        throw MidiSystemError(
            session_->shutDown.load() ? ErrorCode::JackStopped : ErrorCode::JackNotAnswering, {});
    }
    PooledClient<rtmidi::InputClient>* pooled =
        acquire(&Session::inputs, &Session::lateInputs, kInputPortName);
    rtmidi::InputClient& client = *pooled->client;
    // From here on the handle owns the opening: its destructor undoes whatever was done.
    auto handle = std::make_unique<JackInput>(shared_from_this(), pooled, name);
    const std::string ownPort = client.clientName() + ":" + kInputPortName;
    connectPorts(name, ownPort, ownPort, name);
    client.startReceiving(std::move(receiver), connectionsLiveFromCycle_);
    awaitRequestedPeriod();
    return handle;
}

void JackBackend::awaitRequestedPeriod() {
    if (periodRequest_ <= 0 || periodAwaited_) {
        return;
    }
    // PipeWire changes the period a few cycles after our clients joined (a 1,024-frame cycle
    // is 21 ms); another program's client that locks the period keeps it, and then the wait
    // ends unmet. Once per backend: later clients join a graph that has settled.
    periodAwaited_ = true;
    waitUntil(kPeriodSettleBound, [&] {
        const jack_nframes_t rate = jack_get_sample_rate(session_->monitor);
        const jack_nframes_t wanted =
            rate * jack_nframes_t(periodRequest_) / jack_nframes_t(kPipeWireRequestRate);
        return jack_get_buffer_size(session_->monitor) <= wanted;
    });
}

std::unique_ptr<OutputPort> JackBackend::openOutput(const std::string& name) {
    if (!isAlive()) {
        throw MidiSystemError(
            session_->shutDown.load() ? ErrorCode::JackStopped : ErrorCode::JackNotAnswering, {});
    }
    PooledClient<JackMidiOutput>* pooled =
        acquire(&Session::outputs, &Session::lateOutputs, kOutputPortName);
    auto handle = std::make_unique<JackOutput>(shared_from_this(), pooled, name);
    const std::string ownPort = pooled->client->clientName() + ":" + kOutputPortName;
    connectPorts(ownPort, name, ownPort, name);
    return handle;
}

void JackBackend::closeInput(PooledClient<rtmidi::InputClient>* pooled, const std::string& device) {
    pooled->client->stopReceiving();
    disconnectPorts(device, pooled->client->clientName() + ":" + kInputPortName);
    pooled->inUse = false;
}

void JackBackend::closeOutput(PooledClient<JackMidiOutput>* pooled, const std::string& device) {
    // Nothing sent may be cut off: the port stays connected until the cycle that wrote the last
    // message has ended (a server that stops cycling ends the wait; the command then fails on
    // the answer that never comes).
    pooled->client->waitUntilDelivered(kCloseCycleBound);
    disconnectPorts(pooled->client->clientName() + ":" + kOutputPortName, device);
    pooled->inUse = false;
}

}  // namespace

std::shared_ptr<SystemBackend> connectJack(int periodFrames) {
    return JackBackend::connect(periodFrames);
}

}  // namespace platform
