#include "ekmidiout.h"

#include <QMetaObject>
#include <algorithm>
#include <span>
#include <string>

#include "platform/midiservice.h"
#include "platform/systemerror.h"

EkMidiOut::~EkMidiOut() {
    close();
}

void EkMidiOut::open(int device) {
    close();
    ++session_;
    output_ = platform::MidiService::instance().openOutput(device);
}

void EkMidiOut::close() {
    output_.reset();
    ++session_;
}

void EkMidiOut::put(const std::vector<std::uint8_t>& message) {
    if (!isOpen()) {
        return;
    }
    if (message.size() > kBufferSize) {
        throw platform::MidiSystemError(
            platform::ErrorCode::MessageTooLarge,
            {QString::number(message.size()), QString::number(kBufferSize)});
    }
    std::copy(message.begin(), message.end(), buffer_.begin());
    bufferLength_ = message.size();
}

void EkMidiOut::send() {
    if (!isOpen()) {
        return;
    }
    output_->send(std::span<const std::uint8_t>(buffer_.data(), bufferLength_));
    const std::uint64_t session = session_;
    QMetaObject::invokeMethod(
        this, [this, session] { sent(session); }, Qt::QueuedConnection);
}

void EkMidiOut::sent(std::uint64_t session) {
    if (!isOpen() || session != session_) {
        return;
    }
    data_.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(bufferLength_));
    notifyObservers();
}
