#pragma once

#include <QString>
#include <functional>

#include "backup/keyboardbackup.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbstream.h"

// A progress bar drawn on stderr, for listings and transfers. Draws nothing unless enabled
// (stderr is a terminal and --quiet was not given).
class TerminalProgress : public EkKbdDrvObserver,
                         public NvbStreamObserver,
                         public backup::JobProgress {
public:
    explicit TerminalProgress(bool enabled) : enabled_(enabled) {}
    ~TerminalProgress() override { finish(); }

    // Starts a new bar with this label and total.
    void start(const QString& label, int total);
    // Clears the bar's line.
    void finish();

    void notify(EkKbdDrv& driver) override;   // adds the driver's step
    void notify(NvbStream& stream) override;  // shows the stream's position

    // A whole backup or restore as one bar, under the label of the last start().
    void jobStarted(std::int64_t totalBytes) override;
    void itemStarted(const SlotAddress&, const QString&) override {}
    void jobAdvanced(std::int64_t doneBytes) override;
    void itemRetried(const SlotAddress& slot) override;

    // Who says that an item of a job is tried again (--verbose); unset: nobody.
    void setRetryNote(std::function<void(const SlotAddress&)> note) {
        retryNote_ = std::move(note);
    }

private:
    void draw();

    bool enabled_;
    bool drawn_ = false;
    QString label_;
    int value_ = 0;
    int total_ = 0;
    std::function<void(const SlotAddress&)> retryNote_;
};
