#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <cstdint>
#include <utility>

#include "keyboardbackup.h"
#include "platform/cancellation.h"
#include "stream/nvbstream.h"
#include "stream/nvbtransfer.h"

namespace backup {

// The outcome of the item whose failure is being handled; the user's cancel stops the whole job
// instead (platform::Cancelled, or the SongSlotEmptied that says a song slot is empty now).
Outcome failedItem(const SlotAddress& slot, const QString& file);

// The names of the new files a job writes into one folder: each item's plain name
// ("TON_Velvet  .nvb"), or with " (2)", " (3)"... before its suffix (".nvb", ".syx") when the job
// has given that name already or a file (or a link) of that name lies in the folder. So a job
// never replaces a file it did not make, and never writes through a link.
class FreshFileNames {
public:
    // `folder` empty: only the job's own names count.
    explicit FreshFileNames(QString folder = {}) : folder_(std::move(folder)) {}
    QString take(const QString& plain);

private:
    bool taken(const QString& name) const;

    QString folder_;
    QSet<QString> used_;
    // Per plain name, the number to try next: a job of many items of one name looks at each
    // name once, not again from " (2)" for every item.
    QHash<QString, int> nextNumber_;
};

// Runs a job's items one after the other under one progress total: each item once more from its
// start when its first try lost the link, and every item after a link lost for good marked as
// not done ("the job stopped") without traffic.
class JobRun {
public:
    JobRun(JobProgress* progress, std::int64_t totalBytes);

    // Runs `moveItem(NvbStreamObserver*)` for one item of `bytes` and returns its outcome.
    template <typename Transfer>
    Outcome item(const SlotAddress& slot, const QString& file, std::uint32_t bytes,
                 Transfer moveItem);

    bool linkLost() const { return linkLost_; }
    // The keyboard stopped answering before this run (another run of the same job saw it):
    // every item is marked as not done, without traffic.
    void stop() { linkLost_ = true; }

private:
    // Moves the job's total on from the bytes of the item now travelling.
    class ItemProgress : public NvbStreamObserver {
    public:
        ItemProgress(JobProgress* job, std::int64_t before) : job_(job), before_(before) {}
        void notify(NvbStream& stream) override;

    private:
        JobProgress* job_;
        std::int64_t before_;
    };

    Outcome stoppedItem(const SlotAddress& slot, const QString& file) const;
    void itemDone(std::uint32_t bytes);

    JobProgress* progress_;
    std::int64_t done_ = 0;
    bool linkLost_ = false;
};

template <typename Transfer>
Outcome JobRun::item(const SlotAddress& slot, const QString& file, std::uint32_t bytes,
                     Transfer moveItem) {
    if (linkLost_) {
        return stoppedItem(slot, file);
    }
    if (progress_ != nullptr) {
        progress_->itemStarted(slot, file);
    }
    Outcome outcome{slot, file};
    try {
        transfer::withRetry(
            [&] {
                ItemProgress itemProgress(progress_, done_);
                moveItem(&itemProgress);
            },
            [&] {
                outcome.retried = true;
                if (progress_ != nullptr) {
                    progress_->itemRetried(slot);
                }
            });
    } catch (...) {
        const bool link = transfer::isLinkFailure();
        const bool retried = outcome.retried;
        outcome = failedItem(slot, file);
        outcome.retried = retried;
        linkLost_ = link;
    }
    itemDone(bytes);
    return outcome;
}

}  // namespace backup
