#include "ekdatafile.h"

namespace {

// Where a registration's name lies in the header; each pair of characters is exchanged there.
std::size_t registrationNameByte(std::size_t character) {
    return DataHeader::kExtraOffset + (character ^ 1);
}

}  // namespace

int EkDataFile::nameOffsetInData(std::uint16_t type) {
    switch (type) {
        case DataType::Tone:
            return 36;
        case DataType::DSP:
            return 0;
        case DataType::Song:
            return 4;
        case DataType::Rhythm:
            return 2;
        default:
            return -1;
    }
}

std::uint8_t EkDataFile::dataByte(std::size_t index) const {
    const std::uint16_t word = words_.at(index / 2);
    return index % 2 == 0 ? static_cast<std::uint8_t>(word >> 8) : static_cast<std::uint8_t>(word);
}

void EkDataFile::setDataByte(std::size_t index, std::uint8_t value) {
    std::uint16_t& word = words_.at(index / 2);
    word = index % 2 == 0 ? static_cast<std::uint16_t>((word & 0x00FF) | (value << 8))
                          : static_cast<std::uint16_t>((word & 0xFF00) | value);
}

void EkDataFile::storeName(const std::string& name) {
    std::string padded = name.substr(0, kNameLength);
    setName(padded);
    padded.resize(kNameLength, ' ');

    if (type() == DataType::Registration) {
        auto& bytes = header().bytes();
        for (std::size_t i = 0; i < kNameLength; ++i) {
            bytes[registrationNameByte(i)] = static_cast<std::uint8_t>(padded[i]);
        }
        return;
    }
    const int offset = nameOffsetInData(type());
    if (offset < 0 || !dataHolds(offset + kNameLength)) {
        return;
    }
    for (std::size_t i = 0; i < kNameLength; ++i) {
        setDataByte(offset + i, static_cast<std::uint8_t>(padded[i]));
    }
}

void EkDataFile::loadName() {
    std::string name(kNameLength, ' ');
    if (type() == DataType::Registration) {
        const auto& bytes = header().bytes();
        for (std::size_t i = 0; i < kNameLength; ++i) {
            name[i] = static_cast<char>(bytes[registrationNameByte(i)]);
        }
        setName(name);
        return;
    }
    const int offset = nameOffsetInData(type());
    if (offset < 0 || !dataHolds(offset + kNameLength)) {
        return;
    }
    for (std::size_t i = 0; i < kNameLength; ++i) {
        name[i] = static_cast<char>(dataByte(offset + i));
    }
    setName(name);
}

void EkDataFile::adopt(const EkData& other) {
    setType(other.type());
    setSize(other.size());
    switch (type()) {
        case DataType::Tone:
        case DataType::DSP:
        case DataType::Song:
        case DataType::Rhythm:
            loadName();
            break;
        case DataType::Registration:
            // A registration's data holds no name: the slot's name goes into the header.
            storeName(other.name());
            break;
        default:
            break;
    }
}
