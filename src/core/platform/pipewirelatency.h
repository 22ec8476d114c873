#pragma once

// The period of PipeWire's graph, as our JACK clients ask for it.
//
// PipeWire runs its graph at the smallest period its active clients ask for (node.latency),
// 1,024 frames at 48 kHz unless one asks: 21 ms, so a request and its answer cost two periods,
// 43 ms, where the cable needs 8. Its JACK library (0.3.65, jack_client_open) reads
// PIPEWIRE_LATENCY and PIPEWIRE_PROPS when a client opens, and marks every JACK client
// node.lock-quantum unless PIPEWIRE_PROPS says otherwise: a locked client keeps the period as
// it is (context.c, pw_context_recalc_graph), ours included. So our clients ask for a period
// and leave it unlocked; once they close, the graph goes back to its own period.
// jack_set_buffer_size (PipeWire's force-quantum) would change the period for every program
// and is never called. Variables the user set are theirs and stay.

#include <string>

namespace platform {

// The rate a request is given at: PipeWire scales it to the rate the graph runs at.
inline constexpr int kPipeWireRequestRate = 48000;

// While it lives, a JACK client that opens on PipeWire's library asks for `frames` at 48 kHz
// (0: nothing, the library's own behaviour). Only around our own clients' opening: a program
// the window starts (a file browser) must not inherit the request. The environment is the
// process's, and glibc's setenv is not safe against a getenv on another thread at the same
// moment: the JACK libraries read these variables only while a client opens, and our clients
// open one at a time while the thread that set them waits for the opening.
class PipeWirePeriodRequest {
public:
    explicit PipeWirePeriodRequest(int frames);
    ~PipeWirePeriodRequest();
    PipeWirePeriodRequest(const PipeWirePeriodRequest&) = delete;
    PipeWirePeriodRequest& operator=(const PipeWirePeriodRequest&) = delete;

private:
    bool set_ = false;
};

// For the MIDI log: "NvbMan asks for 256 frames at 48000 Hz", or what decides instead.
std::string pipeWireRequestText(int frames);

// For a client that stands for an instrument (the simulator): it asks nothing and locks
// nothing, as an instrument behind PipeWire's ALSA bridge does not.
void leavePipeWireQuantumUnlocked();

}  // namespace platform
