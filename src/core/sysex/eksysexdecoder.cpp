#include "eksysexdecoder.h"

#include <stdexcept>

#include "ekexception.h"

namespace {

// Header, block number, word count, checksum and end byte.
constexpr std::size_t kEmptyBlockLength = 15;
// Header, status byte and end byte.
constexpr std::size_t kStatusLength = 12;
constexpr std::size_t kHeaderLength = 10;

}  // namespace

void EkSysExDecoder::decode(const std::vector<std::uint8_t>& input) {
    if (area_ == nullptr) {
        throw std::logic_error("SysEx decoder: no area record attached");
    }
    frame_.assign(input.begin(), input.end());
    if (frame_.size() < kHeaderLength) {
        throw EkSysExException(EkSysExException::NoData);
    }
    type_ = frame_[5] >> 4;
    area_->area = frame_[5] & 0x0F;
    area_->address = (frame_[8] & 0x7F) + ((frame_[9] & 0x7F) << 7);

    switch (type_) {
        case SysExType::ParamData:
            decodeParam();
            break;
        case SysExType::DataBlock:
            decodeBlock();
            break;
        case SysExType::Status:
            if (frame_.size() < kStatusLength) {
                throw EkSysExException(EkSysExException::NoData);
            }
            status_ = frame_[10];
            break;
        default:
            throw EkSysExException(EkSysExException::InvalidMessage);
    }
}

void EkSysExDecoder::decodeParam() {
    if (param_ == nullptr) {
        throw std::logic_error("SysEx decoder: no parameter record attached");
    }
    const std::size_t count = ((frame_[7] >> 5) & 3) + 1;
    const int bits = (frame_[7] & 0x1F) + 1;
    const std::size_t groups = sysex::valueGroups(bits);
    param_->command = frame_[6];
    param_->count = static_cast<std::uint8_t>(count);
    param_->bits = static_cast<std::uint8_t>(bits);
    // The value groups are followed by the end byte, which must not be taken for a group.
    if (frame_.size() < kHeaderLength + count + groups + 1) {
        throw EkSysExException(EkSysExException::NoData);
    }
    for (std::size_t i = 0; i < count; ++i) {
        param_->parameters[i] = frame_[kHeaderLength + i];
    }
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < groups; ++i) {
        value |= static_cast<std::uint32_t>(frame_[kHeaderLength + count + i]) << (7 * i);
    }
    value_ = value;
}

void EkSysExDecoder::decodeBlock() {
    // Everything between the word count and the checksum must be whole words; a frame cut in the
    // middle of a word would otherwise have its checksum and end byte read as word bytes.
    if (frame_.size() < kEmptyBlockLength || (frame_.size() - kEmptyBlockLength) % 3 != 0) {
        throw EkSysExException(EkSysExException::NoData);
    }
    words_.clear();
    unsigned sum = 0;
    const std::size_t checksumAt = frame_.size() - 2;
    for (std::size_t at = 13; at < checksumAt; at += 3) {
        const std::uint8_t b0 = frame_[at];
        const std::uint8_t b1 = frame_[at + 1];
        const std::uint8_t b2 = frame_[at + 2];
        sum += b0 + b1 + b2;
        words_.push_back(static_cast<std::uint16_t>(b0 + (b1 << 7) + (b2 << 14)));
    }
    sum += frame_[checksumAt];
    if (sum % 128 != 0) {
        throw EkSysExException(EkSysExException::BadChecksum);
    }
}
