#include "ekexchange.h"

#include <QThread>
#include <stdexcept>

#include "platform/cancellation.h"
#include "platform/eventwait.h"
#include "sysex/ekexception.h"

EkExchange::EkExchange()
    : answerTimer_([this] {
          // An answer that has arrived but not yet been taken out is an answer in time.
          input_.flush();
          if (!done_) {
              timedOut_ = true;
              done_ = true;
          }
      }) {
    output_.attachObserver(&outputObserver_);
    input_.attachObserver(&inputObserver_);
    bindTo(nullptr);
}

void EkExchange::bindTo(QThread* thread) {
    output_.moveToThread(thread);
    input_.moveToThread(thread);
    answerTimer_.moveToThread(thread);
}

void EkExchange::open(int inputDevice, int outputDevice) {
    bindTo(QThread::currentThread());
    input_.open(inputDevice);
    try {
        output_.open(outputDevice);
    } catch (...) {
        input_.close();
        bindTo(nullptr);
        throw;
    }
}

void EkExchange::close(bool inputFirst) {
    if (inputFirst) {
        input_.close();
        output_.close();
    } else {
        output_.close();
        input_.close();
    }
    answerTimer_.stop();
    bindTo(nullptr);
}

void EkExchange::sendAndWait(const std::vector<std::uint8_t>& message) {
    if (!isOpen()) {
        // Nothing would ever report back: refuse rather than wait for ever.
        throw std::logic_error("EkExchange: the ports are not open");
    }
    // A stop requested by the user takes effect here, between two messages.
    if (platform::Cancellation::isRequested()) {
        close();
        throw platform::Cancelled();
    }
    done_ = false;
    timedOut_ = false;
    output_.put(message);
    output_.send();
    platform::waitUntil(done_);
    // An answer may beat the report that the request left; no tick may outlive the wait.
    answerTimer_.stop();
}

void EkExchange::request(const std::vector<std::uint8_t>& message,
                         std::vector<std::uint8_t>& answer, const AnswerFilter& isAnswer) {
    outputObserver_.setHandler([this] {
        if (!done_) {
            answerTimer_.start();
        }
    });
    inputObserver_.setHandler([this, isAnswer] {
        if (isAnswer) {
            std::vector<std::uint8_t> candidate;
            input_.getData(candidate);
            if (!isAnswer(candidate)) {
                return;
            }
        }
        answerTimer_.stop();
        done_ = true;
    });
    sendAndWait(message);
    if (timedOut_) {
        close();
        throw EkSysExException(EkSysExException::Timeout);
    }
    answer.clear();
    input_.getData(answer);
}

void EkExchange::send(const std::vector<std::uint8_t>& message) {
    outputObserver_.setHandler([this] { done_ = true; });
    inputObserver_.clearHandler();
    sendAndWait(message);
}
