#include "stepprogress.h"

#include "msg/errortext.h"
#include "platform/cancellation.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"

namespace organise {

StepProgress::StepProgress(backup::JobProgress* progress, std::int64_t totalBytes)
    : progress_(progress) {
    if (progress_ != nullptr) {
        progress_->jobStarted(totalBytes);
    }
}

void StepProgress::Observer::notify(NvbStream& stream) {
    if (job_ != nullptr) {
        job_->jobAdvanced(before_ + stream.position());
    }
}

void StepProgress::transfer(const SlotAddress& slot, std::uint32_t bytes,
                            const std::function<void(NvbStreamObserver*)>& move) {
    if (progress_ != nullptr) {
        progress_->itemStarted(slot, {});
    }
    transfer::withRetry(
        [&] {
            Observer observer(progress_, done_);
            move(&observer);
        },
        [&] {
            if (progress_ != nullptr) {
                progress_->itemRetried(slot);
            }
        });
    done_ += bytes;
    if (progress_ != nullptr) {
        progress_->jobAdvanced(done_);
    }
}

void StepProgress::write(const safety::ChangeRecord& record, const std::function<void()>& writes) {
    try {
        writes();
    } catch (...) {
        const auto kept = record.keptCopies();
        if (!kept) {
            throw;
        }
        throw platform::CausedError(kept->because(currentError()), std::current_exception());
    }
}

}  // namespace organise
