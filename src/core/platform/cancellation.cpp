#include "cancellation.h"

#include <atomic>

namespace platform {
namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> requested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void Cancellation::request() {
    requested.store(true);
}

void Cancellation::clear() {
    requested.store(false);
}

bool Cancellation::isRequested() {
    return requested.load();
}

void Cancellation::throwIfRequested() {
    if (isRequested()) {
        throw Cancelled();
    }
}

}  // namespace platform
