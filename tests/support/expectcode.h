#pragma once

#include <functional>

#include "sysex/ekexception.h"

// The code of the EkException the operation throws; -1 when it throws none.
inline int expectCode(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const EkException& e) {
        return e.code();
    }
    return -1;
}
