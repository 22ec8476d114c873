#include "ekmidi.h"

#include "ekmidiobserver.h"

EkMidi::~EkMidi() = default;

void EkMidi::getData(std::vector<std::uint8_t>& out) const {
    out.insert(out.end(), data_.begin(), data_.end());
}

void EkMidi::notifyObservers() {
    for (EkMidiObserver* observer : observers_) {
        observer->notify();
    }
}
