#include "ekdatadrive.h"

#include <algorithm>

bool EkDataDrive::hasSubdirectory() const {
    return std::any_of(children_.begin(), children_.end(),
                       [](const auto& child) { return child->isDirectory(); });
}
