#include "ekdata.h"

EkData::EkData(std::uint16_t type, std::uint8_t kind) : kind_(kind) {
    header_.setType(type);
}
