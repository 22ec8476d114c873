#include "keyboardthread.h"

#include <exception>

namespace platform {

void callOn(QObject* context, const std::function<void()>& call) {
    if (context->thread() == QThread::currentThread()) {
        call();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        context,
        [&call, &failure] {
            try {
                call();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
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
    QMetaObject::invokeMethod(context_, std::move(work), Qt::QueuedConnection);
}

}  // namespace platform
