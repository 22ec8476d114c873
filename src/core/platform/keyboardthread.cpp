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
    QMetaObject::invokeMethod(
        context,
        [&call, &failure] {
            handOverAcquire(&failure);
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
            handOverRelease(&failure);
        },
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
    postTo(context_, std::move(work));
}

}  // namespace platform
