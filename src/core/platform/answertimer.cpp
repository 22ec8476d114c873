#include "answertimer.h"

namespace platform {
namespace {

std::chrono::milliseconds& answerTime() {
    static std::chrono::milliseconds time = AnswerTimer::kAnswerTime;
    return time;
}

}  // namespace

void AnswerTimer::setAnswerTime(std::chrono::milliseconds time) {
    answerTime() = time;
}

AnswerTimer::AnswerTimer(std::function<void()> onTimeout,
                         std::optional<std::chrono::milliseconds> interval)
    : onTimeout_(std::move(onTimeout)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval.value_or(answerTime()));
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (onTimeout_) {
            onTimeout_();
        }
    });
}

}  // namespace platform
