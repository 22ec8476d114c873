#include "nvbstream.h"

#include <algorithm>

void NvbStream::attachObserver(NvbStreamObserver* observer) {
    if (observer != nullptr &&
        std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
        observers_.push_back(observer);
    }
}

void NvbStream::notifyObservers() {
    for (NvbStreamObserver* observer : observers_) {
        observer->notify(*this);
    }
}
