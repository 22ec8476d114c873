#include "answertimer.h"

namespace platform {

AnswerTimer::AnswerTimer(std::function<void()> onTimeout, std::chrono::milliseconds interval)
    : onTimeout_(std::move(onTimeout)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimeout_) {
            onTimeout_();
        }
    });
}

}  // namespace platform
