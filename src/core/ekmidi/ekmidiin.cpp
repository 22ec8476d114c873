#include "ekmidiin.h"

#include <QMetaObject>
#include <algorithm>

#include "platform/midiservice.h"
#include "sysex/sysexrecords.h"

EkMidiIn::~EkMidiIn() {
    close();
}

void EkMidiIn::open(int device) {
    close();
    const std::uint64_t session = ++session_;
    // What arrives waits in `pending_` and is reported from the event loop (or by flush()),
    // never from inside the call that delivered it. The input is closed before this port is
    // destroyed, so `this` outlives every call.
    input_ = platform::MidiService::instance().openInput(
        device, [this, session](std::vector<std::uint8_t> message) {
            pending_.push_back(std::move(message));
            QMetaObject::invokeMethod(
                this, [this, session] { reportPending(session); }, Qt::QueuedConnection);
        });
}

void EkMidiIn::reportPending(std::uint64_t session) {
    // A report may close or reopen the port: each message is checked against the session.
    while (!pending_.empty() && session == session_) {
        const std::vector<std::uint8_t> message = std::move(pending_.front());
        pending_.pop_front();
        arrived(session, message);
    }
}

void EkMidiIn::flush() {
    if (input_ != nullptr) {
        input_->flush();
        reportPending(session_);
    }
}

void EkMidiIn::close() {
    input_.reset();
    pending_.clear();
    ++session_;
}

void EkMidiIn::arrived(std::uint64_t session, const std::vector<std::uint8_t>& message) {
    if (!isOpen() || session != session_ || message.empty()) {
        return;
    }
    data_.clear();
    // A message longer than the buffer would have been split across buffers and is never kept.
    if (message.size() > kBufferSize) {
        return;
    }
    std::copy(message.begin(), message.end(), buffer_.begin());
    bufferLength_ = message.size();
    const bool fromKeyboardMaker = bufferLength_ >= 3 && buffer_[0] == sysex::kStart &&
                                   buffer_[1] == sysex::kManufacturer &&
                                   buffer_[bufferLength_ - 1] == sysex::kEnd;
    // Exactly one message: a status byte inside means two were glued together, as when a
    // message cut short by a close is continued by the next one's bytes.
    const bool oneMessage =
        fromKeyboardMaker && std::all_of(buffer_.begin() + 1, buffer_.begin() + bufferLength_ - 1,
                                         [](std::uint8_t byte) { return byte < 0x80; });
    if (!fromKeyboardMaker || !oneMessage) {
        return;
    }
    data_.assign(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(bufferLength_));
    notifyObservers();
}
