#include "dataheader.h"

#include <algorithm>

DataHeader::DataHeader() {
    std::copy(kMagic.begin(), kMagic.end(), bytes_.begin());
}

bool DataHeader::hasMagic() const {
    return std::equal(kMagic.begin(), kMagic.end(), bytes_.begin()) && bytes_[kMagic.size()] == 0;
}

std::uint32_t DataHeader::read32(std::size_t at) const {
    return (std::uint32_t{bytes_[at]} << 24) | (std::uint32_t{bytes_[at + 1]} << 16) |
           (std::uint32_t{bytes_[at + 2]} << 8) | std::uint32_t{bytes_[at + 3]};
}

void DataHeader::write32(std::size_t at, std::uint32_t value) {
    bytes_[at] = static_cast<std::uint8_t>(value >> 24);
    bytes_[at + 1] = static_cast<std::uint8_t>(value >> 16);
    bytes_[at + 2] = static_cast<std::uint8_t>(value >> 8);
    bytes_[at + 3] = static_cast<std::uint8_t>(value);
}

std::uint16_t DataHeader::read16(std::size_t at) const {
    return static_cast<std::uint16_t>((bytes_[at] << 8) | bytes_[at + 1]);
}

void DataHeader::write16(std::size_t at, std::uint16_t value) {
    bytes_[at] = static_cast<std::uint8_t>(value >> 8);
    bytes_[at + 1] = static_cast<std::uint8_t>(value);
}
