#include "pipewirelatency.h"

#include <cstdlib>

namespace platform {
namespace {

const char* const kLatencyVariable = "PIPEWIRE_LATENCY";
const char* const kPropsVariable = "PIPEWIRE_PROPS";
const char* const kUnlocked = "{ node.lock-quantum = false }";

bool userSet() {
    return std::getenv(kLatencyVariable) != nullptr || std::getenv(kPropsVariable) != nullptr;
}

}  // namespace

PipeWirePeriodRequest::PipeWirePeriodRequest(int frames) {
    if (frames <= 0 || userSet()) {
        return;
    }
    const std::string latency = std::to_string(frames) + '/' + std::to_string(kPipeWireRequestRate);
    ::setenv(kLatencyVariable, latency.c_str(), 1);
    ::setenv(kPropsVariable, kUnlocked, 1);
    set_ = true;
}

PipeWirePeriodRequest::~PipeWirePeriodRequest() {
    if (set_) {
        ::unsetenv(kLatencyVariable);
        ::unsetenv(kPropsVariable);
    }
}

std::string pipeWireRequestText(int frames) {
    if (userSet()) {
        std::string text = "the user's";
        for (const char* variable : {kLatencyVariable, kPropsVariable}) {
            if (const char* value = std::getenv(variable); value != nullptr) {
                text += std::string(" ") + variable + "=" + value;
            }
        }
        return text;
    }
    if (frames > 0) {
        return "NvbMan asks for " + std::to_string(frames) + " frames at " +
               std::to_string(kPipeWireRequestRate) + " Hz";
    }
    return "NvbMan asks nothing";
}

void leavePipeWireQuantumUnlocked() {
    if (std::getenv(kPropsVariable) == nullptr) {
        ::setenv(kPropsVariable, kUnlocked, 1);
    }
}

}  // namespace platform
