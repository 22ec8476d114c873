#pragma once

// An in-process device that answers every message from the program with the next frame of a
// script (or stays silent when the script is used up), for keyboards that misbehave in ways the
// simulator does not offer.

#include <deque>

#include "support/recordingdevice.h"

class ScriptedDevice : public RecordingDevice {
public:
    using RecordingDevice::RecordingDevice;

    void receive(const std::vector<std::uint8_t>& message) override {
        RecordingDevice::receive(message);
        if (!bursts.empty()) {
            for (const auto& frame : bursts.front()) {
                transmit(frame);
            }
            bursts.pop_front();
        } else if (!script.empty()) {
            transmit(script.front());
            script.pop_front();
        }
    }

    std::deque<std::vector<std::uint8_t>> script;
    // Several frames answering one message, sent one after the other; used before the script.
    std::deque<std::vector<std::vector<std::uint8_t>>> bursts;
};
