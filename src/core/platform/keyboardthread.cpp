#include "keyboardthread.h"

#include <exception>

#include "handover.h"

namespace platform {

void callOn(QObject* context, const std::function<void()>& call) {
    if (context->thread() == QThread::currentThread()) {
        call();
        return;
    }
    std::exception_ptr failure;
    // Both ways are hand-overs (see handover.h): the call's inputs there, its results back.
    handOverRelease(&failure);
    const auto run = [&call, &failure] {
        handOverAcquire(&failure);
        try {
            call();
        } catch (...) {
            failure = std::current_exception();
        }
        handOverRelease(&failure);
    };
    QMetaObject::invokeMethod(context, HandedOver<decltype(run)>(run),
                              Qt::BlockingQueuedConnection);
    handOverAcquire(&failure);
    if (failure) {
        std::rethrow_exception(failure);
    }
}

KeyboardThread::KeyboardThread() : context_(new QObject) {
    thread_.setObjectName(QStringLiteral("keyboard"));
    context_->moveToThread(&thread_);
    // The context goes with the thread's last event loop.
    QObject::connect(&thread_, &QThread::finished, context_, &QObject::deleteLater);
    thread_.start();
}

KeyboardThread::~KeyboardThread() {
    thread_.quit();
    thread_.wait();
}

void KeyboardThread::post(std::function<void()> work) {
    {
        const std::lock_guard lock(mutex_);
        ++posted_;
    }
    postTo(context_, [this, work = std::move(work)] {
        // Ended however it ends: a body's failures are its own frame's to catch.
        struct Ended {
            KeyboardThread& thread;
            ~Ended() {
                {
                    const std::lock_guard lock(thread.mutex_);
                    --thread.posted_;
                }
                thread.postedEnded_.notify_all();
            }
        } ended{*this};
        work();
    });
}

void KeyboardThread::waitForPosted() {
    if (QThread::currentThread() == &thread_) {
        return;  // from inside posted work: it cannot wait for itself
    }
    std::unique_lock lock(mutex_);
    postedEnded_.wait(lock, [this] { return posted_ == 0; });
}

void KeyboardThread::call(const std::function<void()>& work) {
    waitForPosted();
    callOn(context_, work);
}

}  // namespace platform
