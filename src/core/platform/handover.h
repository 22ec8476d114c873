#pragma once

#include <QObject>
#include <QThread>
#include <utility>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace platform {

// Marks a hand-over between threads for ThreadSanitizer. Debian's Qt is not built with it, and
// the queue a queued call travels through is locked with futexes the sanitizer cannot see: the
// handing thread's writes would look unordered with the receiving thread's reads. `release` on
// the handing thread after its writes, `acquire` on the receiving thread before its reads, at
// the same address, say what Qt's lock does. Nothing without ThreadSanitizer.
inline void handOverRelease([[maybe_unused]] const void* point) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(point));
#endif
}

inline void handOverAcquire([[maybe_unused]] const void* point) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(point));
#endif
}

// A call handed to another thread through Qt's event queue. Qt moves it into the posted call's
// storage; every copy or move releases at its own address once made, and the call acquires at
// that address before it runs, so everything written before it was posted (what it captured,
// what its captures point to) is seen as written before it runs. Debian's Qt 6.4 keeps a
// reference to the posted call on each side (QMetaObject::invokeMethodImpl, qobject.cpp), so
// either thread may end it.
template <typename Call>
class HandedOver {
public:
    explicit HandedOver(Call call) : call_(std::move(call)) { handOverRelease(this); }
    HandedOver(HandedOver&& other) noexcept : call_(std::move(other.call_)) {
        handOverRelease(this);
    }
    HandedOver(const HandedOver& other) : call_(other.call_) { handOverRelease(this); }
    HandedOver& operator=(const HandedOver&) = delete;
    HandedOver& operator=(HandedOver&&) = delete;
    // Qt may let the handing thread free the posted call after the receiving thread ran it (the
    // last of their two references, counted inside Qt): the run released, the end acquires.
    ~HandedOver() { handOverAcquire(this); }

    void operator()() {
        handOverAcquire(this);
        call_();
        handOverRelease(this);
    }

private:
    Call call_;
};

// Runs `call` on the thread `context` lives on, later (a queued call), as a hand-over.
template <typename Call>
void postTo(QObject* context, Call call) {
    QMetaObject::invokeMethod(context, HandedOver<Call>(std::move(call)), Qt::QueuedConnection);
}

// Runs `call` now when this is `context`'s thread, else posts it there (postTo).
template <typename Call>
void runOn(QObject* context, Call call) {
    if (context->thread() == QThread::currentThread()) {
        call();
        return;
    }
    postTo(context, std::move(call));
}

}  // namespace platform
