#include "eventwait.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <stdexcept>

namespace platform {

void waitUntil(const bool& done) {
    if (QCoreApplication::instance() == nullptr) {
        throw std::logic_error("waitUntil needs a running QCoreApplication");
    }
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

}  // namespace platform
