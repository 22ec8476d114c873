#pragma once

#include <atomic>
#include <memory>

namespace platform {

// Thrown when the user has stopped the running keyboard command. Not a std::exception and not a
// SystemError, so that no handler of failures takes it for one: it is not an error to show.
class Cancelled {};

// The stop request of one job. The window makes a new one for each command, so a stop asked
// for one command (a late click on Cancel) can never stop the next. Copies share the request.
class StopToken {
public:
    // From any thread.
    void request() { flag_->store(true); }
    bool isRequested() const { return flag_->load(); }

private:
    friend class Cancellation;
    std::shared_ptr<std::atomic<bool>> flag_ = std::make_shared<std::atomic<bool>>(false);
};

// The user's request to stop the running keyboard command: a job's own StopToken (Escape or
// Cancel in the window) or the process's request (Ctrl+C in the command-line tool). The
// transactions look at it before each message they send, so a command stops at the next
// message boundary: its ports are closed on the way out and nothing partial is kept (a send
// stops without its End message, so the keyboard keeps nothing of it; an import writes no file).
class Cancellation {
public:
    // The process's request. From any thread, or from a signal handler.
    static void request();
    // At the start of a command of the command-line tool.
    static void clear();
    // The process's request, or the token of the job running on this thread.
    static bool isRequested();
    // Throws Cancelled when a stop has been requested.
    static void throwIfRequested();

    // While it lives, the checks on this thread also look at `token`: a job's body runs in one.
    class JobScope {
    public:
        explicit JobScope(const StopToken& token);
        ~JobScope();
        JobScope(const JobScope&) = delete;
        JobScope& operator=(const JobScope&) = delete;

    private:
        std::shared_ptr<std::atomic<bool>> before_;
    };
};

}  // namespace platform
