#pragma once

#include <cstdint>
#include <functional>

#include "backup/keyboardbackup.h"
#include "safety/history.h"
#include "stream/nvbstream.h"

namespace organise {

// One edit's transfers under one progress: each transfer once more from its start when its
// first try lost an answer, and the writes' failure told with where the kept items are.
class StepProgress {
public:
    StepProgress(backup::JobProgress* progress, std::int64_t totalBytes);

    // Runs `move(observer)`, a fetch or a send of `bytes` for `slot`.
    void transfer(const SlotAddress& slot, std::uint32_t bytes,
                  const std::function<void(NvbStreamObserver*)>& move);
    // Runs the writes of an edit whose items `record` has kept: a failure among them says
    // which copies hold what the writes had replaced or emptied.
    void write(const safety::ChangeRecord& record, const std::function<void()>& writes);

private:
    class Observer : public NvbStreamObserver {
    public:
        Observer(backup::JobProgress* job, std::int64_t before) : job_(job), before_(before) {}
        void notify(NvbStream& stream) override;

    private:
        backup::JobProgress* job_;
        std::int64_t before_;
    };

    backup::JobProgress* progress_;
    std::int64_t done_ = 0;
};

}  // namespace organise
