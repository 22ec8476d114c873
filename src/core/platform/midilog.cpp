#include "midilog.h"

namespace platform {

MidiLog& MidiLog::instance() {
    static MidiLog log;
    return log;
}

void MidiLog::record(Direction direction, const QString& device,
                     std::span<const std::uint8_t> bytes) {
    add({std::chrono::system_clock::now(), direction, device, {bytes.begin(), bytes.end()}, {}});
}

void MidiLog::note(const QString& text) {
    add({std::chrono::system_clock::now(), Direction::Note, {}, {}, text});
}

void MidiLog::add(Entry entry) {
    if (!recording_) {
        return;
    }
    const std::lock_guard lock(mutex_);
    if (entries_.size() >= kCapacity) {
        entries_.pop_front();
    }
    entries_.push_back(std::move(entry));
    // Copied: a listener may take itself off.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) {
        listener(entries_.back());
    }
}

std::deque<MidiLog::Entry> MidiLog::entries() const {
    const std::lock_guard lock(mutex_);
    return entries_;
}

std::size_t MidiLog::size() const {
    const std::lock_guard lock(mutex_);
    return entries_.size();
}

void MidiLog::clear() {
    const std::lock_guard lock(mutex_);
    entries_.clear();
}

int MidiLog::addListener(Listener listener) {
    const std::lock_guard lock(mutex_);
    listeners_[++nextId_] = std::move(listener);
    return nextId_;
}

void MidiLog::removeListener(int id) {
    const std::lock_guard lock(mutex_);
    listeners_.erase(id);
}

}  // namespace platform
