#include "rtmidibackend.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <QFile>
#include <algorithm>
#include <mutex>
#include <optional>
#include <thread>

#include "systemerror.h"

namespace platform::rtmidi {
namespace {

const char* const kClientName = "NvbMan";

// RtMidi reports through a callback once one is installed; this collects what it says so the
// caller can turn a failure into a MidiSystemError on its own thread.
class ErrorSink {
public:
    static void callback(RtMidiError::Type type, const std::string& text, void* self) {
        static_cast<ErrorSink*>(self)->record(type, text);
    }

    // Failures of an open: warnings (such as a name lookup that found nothing) do not count.
    void throwIfFailed() { throwIf(false); }
    // Failures of a send: a warning there means the message was dropped, so it counts too.
    void throwIfAnything() { throwIf(true); }

private:
    void record(RtMidiError::Type type, const std::string& text) {
        if (type == RtMidiError::DEBUG_WARNING) {
            return;
        }
        std::lock_guard lock(mutex_);
        const bool warning = type == RtMidiError::WARNING;
        if (!text_ || (lastWasWarning_ && !warning)) {
            text_ = text;
            lastWasWarning_ = warning;
        }
    }

    void throwIf(bool warningsToo) {
        std::optional<std::string> text;
        bool warning = false;
        {
            std::lock_guard lock(mutex_);
            text.swap(text_);
            warning = lastWasWarning_;
            lastWasWarning_ = false;
        }
        if (text && (warningsToo || !warning)) {
            throw MidiSystemError(*text);
        }
    }

    std::mutex mutex_;
    std::optional<std::string> text_;
    bool lastWasWarning_ = false;
};

struct Backend {
    RtMidi::Api api;
    std::chrono::milliseconds drainTime;
};

void silenceJackLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        jack_set_error_function([](const char*) {});
        jack_set_info_function([](const char*) {});
    });
}

// Asks the JACK server, if one is running, how long one of its processing cycles lasts. RtMidi
// hands outgoing messages to JACK once per cycle; a few cycles are what a queued message needs.
std::optional<std::chrono::milliseconds> jackCycleTime() {
    silenceJackLibrary();
    jack_status_t status{};
    jack_client_t* client = jack_client_open("NvbMan-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return std::nullopt;
    }
    const double frames = jack_get_buffer_size(client);
    const double rate = std::max<double>(1.0, jack_get_sample_rate(client));
    jack_client_close(client);
    return std::chrono::milliseconds(static_cast<long>(frames * 1000.0 / rate) + 1);
}

// Every backend compiled into RtMidi that can be reached now, in RtMidi's order (ALSA before
// JACK on Linux).
std::vector<Backend> availableBackends() {
    std::vector<RtMidi::Api> compiled;
    RtMidi::getCompiledApi(compiled);
    std::vector<Backend> result;
    for (RtMidi::Api api : compiled) {
        switch (api) {
            case RtMidi::RTMIDI_DUMMY:
            case RtMidi::UNSPECIFIED:
                break;
            case RtMidi::LINUX_ALSA:
                // Without the sequencer device the library would only print complaints.
                if (QFile::exists(QStringLiteral("/dev/snd/seq"))) {
                    result.push_back({api, std::chrono::milliseconds(10)});
                }
                break;
            case RtMidi::UNIX_JACK:
                if (auto cycle = jackCycleTime()) {
                    // Bounded: even a huge buffer setting does not hold a close up for long.
                    result.push_back({api, std::min(3 * *cycle, std::chrono::milliseconds(500))});
                }
                break;
            default:
                result.push_back({api, std::chrono::milliseconds(10)});
                break;
        }
    }
    return result;
}

template <typename Port>
std::vector<PortRef> listPorts() {
    std::vector<PortRef> result;
    for (const Backend& backend : availableBackends()) {
        try {
            Port port(backend.api, kClientName);
            ErrorSink sink;
            port.setErrorCallback(&ErrorSink::callback, &sink);
            const unsigned int count = port.getPortCount();
            for (unsigned int i = 0; i < count; ++i) {
                result.push_back({backend.api, i, port.getPortName(i), backend.drainTime});
            }
        } catch (const RtMidiError&) {
            // A backend that fails to start lists nothing; the others still do.
        }
    }
    return result;
}

class RtMidiInput final : public MidiInput {
public:
    RtMidiInput(const PortRef& port, MidiReceiver receiver)
        : receiver_(std::move(receiver)),
          in_(static_cast<RtMidi::Api>(port.api), kClientName, 100) {
        in_.setErrorCallback(&ErrorSink::callback, &sink_);
        // System exclusive is what the keyboard speaks; clock and active sensing are not kept.
        in_.ignoreTypes(false, true, true);
        in_.setCallback(&RtMidiInput::arrived, this);
        in_.openPort(port.index, "NvbMan In");
        sink_.throwIfFailed();
    }

    ~RtMidiInput() override {
        in_.cancelCallback();
        in_.closePort();
    }

private:
    static void arrived(double, std::vector<unsigned char>* message, void* self) {
        if (message != nullptr) {
            static_cast<RtMidiInput*>(self)->receiver_(
                std::vector<std::uint8_t>(message->begin(), message->end()));
        }
    }

    MidiReceiver receiver_;
    ErrorSink sink_;
    RtMidiIn in_;
};

class RtMidiOutput final : public MidiOutput {
public:
    explicit RtMidiOutput(const PortRef& port)
        : out_(static_cast<RtMidi::Api>(port.api), kClientName), drainTime_(port.drainTime) {
        out_.setErrorCallback(&ErrorSink::callback, &sink_);
        out_.openPort(port.index, "NvbMan Out");
        sink_.throwIfFailed();
    }

    ~RtMidiOutput() override {
        if (lastSend_) {
            std::this_thread::sleep_until(*lastSend_ + drainTime_);
        }
        out_.closePort();
    }

    void send(std::span<const std::uint8_t> message) override {
        out_.sendMessage(message.data(), message.size());
        sink_.throwIfAnything();
        lastSend_ = std::chrono::steady_clock::now();
    }

private:
    ErrorSink sink_;
    RtMidiOut out_;
    std::chrono::milliseconds drainTime_;
    std::optional<std::chrono::steady_clock::time_point> lastSend_;
};

template <typename Fn>
auto translateErrors(Fn&& fn) {
    try {
        return fn();
    } catch (const RtMidiError& error) {
        throw MidiSystemError(error.getMessage());
    }
}

}  // namespace

std::vector<PortRef> listInputs() {
    return listPorts<RtMidiIn>();
}
std::vector<PortRef> listOutputs() {
    return listPorts<RtMidiOut>();
}

std::unique_ptr<MidiInput> openInput(const PortRef& port, MidiReceiver receiver) {
    return translateErrors([&]() -> std::unique_ptr<MidiInput> {
        return std::make_unique<RtMidiInput>(port, std::move(receiver));
    });
}

std::unique_ptr<MidiOutput> openOutput(const PortRef& port) {
    return translateErrors(
        [&]() -> std::unique_ptr<MidiOutput> { return std::make_unique<RtMidiOutput>(port); });
}

}  // namespace platform::rtmidi
