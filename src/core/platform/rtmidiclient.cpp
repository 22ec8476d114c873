#include "rtmidiclient.h"

#include <unistd.h>

#include "systemerror.h"

namespace platform::rtmidi {

void ErrorSink::callback(RtMidiError::Type type, const std::string& text, void* self) {
    static_cast<ErrorSink*>(self)->record(type, text);
}

void ErrorSink::record(RtMidiError::Type type, const std::string& text) {
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

void ErrorSink::clear() {
    std::lock_guard lock(mutex_);
    text_.reset();
    lastWasWarning_ = false;
}

void ErrorSink::throwIf(bool warningsToo) {
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

std::string ownClientPrefix() {
    return "NvbMan-" + std::to_string(::getpid());
}

std::string ownClientName(int n) {
    return ownClientPrefix() + "-" + std::to_string(n);
}

bool isOwnPort(const std::string& fullName) {
    const std::string prefix = ownClientPrefix();
    return fullName.size() > prefix.size() && fullName.compare(0, prefix.size(), prefix) == 0 &&
           (fullName[prefix.size()] == '-' || fullName[prefix.size()] == ':');
}

InputClient::InputClient(RtMidi::Api api, const std::string& clientName)
    : clientName_(clientName), in_(api, clientName, 100) {
    in_.setErrorCallback(&ErrorSink::callback, &sink_);
    // System exclusive is what the keyboard speaks; clock and active sensing are not kept.
    in_.ignoreTypes(false, true, true);
    in_.setCallback(&InputClient::arrived, this);
}

void InputClient::startReceiving(MidiReceiver receiver, std::uint64_t fromCycle) {
    fromCycle_.store(fromCycle, std::memory_order_release);
    inbox_.open(std::move(receiver));
}

void InputClient::stopReceiving() {
    inbox_.close();
}

void InputClient::arrived(double, std::vector<unsigned char>* message, void* self) {
    // The MIDI system's thread (JACK's realtime process thread): no lock, no wait.
    auto* client = static_cast<InputClient*>(self);
    if (message == nullptr || message->empty()) {
        return;
    }
    const std::atomic<std::uint64_t>* cycles = client->cycles_.load(std::memory_order_acquire);
    if (cycles != nullptr && cycles->load(std::memory_order_acquire) <
                                 client->fromCycle_.load(std::memory_order_acquire)) {
        return;
    }
    client->inbox_.push(message->data(), message->size());
}

OutputClient::OutputClient(RtMidi::Api api, const std::string& clientName)
    : clientName_(clientName), out_(api, clientName) {
    out_.setErrorCallback(&ErrorSink::callback, &sink_);
}

}  // namespace platform::rtmidi
