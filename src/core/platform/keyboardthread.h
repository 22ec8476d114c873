#pragma once

#include <QObject>
#include <QThread>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace platform {

// Runs `call` on the thread `context` lives on and returns once it has run there; an exception
// it throws is thrown again here. On that thread already, it is a plain call. The other thread
// must be serving its event loop, and must never be waiting for this one meanwhile.
void callOn(QObject* context, const std::function<void()>& call);

// The thread the window talks to keyboards on. Every MIDI port, answer timer and wait of a
// keyboard command lives here, with an event loop of its own, so the window's thread only
// draws and answers the user while the keyboard is busy.
//
// Work is posted and runs in order, one piece at a time. The thread starts when made and ends
// when destroyed, after the work already posted.
//
// A piece of work waits for the keyboard by serving the thread's event loop, where a queued
// call would run in the middle of it; so call() first waits, without serving any event loop,
// until the posted work has ended. That wait never needs the waiting thread: posted work does
// not wait for the window's thread.
class KeyboardThread {
public:
    KeyboardThread();
    ~KeyboardThread();
    KeyboardThread(const KeyboardThread&) = delete;
    KeyboardThread& operator=(const KeyboardThread&) = delete;

    QThread* thread() { return &thread_; }
    // An object living on the thread (for queued calls to it).
    QObject* context() { return context_; }
    // Runs `work` on the thread, after what was posted before; returns at once.
    void post(std::function<void()> work);
    // Runs `work` on the thread once the work posted before has ended, and waits for it (see
    // callOn): for making and ending what lives on the thread. From the thread itself it is a
    // plain call.
    void call(const std::function<void()>& work);
    // Waits, without serving any event loop, until the work posted so far has ended.
    void waitForPosted();

private:
    QThread thread_;
    QObject* context_;
    std::mutex mutex_;
    std::condition_variable postedEnded_;
    int posted_ = 0;  // posted and not ended
};

}  // namespace platform
