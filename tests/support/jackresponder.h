#pragma once

// A keyboard on the JACK server that answers every parameter request within the same process
// cycle in which the request arrives: the fastest answer a MIDI link can meet, and the one that
// finds an input that is not listening yet. Written on libjack directly, with the frames put
// together by hand, so that nothing of the program under test answers itself.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <array>
#include <atomic>
#include <string>

class JackResponder {
public:
    // `name` becomes the JACK client's name; every request is answered with `value`.
    JackResponder(const std::string& name, std::uint32_t value) : value_(value) {
        client_ = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
        if (client_ == nullptr) {
            return;
        }
        in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
        out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        jack_set_process_callback(client_, &JackResponder::process, this);
        jack_activate(client_);
    }

    ~JackResponder() {
        if (client_ != nullptr) {
            jack_deactivate(client_);
            jack_client_close(client_);
        }
    }

    JackResponder(const JackResponder&) = delete;
    JackResponder& operator=(const JackResponder&) = delete;

    bool isReady() const { return in_ != nullptr && out_ != nullptr; }
    // The full port names: the program's output is connected to the first, its input to the
    // second.
    std::string inputPort() const { return jack_port_name(in_); }
    std::string outputPort() const { return jack_port_name(out_); }
    int requestsSeen() const { return requests_.load(); }

private:
    static int process(jack_nframes_t frames, void* self) {
        auto* responder = static_cast<JackResponder*>(self);
        void* out = jack_port_get_buffer(responder->out_, frames);
        jack_midi_clear_buffer(out);
        void* in = jack_port_get_buffer(responder->in_, frames);
        const std::uint32_t count = jack_midi_get_event_count(in);
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, in, i) != 0) {
                continue;
            }
            std::array<std::uint8_t, 32> answer{};
            const std::size_t length = responder->answerTo(event, answer);
            if (length > 0) {
                responder->requests_.fetch_add(1);
                jack_midi_event_write(out, event.time, answer.data(), length);
            }
        }
        return 0;
    }

    // A ParamRequest F0 44 11 01 7F 1a cc bb aa aa pp F7 is answered by the ParamData
    // F0 44 11 01 7F 0a cc bb aa aa pp v.. F7: the same fields, type 0, the value in 7-bit
    // groups, least significant first.
    std::size_t answerTo(const jack_midi_event_t& event, std::array<std::uint8_t, 32>& answer) {
        const std::uint8_t* m = event.buffer;
        if (event.size < 12 || event.size > 16 || m[0] != 0xF0 || m[1] != 0x44 ||
            (m[5] >> 4) != 1 || m[event.size - 1] != 0xF7) {
            return 0;
        }
        std::size_t length = event.size - 1;
        std::copy(m, m + length, answer.begin());
        answer[5] = m[5] & 0x0F;
        const int bits = (m[7] & 0x1F) + 1;
        const int groups = (bits + 6) / 7;
        for (int g = 0; g < groups; ++g) {
            answer[length++] = std::uint8_t((value_ >> (7 * g)) & 0x7F);
        }
        answer[length++] = 0xF7;
        return length;
    }

    std::uint32_t value_;
    jack_client_t* client_ = nullptr;
    jack_port_t* in_ = nullptr;
    jack_port_t* out_ = nullptr;
    std::atomic<int> requests_{0};
};
