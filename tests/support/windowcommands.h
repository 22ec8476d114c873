#pragma once

// Window tests: a command of the window runs on its keyboard thread and ends on the window's
// thread; a test waits for that end (and for what the command does with its result, boxes
// included) before it looks, as a user waits for the window to be ready again.

#include <QSignalSpy>
#include <chrono>

#include "commands/commandframe.h"
#include "mainform/pclinkform.h"

// True once every command the window began has ended; false only when one has not ended
// within kLongestCommand (a hang, said by the test's failure).
inline bool commandsEnded(TPcLinkForm& window) {
    constexpr std::chrono::minutes kLongestCommand{5};
    constexpr int kSpyStepMs = 1000;
    CommandFrame& frame = window.frame();
    QSignalSpy ended(&frame, &CommandFrame::commandEnded);
    const QDeadlineTimer deadline(kLongestCommand);
    while (!frame.isIdle() && !deadline.hasExpired()) {
        ended.wait(kSpyStepMs);
    }
    return frame.isIdle();
}
