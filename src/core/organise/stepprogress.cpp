#include "stepprogress.h"

#include "msg/errortext.h"
#include "platform/cancellation.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"

namespace organise {

StepProgress::StepProgress(backup::JobProgress* progress, std::int64_t totalBytes,
                           const MsgStr& messages)
    : progress_(progress), messages_(messages) {
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
        const QString kept = record.keptText(messages_);
        if (kept.isEmpty()) {
            throw;
        }
        throw platform::SystemError((currentErrorText(messages_) + '\n' + kept).toStdString());
    }
}

}  // namespace organise
