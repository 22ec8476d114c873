#pragma once

// One MIDI system of the machine (the JACK server, the ALSA sequencer) as the MIDI service uses
// it. Internal to the MIDI service.

#include <memory>
#include <string>
#include <vector>

#include "midiservice.h"

namespace platform {

class SystemBackend {
public:
    virtual ~SystemBackend() = default;

    // False once the system has gone away (a JACK server that stopped): the service then makes
    // a new backend at its next enumeration.
    virtual bool isAlive() const = 0;

    // The ports the program can read from and write to, by their full names in the system's
    // own order, without the program's own ports.
    virtual std::vector<std::string> inputNames() = 0;
    virtual std::vector<std::string> outputNames() = 0;

    // Open the port of that name and nothing else: a port that is gone, or whose connection is
    // not confirmed, throws MidiSystemError. Once an input has been opened and an output too,
    // the first message sent reaches the device and its answer reaches the input.
    virtual std::unique_ptr<InputPort> openInput(const std::string& name,
                                                 MidiReceiver receiver) = 0;
    virtual std::unique_ptr<OutputPort> openOutput(const std::string& name) = 0;

    // What the system is, with its version, for the About box: names and numbers only, the
    // same in every language ("JACK 1.9.21", "PipeWire (JACK 1.9.17)", "ALSA 1.2.8 (k6.1.0)").
    virtual std::string versionText() const = 0;

    // How the system moves messages, for the MIDI log ("PipeWire 0.3.65 through its JACK
    // library: period 256 frames at 48000 Hz (5.3 ms)"); empty when it has nothing to say.
    virtual std::string graphText() { return {}; }

    // Why the last listing found nothing, when the system would not be asked (an ALSA
    // sequencer with no room for another client); empty when it answered.
    virtual std::string listingProblem() const { return {}; }
};

// The JACK server that runs now, or nullptr when none does. Never starts a server. Throws
// MidiSystemError when a server runs but does not answer. On PipeWire's JACK library, our
// clients ask the graph for a period of `periodFrames` at 48 kHz (0: no request).
std::shared_ptr<SystemBackend> connectJack(int periodFrames);
// The ALSA sequencer, or nullptr when the machine has none.
std::shared_ptr<SystemBackend> connectAlsa();

}  // namespace platform
