#include "midiinbox.h"

#include <fcntl.h>
#include <unistd.h>

#include <QScopeGuard>
#include <QSocketNotifier>
#include <algorithm>
#include <cstring>

#include "systemerror.h"

namespace platform {

MidiInbox::MidiInbox() {
    int fds[2];
    if (::pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) {
        throw MidiSystemError(ErrorCode::WakePipe, {QString::fromLocal8Bit(std::strerror(errno))});
    }
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
}

MidiInbox::~MidiInbox() {
    close();
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void MidiInbox::open(Consumer consumer) {
    consumer_ = std::move(consumer);
    generation_.fetch_add(1, std::memory_order_acq_rel);  // now odd: open
    // Made on each opening, so that it serves the event loop of the thread that opens the inbox
    // (the command-line tool's main thread, or the window's keyboard thread); ended by the close on
    // that thread.
    notifier_ = std::make_unique<QSocketNotifier>(wakeRead_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { drain(); });
}

void MidiInbox::close() {
    if (generation_.load(std::memory_order_acquire) % 2 == 1) {
        generation_.fetch_add(1, std::memory_order_acq_rel);  // now even: closed
    }
    consumer_ = nullptr;
    // Gone while the event loop exists: an inbox that lives to the process's end is then
    // destroyed without touching a loop that is gone.
    // A consumer may close the inbox from inside the notifier's own signal: it goes once the
    // signal has returned.
    if (notifier_ != nullptr) {
        notifier_->setEnabled(false);
        if (draining_) {
            notifier_.release()->deleteLater();
        } else {
            notifier_.reset();
        }
    }
}

bool MidiInbox::push(const std::uint8_t* data, std::size_t size) {
    const std::uint64_t generation = generation_.load(std::memory_order_acquire);
    if (generation % 2 == 0 || size > kMaxMessage) {
        return false;
    }
    const std::size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) >= kSlots) {
        return false;
    }
    Slot& slot = slots_[tail % kSlots];
    slot.generation = generation;
    slot.size = size;
    std::copy(data, data + size, slot.bytes.begin());
    tail_.store(tail + 1, std::memory_order_release);
    const char wake = 1;
    // A full pipe already holds a wake-up; nothing more is needed.
    [[maybe_unused]] const auto written = ::write(wakeWrite_, &wake, 1);
    return true;
}

void MidiInbox::drain() {
    const bool outer = !draining_;
    draining_ = true;
    const auto done = qScopeGuard([this, outer] {
        if (outer) {
            draining_ = false;
        }
    });
    char sink[64];
    while (::read(wakeRead_, sink, sizeof sink) > 0) {
    }
    std::size_t head = head_.load(std::memory_order_relaxed);
    while (head != tail_.load(std::memory_order_acquire)) {
        const Slot& slot = slots_[head % kSlots];
        std::vector<std::uint8_t> message(slot.bytes.begin(), slot.bytes.begin() + slot.size);
        const bool current = slot.generation == generation_.load(std::memory_order_acquire);
        head_.store(++head, std::memory_order_release);
        // The consumer may close the inbox (later messages are then dropped by the check
        // above), so it is called through a copy.
        if (current && consumer_) {
            const Consumer consumer = consumer_;
            consumer(std::move(message));
        }
    }
}

}  // namespace platform
