#pragma once

#include <QObject>
#include <QThread>
#include <functional>

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
    // Runs `work` on the thread and waits for it (see callOn): only when no command runs, for
    // making and ending what lives on the thread.
    void call(const std::function<void()>& work) { callOn(context_, work); }

private:
    QThread thread_;
    QObject* context_;
};

}  // namespace platform
