#include "cancellation.h"

namespace platform {
namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

// The token of the job running on this thread, if any.
thread_local std::shared_ptr<std::atomic<bool>> jobStop;

}  // namespace

void Cancellation::request() {
    requested.store(true);
}

void Cancellation::clear() {
    requested.store(false);
}

bool Cancellation::isRequested() {
    return requested.load() || (jobStop != nullptr && jobStop->load());
}

void Cancellation::throwIfRequested() {
    if (isRequested()) {
        throw Cancelled();
    }
}

Cancellation::JobScope::JobScope(const StopToken& token) : before_(std::move(jobStop)) {
    jobStop = token.flag_;
}

Cancellation::JobScope::~JobScope() {
    jobStop = std::move(before_);
}

}  // namespace platform
