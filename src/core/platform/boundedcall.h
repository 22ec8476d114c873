#pragma once

// A call into a server that may never return (a JACK server whose request thread waits on a
// client that was stopped) run so that the caller waits for it a bounded time only.
//
// The call runs on a thread of its own. When it outlasts the bound the caller goes on and the
// call is left to finish alone, whenever that is: everything it uses must be owned by the call
// itself (capture shared pointers, never references to the caller's objects), and what it
// produces late goes to `whenLate` on that thread.

#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace platform {

// The call's result, its exception rethrown, or nullopt when the bound passed first.
template <typename Result>
std::optional<Result> callBounded(std::chrono::milliseconds bound, std::function<Result()> call,
                                  std::function<void(Result&)> whenLate = {}) {
    struct Shared {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<Result> result;
        std::exception_ptr error;
        bool done = false;
        bool late = false;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, call = std::move(call), whenLate = std::move(whenLate)]() mutable {
        std::optional<Result> result;
        std::exception_ptr error;
        try {
            result.emplace(call());
        } catch (...) {
            error = std::current_exception();
        }
        call = nullptr;  // what the call owned goes now, not when the thread's state does
        std::unique_lock lock(shared->mutex);
        if (shared->late) {
            lock.unlock();
            if (result && whenLate) {
                whenLate(*result);
            }
            return;
        }
        shared->result = std::move(result);
        shared->error = error;
        shared->done = true;
        shared->finished.notify_one();
    }).detach();
    std::unique_lock lock(shared->mutex);
    if (!shared->finished.wait_for(lock, bound, [&] { return shared->done; })) {
        shared->late = true;
        return std::nullopt;
    }
    if (shared->error) {
        std::rethrow_exception(shared->error);
    }
    return std::move(shared->result);
}

// The same for a call without a result: true when it ended within the bound.
inline bool callBounded(std::chrono::milliseconds bound, std::function<void()> call) {
    return callBounded<bool>(bound, [call = std::move(call)] {
               call();
               return true;
           }).has_value();
}

}  // namespace platform
