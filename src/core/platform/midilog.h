#pragma once

#include <QString>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <span>
#include <vector>

namespace platform {

// Every message the program's MIDI ports send and receive, for the MIDI log: while recording
// is on, the last kCapacity of them are kept, and listeners hear of each as it passes.
//
// A message is recorded where an input hands it to the program (after the MIDI system's own
// thread, JACK's realtime one included, has passed it through the inbox) and where the program
// sends it: on the thread that runs the command (the window's keyboard thread, the command-line
// tool's main thread), never on the MIDI system's thread. The log takes a lock of its own, and a
// listener hears each entry on the recording thread.
class MidiLog {
public:
    // A note is no message: what the MIDI system said about itself (its period, say).
    enum class Direction { In, Out, Note };
    struct Entry {
        std::chrono::system_clock::time_point time;
        Direction direction = Direction::In;
        QString device;
        std::vector<std::uint8_t> bytes;
        QString note;
    };
    using Listener = std::function<void(const Entry&)>;

    static constexpr std::size_t kCapacity = 20000;

    static MidiLog& instance();

    // Off until a MIDI log is wanted (the window's, the command-line tool's --verbose/--log).
    void setRecording(bool recording) { recording_ = recording; }
    bool isRecording() const { return recording_; }

    void record(Direction direction, const QString& device, std::span<const std::uint8_t> bytes);
    void note(const QString& text);
    // Oldest first: a copy, as entries keep coming from another thread.
    std::deque<Entry> entries() const;
    std::size_t size() const;
    void clear();

    // A listener hears of each entry recorded from now on; the number takes it off again.
    int addListener(Listener listener);
    void removeListener(int id);

private:
    MidiLog() = default;
    void add(Entry entry);

    std::atomic<bool> recording_ = false;
    mutable std::recursive_mutex mutex_;
    std::deque<Entry> entries_;
    std::map<int, Listener> listeners_;
    int nextId_ = 0;
};

}  // namespace platform
