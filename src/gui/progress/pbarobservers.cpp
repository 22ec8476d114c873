#include "pbarobservers.h"

#include "platform/handover.h"

namespace {

// Runs `change` on the widget's thread (now, when that is this thread), unless it has gone.
template <typename Widget, typename Change>
void onWidget(const QPointer<Widget>& widget, Change change) {
    if (Widget* target = widget.data()) {
        platform::runOn(target, [widget, change] {
            if (widget != nullptr) {
                change(*widget);
            }
        });
    }
}

}  // namespace

void PBarKbdDrvObserver::notify(EkKbdDrv& driver) {
    const int step = driver.progressStep();
    onWidget(bar_, [step](QProgressBar& bar) { bar.setValue(bar.value() + step); });
}

void PBarNvbObserver::notify(NvbStream& stream) {
    const auto position = int(stream.position());
    onWidget(bar_, [position](QProgressBar& bar) { bar.setValue(position); });
}

void WindowJobProgress::jobStarted(std::int64_t totalBytes) {
    const int maximum = int(std::max<std::int64_t>(totalBytes, 1));
    onWidget(bar_, [maximum](QProgressBar& bar) {
        bar.setValue(0);
        bar.setMaximum(maximum);
    });
}

void WindowJobProgress::itemStarted(const SlotAddress& slot, const QString&) {
    const QString text = statusText_ + ' ' + slot.text();
    onWidget(status_, [text](QLabel& status) { status.setText(text); });
}

void WindowJobProgress::jobAdvanced(std::int64_t doneBytes) {
    const int done = int(doneBytes);
    onWidget(bar_, [done](QProgressBar& bar) { bar.setValue(done); });
}
