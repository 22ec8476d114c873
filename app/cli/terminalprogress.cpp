#include "terminalprogress.h"

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kWidth = 30;
}

void TerminalProgress::start(const QString& label, int total) {
    finish();
    label_ = label;
    total_ = total;
    value_ = 0;
}

void TerminalProgress::finish() {
    if (enabled_ && drawn_) {
        std::fprintf(stderr, "\r\033[K");
        std::fflush(stderr);
    }
    drawn_ = false;
}

void TerminalProgress::notify(EkKbdDrv& driver) {
    value_ += driver.progressStep();
    draw();
}

void TerminalProgress::notify(NvbStream& stream) {
    value_ = stream.position();
    draw();
}

void TerminalProgress::jobStarted(std::int64_t totalBytes) {
    start(label_, int(totalBytes));
}

void TerminalProgress::jobAdvanced(std::int64_t doneBytes) {
    value_ = int(doneBytes);
    draw();
}

void TerminalProgress::draw() {
    if (!enabled_ || total_ <= 0) {
        return;
    }
    const int shown = std::clamp(value_, 0, total_);
    const int filled = shown * kWidth / total_;
    std::fprintf(stderr, "\r%-10s [%.*s%.*s] %3d%%", qPrintable(label_), filled,
                 "##############################", kWidth - filled,
                 "..............................", shown * 100 / total_);
    std::fflush(stderr);
    drawn_ = true;
}

void TerminalProgress::itemRetried(const SlotAddress& slot) {
    if (retryNote_) {
        retryNote_(slot);
    }
}
