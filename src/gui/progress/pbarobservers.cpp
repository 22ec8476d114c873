#include "pbarobservers.h"

// The work runs on the window's thread, so the bar is repainted at once rather than when the
// event loop next gets to it.

void PBarKbdDrvObserver::notify(EkKbdDrv& driver) {
    if (bar_.isNull()) {
        return;
    }
    bar_->setValue(bar_->value() + driver.progressStep());
    bar_->repaint();
}

void PBarNvbObserver::notify(NvbStream& stream) {
    if (bar_.isNull()) {
        return;
    }
    bar_->setValue(stream.position());
    bar_->repaint();
}
