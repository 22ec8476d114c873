#include "eksysexencoder.h"

#include <stdexcept>

#include "ekexception.h"

EkSysExEncoder::EkSysExEncoder() {
    frame_.reserve(256);
    frame_ = {sysex::kStart, sysex::kManufacturer, 0, 0, 0, 0, 0, 0, 0, 0};
}

void EkSysExEncoder::setModelCode(std::uint16_t code) {
    frame_[2] = static_cast<std::uint8_t>(code >> 8);
    frame_[3] = static_cast<std::uint8_t>(code & 0xFF);
}

void EkSysExEncoder::setDeviceNumber(std::uint8_t number) {
    frame_[4] = number;
}

void EkSysExEncoder::setType(std::uint8_t type) {
    type_ = type;
    frame_[5] = static_cast<std::uint8_t>((frame_[5] & 0x0F) | (type << 4));
}

void EkSysExEncoder::setBlockNumber(std::uint16_t block) {
    if (frame_.size() < 12) {
        resizeFrame(12);
    }
    frame_[10] = block & 0x7F;
    frame_[11] = (block >> 7) & 0x7F;
}

void EkSysExEncoder::setDataSize(std::uint8_t bytes) {
    resizeFrame(13);
    frame_[12] = bytes >> 1;
}

void EkSysExEncoder::encode(std::vector<std::uint8_t>& out) {
    if (area_ == nullptr) {
        throw std::logic_error("SysEx encoder: no area record attached");
    }
    frame_[5] = static_cast<std::uint8_t>((frame_[5] & 0xF0) | (area_->area & 0x0F));
    frame_[8] = area_->address & 0x7F;
    frame_[9] = (area_->address >> 7) & 0x7F;

    switch (type_) {
        case SysExType::ParamData:
            encodeParam(true);
            break;
        case SysExType::ParamRequest:
            encodeParam(false);
            break;
        case SysExType::DataBlock:
            encodeBlock();
            break;
        case SysExType::DataRequest:
            resizeFrame(10);
            frame_[6] = 0;
            frame_[7] = 0;
            frame_.push_back(0x00);
            break;
        case SysExType::Status:
            resizeFrame(10);
            frame_[5] = static_cast<std::uint8_t>((frame_[5] & 0x0F) | 0x70);
            frame_[6] = 0;
            frame_[7] = 0;
            frame_.push_back(status_ & 0x7F);
            break;
        default:
            throw EkSysExException(EkSysExException::InvalidMessage);
    }
    frame_.push_back(sysex::kEnd);
    out.insert(out.end(), frame_.begin(), frame_.end());
}

void EkSysExEncoder::encodeParam(bool withValue) {
    if (param_ == nullptr) {
        throw std::logic_error("SysEx encoder: no parameter record attached");
    }
    const int count = param_->count;
    const int bits = param_->bits;
    if (count < 1 || count > 4 || bits < 1 || bits > 32) {
        throw std::logic_error("SysEx encoder: parameter count must be 1-4 and width 1-32 bits");
    }
    resizeFrame(10);
    frame_[6] = param_->command & 0x7F;
    frame_[7] = static_cast<std::uint8_t>((((count - 1) << 5) & 0x7F) | ((bits - 1) & 0x1F));
    // Every byte inside the frame must be a data byte; a set top bit would read as a status byte
    // and end the message early on the wire.
    for (int i = 0; i < count; ++i) {
        frame_.push_back(param_->parameters[i] & 0x7F);
    }
    if (withValue) {
        const int groups = sysex::valueGroups(bits);
        for (int i = 0; i < groups; ++i) {
            frame_.push_back((param_->value >> (7 * i)) & 0x7F);
        }
    }
}

void EkSysExEncoder::encodeBlock() {
    if (area_->words == nullptr) {
        throw std::logic_error("SysEx encoder: no word buffer attached to the area record");
    }
    resizeFrame(13);
    frame_[6] = 0x00;
    frame_[7] = 0x4F;
    const std::vector<std::uint16_t>& words = *area_->words;
    const std::size_t base = static_cast<std::size_t>(blockNumber()) * sysex::kWordsPerBlock;
    const int count = frame_[12];
    unsigned sum = 0;
    for (int i = 0; i < count; ++i) {
        const std::uint16_t word = words.at(base + i);
        const std::uint8_t groups[3] = {static_cast<std::uint8_t>(word & 0x7F),
                                        static_cast<std::uint8_t>((word >> 7) & 0x7F),
                                        static_cast<std::uint8_t>((word >> 14) & 0x7F)};
        for (std::uint8_t g : groups) {
            frame_.push_back(g);
            sum += g;
        }
    }
    frame_.push_back(static_cast<std::uint8_t>((0u - sum) & 0x7F));
}
