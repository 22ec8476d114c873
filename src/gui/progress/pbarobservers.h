#pragma once

#include <QPointer>
#include <QProgressBar>

#include "kbddrv/ekkbddrv.h"
#include "stream/nvbstream.h"

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
