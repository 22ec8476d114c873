#pragma once

#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>

namespace platform {

// Bounds the wait for the keyboard's answer. It is started when the output port reports that
// the request has left and stopped when the answer arrives; if neither happens in time the
// handler runs, once, from the event loop. No tick arrives while it is stopped.
class AnswerTimer {
public:
    // How long the keyboard has to answer a message, counted from the moment it was sent.
    static constexpr std::chrono::milliseconds kAnswerTime{200};

    // Without an interval the timer takes the process's answer time (kAnswerTime).
    explicit AnswerTimer(std::function<void()> onTimeout,
                         std::optional<std::chrono::milliseconds> interval = std::nullopt);

    // The answer time of timers made from now on. Only the fuzz harnesses shorten it, so that a
    // keyboard made of random bytes that leaves a request unanswered costs milliseconds.
    static void setAnswerTime(std::chrono::milliseconds time);

    void start() { timer_.start(); }
    void stop() { timer_.stop(); }
    bool isActive() const { return timer_.isActive(); }
    std::chrono::milliseconds interval() const { return timer_.intervalAsDuration(); }
    // The timer ticks on the thread it lives on; moved, while stopped, from that thread.
    void moveToThread(QThread* thread) { timer_.moveToThread(thread); }

private:
    QTimer timer_;
    std::function<void()> onTimeout_;
};

}  // namespace platform
