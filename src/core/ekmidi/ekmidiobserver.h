#pragma once

#include <functional>

// Receives a port's report that a message has been sent or has arrived. The owner binds a
// handler before each exchange and clears it when it wants no report.
class EkMidiObserver {
public:
    using Handler = std::function<void()>;

    virtual ~EkMidiObserver() = default;

    void setHandler(Handler handler) { handler_ = std::move(handler); }
    void clearHandler() { handler_ = nullptr; }
    bool hasHandler() const { return static_cast<bool>(handler_); }

    // Calls the handler if one is bound; does nothing otherwise.
    virtual void notify() {
        if (handler_) {
            handler_();
        }
    }

private:
    Handler handler_;
};
