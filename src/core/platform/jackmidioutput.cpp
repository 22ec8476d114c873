#include "jackmidioutput.h"

#include <jack/midiport.h>

#include <thread>

#include "systemerror.h"

namespace platform {
namespace {

// Room for many whole messages: a command queues one or two at a time (a block and its End),
// and the sender waits for each cycle to take them before the port is closed.
constexpr std::size_t kQueueBytes = 64 * 1024;
// How each message is laid into the queue: its length, then its bytes.
using Length = std::uint32_t;
constexpr auto kPollInterval = std::chrono::microseconds(200);

}  // namespace

JackMidiOutput::JackMidiOutput(const std::string& clientName, const char* portName)
    : clientName_(clientName) {
    jack_status_t status{};
    client_ = jack_client_open(clientName.c_str(),
                               JackOptions(JackNoStartServer | JackUseExactName), &status);
    if (client_ == nullptr) {
        throw MidiSystemError(ErrorCode::JackRefusedClient, {QString::fromStdString(clientName)});
    }
    queue_ = jack_ringbuffer_create(kQueueBytes);
    port_ = jack_port_register(client_, portName, JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (queue_ == nullptr || port_ == nullptr ||
        jack_set_process_callback(client_, &JackMidiOutput::process, this) != 0 ||
        jack_activate(client_) != 0) {
        const QString name = QString::fromStdString(clientName + ":" + portName);
        jack_client_close(client_);
        if (queue_ != nullptr) {
            jack_ringbuffer_free(queue_);
        }
        throw MidiSystemError(ErrorCode::JackPortNotRegistered, {name});
    }
}

JackMidiOutput::~JackMidiOutput() {
    // Deactivated first: jack_deactivate() returns once no cycle runs the callback, so the
    // queue is freed only when nothing can read it.
    jack_deactivate(client_);
    jack_client_close(client_);
    jack_ringbuffer_free(queue_);
}

void JackMidiOutput::send(std::span<const std::uint8_t> message) {
    const Length length = static_cast<Length>(message.size());
    if (message.empty() || jack_ringbuffer_write_space(queue_) < sizeof(length) + message.size()) {
        throw MidiSystemError(ErrorCode::MessageTooLarge,
                              {QString::number(message.size()),
                               QString::number(jack_ringbuffer_write_space(queue_))});
    }
    // The callback takes a message only once its length and all its bytes are in.
    jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(&length), sizeof(length));
    jack_ringbuffer_write(queue_, reinterpret_cast<const char*>(message.data()), message.size());
    ++queued_;
}

bool JackMidiOutput::waitUntilDelivered(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const auto delivered = [this] {
        // Written, and a later cycle has begun: the one that wrote it has ended.
        return written_.load(std::memory_order_acquire) == queued_ &&
               cycles_.load(std::memory_order_acquire) >
                   lastWriteCycle_.load(std::memory_order_acquire);
    };
    while (!delivered()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return delivered();
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

int JackMidiOutput::process(jack_nframes_t frames, void* self) {
    auto& out = *static_cast<JackMidiOutput*>(self);
    const std::uint64_t cycle = out.cycles_.fetch_add(1, std::memory_order_acq_rel) + 1;
    void* buffer = jack_port_get_buffer(out.port_, frames);
    if (buffer == nullptr) {
        return 0;  // no buffer this cycle (see the header): the messages wait for the next
    }
    jack_midi_clear_buffer(buffer);
    for (;;) {
        Length length = 0;
        if (jack_ringbuffer_peek(out.queue_, reinterpret_cast<char*>(&length), sizeof(length)) <
                sizeof(length) ||
            jack_ringbuffer_read_space(out.queue_) < sizeof(length) + length) {
            break;
        }
        jack_midi_data_t* room = jack_midi_event_reserve(buffer, 0, length);
        if (room == nullptr) {
            break;  // this cycle's buffer is full: the rest go in the next cycles
        }
        jack_ringbuffer_read_advance(out.queue_, sizeof(length));
        jack_ringbuffer_read(out.queue_, reinterpret_cast<char*>(room), length);
        out.lastWriteCycle_.store(cycle, std::memory_order_release);
        out.written_.fetch_add(1, std::memory_order_acq_rel);
    }
    return 0;
}

}  // namespace platform
