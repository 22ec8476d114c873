#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "ekmidiin.h"
#include "ekmidiobserver.h"
#include "ekmidiout.h"
#include "platform/answertimer.h"

// One MIDI port pair with its answer timer, used one message at a time: a request waits on the
// event loop for the keyboard's answer, which must come within the answer time of the moment
// the request has left; a message without answer waits only until the port reports it sent.
// Before each message it looks at the user's stop request (platform::Cancellation): when one
// is pending it closes both ports and throws platform::Cancelled instead of sending.
// The keyboard driver's transceiver and each keyboard transfer own one. It works on the thread
// that opens it, until it is closed.
class EkExchange {
public:
    EkExchange();

    EkExchange(const EkExchange&) = delete;
    EkExchange& operator=(const EkExchange&) = delete;

    // Opens the input port, then the output port; if the output fails the input is closed again
    // before the error passes on.
    void open(int inputDevice, int outputDevice);
    // Closes both ports, the output first unless `inputFirst`.
    void close(bool inputFirst = false);
    bool isOpen() const { return input_.isOpen() && output_.isOpen(); }

    // Decides whether a message the input port kept is the answer awaited.
    using AnswerFilter = std::function<bool(const std::vector<std::uint8_t>&)>;

    // Sends `message` and puts the answer kept by the input port into `answer` (emptied first).
    // With a filter, a message it refuses is ignored and the wait goes on within the same
    // answer time. Without an answer in time both ports are closed and EkSysExException code 6
    // is thrown.
    void request(const std::vector<std::uint8_t>& message, std::vector<std::uint8_t>& answer,
                 const AnswerFilter& isAnswer = {});
    // Sends `message` and returns once the port reports it sent; no answer is awaited.
    void send(const std::vector<std::uint8_t>& message);

private:
    // The ports' reports and the answer timer are delivered on the thread their objects live
    // on, which must be the thread that waits for them. Between two openings they live on no
    // thread, so that whichever thread opens the ports next (the window's keyboard thread, the
    // command-line tool's main thread) takes them to itself.
    void bindTo(QThread* thread);
    void sendAndWait(const std::vector<std::uint8_t>& message);

    EkMidiOut output_;
    EkMidiIn input_;
    EkMidiObserver outputObserver_;
    EkMidiObserver inputObserver_;
    bool done_ = false;
    bool timedOut_ = false;
    platform::AnswerTimer answerTimer_;
};
