#pragma once

#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>

#include "backup/keyboardbackup.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbstream.h"

// The observers are told on the thread that talks to the keyboard; the bar and the status text
// are changed on their own thread, in the order told.

// Moves the window's progress bar while the driver lists the keyboard: each notification adds
// the driver's progress step, so a full listing ends at the driver's progress total.
class PBarKbdDrvObserver : public EkKbdDrvObserver {
public:
    explicit PBarKbdDrvObserver(QProgressBar* bar) : bar_(bar) {}
    void notify(EkKbdDrv& driver) override;

private:
    QPointer<QProgressBar> bar_;
};

// Moves the window's progress bar while an item travels: the bar shows the bytes moved so far.
class PBarNvbObserver : public NvbStreamObserver {
public:
    explicit PBarNvbObserver(QProgressBar* bar) : bar_(bar) {}
    void notify(NvbStream& stream) override;

private:
    QPointer<QProgressBar> bar_;
};

// One bar over a whole job (a backup, a restore, several items, an edit or an undo), and the
// slot at work in the status text after the command's own.
class WindowJobProgress : public backup::JobProgress {
public:
    WindowJobProgress(QProgressBar* bar, QLabel* status, QString statusText)
        : bar_(bar), status_(status), statusText_(std::move(statusText)) {}

    void jobStarted(std::int64_t totalBytes) override;
    void itemStarted(const SlotAddress& slot, const QString&) override;
    void jobAdvanced(std::int64_t doneBytes) override;

private:
    QPointer<QProgressBar> bar_;
    QPointer<QLabel> status_;
    QString statusText_;
};
