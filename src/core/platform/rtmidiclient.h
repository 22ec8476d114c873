#pragma once

// The RtMidi objects the backends keep for the life of the process. Internal to the MIDI
// service.
//
// RtMidi 5.0 cannot destroy a client safely while its backend may still call it: the JACK
// output frees its ring buffer before it closes its JACK client, so a process cycle already
// under way reads freed memory, and cancelCallback() races the callback thread on JACK and ALSA.
// So a client is made once, its callback is installed once, ports are opened and closed on it,
// and an idle client is handed to the next opening instead of being destroyed.

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "midiinbox.h"
#include "midiservice.h"
#include "systemerror.h"

namespace platform::rtmidi {

// RtMidi reports through a callback once one is installed; this collects what it says so the
// caller can turn a failure into a MidiSystemError on its own thread.
class ErrorSink {
public:
    static void callback(RtMidiError::Type type, const std::string& text, void* self);

    // Failures of an open: warnings (such as a name lookup that found nothing) do not count.
    void throwIfFailed() { throwIf(false); }
    // Failures of a send: a warning there means the message was dropped, so it counts too.
    void throwIfAnything() { throwIf(true); }
    void clear();

private:
    void record(RtMidiError::Type type, const std::string& text);
    void throwIf(bool warningsToo);

    std::mutex mutex_;
    std::optional<std::string> text_;
    bool lastWasWarning_ = false;
};

// A name for a client of this process, unique on the machine (JACK renames a client whose name
// is taken, and the program must know its own ports' full names): "NvbMan-<pid>-<n>".
std::string ownClientName(int n);
// What every client name of this process begins with.
std::string ownClientPrefix();
// True when a port's full name ("client:port") belongs to one of this process's clients.
bool isOwnPort(const std::string& fullName);

// One RtMidiIn whose callback stays installed for its whole life. What arrives goes, through a
// lock-free inbox, to the receiver of the current opening on its opening thread; between openings
// it is dropped.
class InputClient {
public:
    InputClient(RtMidi::Api api, const std::string& clientName);

    RtMidiIn& port() { return in_; }
    ErrorSink& errors() { return sink_; }
    const std::string& clientName() const { return clientName_; }

    // JACK: the backend's count of process cycles, so that an opening can refuse what arrives
    // before its connection is in force. Set once, before the first opening.
    void setCycleCounter(const std::atomic<std::uint64_t>* cycles) { cycles_.store(cycles); }

    // Opening thread. From now on (and from cycle `fromCycle` on, with a cycle counter) every
    // message that arrives reaches `receiver` from that thread's event loop.
    void startReceiving(MidiReceiver receiver, std::uint64_t fromCycle = 0);
    // Opening thread. Once this has returned the receiver is never called again.
    void stopReceiving();
    // Opening thread. What has arrived reaches the receiver now.
    void flush() { inbox_.drain(); }

private:
    static void arrived(double, std::vector<unsigned char>* message, void* self);

    std::string clientName_;
    std::atomic<const std::atomic<std::uint64_t>*> cycles_{nullptr};
    std::atomic<std::uint64_t> fromCycle_{0};
    MidiInbox inbox_;
    ErrorSink sink_;
    RtMidiIn in_;  // last: destroyed first, while the inbox and the sink still exist
};

class OutputClient {
public:
    OutputClient(RtMidi::Api api, const std::string& clientName);

    RtMidiOut& port() { return out_; }
    ErrorSink& errors() { return sink_; }
    const std::string& clientName() const { return clientName_; }

private:
    std::string clientName_;
    ErrorSink sink_;
    RtMidiOut out_;
};

// A long-lived client and whether an opening holds it.
template <typename Client>
struct PooledClient {
    explicit PooledClient(std::unique_ptr<Client> c) : client(std::move(c)) {}
    std::unique_ptr<Client> client;
    bool inUse = false;
};

// Makes a client of the given kind, with RtMidi's failures as MidiSystemError.
template <typename Client>
std::unique_ptr<PooledClient<Client>> makePooledClient(RtMidi::Api api, const std::string& name) {
    try {
        auto client = std::make_unique<Client>(api, name);
        client->errors().throwIfFailed();
        return std::make_unique<PooledClient<Client>>(std::move(client));
    } catch (const RtMidiError& error) {
        throw MidiSystemError(error.getMessage());
    }
}

}  // namespace platform::rtmidi
