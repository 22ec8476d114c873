#include "sysexdescription.h"

#include <array>
#include <cstdio>

#include "ekexception.h"
#include "eksysexdecoder.h"

namespace sysex {
namespace {

// Frame bytes: the type and area, the command, the parameter count and value width, the
// address, then the parameters (or a block's number and word count, or a status).
constexpr std::size_t kTypeAt = 5;
constexpr std::size_t kCommandAt = 6;
constexpr std::size_t kHeaderLength = 10;
constexpr std::size_t kManufacturerAt = 1;
constexpr unsigned kParamCountShift = 5;
constexpr unsigned kParamCountMask = 3;

std::string statusWord(std::uint8_t status) {
    switch (status) {
        case TransferStatus::End:
            return "End";
        case TransferStatus::Ack:
            return "Ack";
        case TransferStatus::Rejected:
            return "Rejected";
        case TransferStatus::Error:
            return "Error";
        default:
            return "unknown (" + std::to_string(status) + ")";
    }
}

std::string systemMessage(std::uint8_t status) {
    switch (status) {
        case 0xF8:
            return "Clock";
        case 0xFA:
            return "Start";
        case 0xFB:
            return "Continue";
        case 0xFC:
            return "Stop";
        case 0xFE:
            return "Active Sensing";
        case 0xFF:
            return "Reset";
        default:
            return "not SysEx";
    }
}

std::string where(const AreaAddress& area) {
    return "area " + std::to_string(area.area) + " addr " + std::to_string(area.address);
}

std::string parameter(const std::vector<std::uint8_t>& message) {
    const std::size_t count = ((message[kCommandAt + 1] >> kParamCountShift) & kParamCountMask) + 1;
    std::string text = " cmd " + std::to_string(message[kCommandAt]) + " param";
    for (std::size_t i = 0; i < count && kHeaderLength + i < message.size() - 1; ++i) {
        text += " " + std::to_string(message[kHeaderLength + i]);
    }
    return text;
}

}  // namespace

std::string hexBytes(const std::vector<std::uint8_t>& message) {
    std::string text;
    std::array<char, 4> digits{};
    for (const std::uint8_t byte : message) {
        std::snprintf(digits.data(), digits.size(), "%02X", byte);
        if (!text.empty()) {
            text += ' ';
        }
        text += digits.data();
    }
    return text;
}

std::string describeMessage(const std::vector<std::uint8_t>& message) {
    if (message.empty()) {
        return "empty";
    }
    if (message.front() != kStart) {
        return systemMessage(message.front());
    }
    if (message.size() <= kManufacturerAt || message[kManufacturerAt] != kManufacturer) {
        return "another maker's SysEx (" +
               (message.size() > kManufacturerAt ? hexBytes({message[kManufacturerAt]})
                                                 : std::string("none")) +
               ")";
    }
    if (message.size() < kHeaderLength + 1) {
        return "the keyboard's SysEx, cut short";
    }
    EkSysExDecoder decoder;
    AreaAddress area;
    ParamAddress param;
    decoder.setAreaAddress(&area);
    decoder.setParamAddress(&param);
    const std::uint8_t type = message[kTypeAt] >> 4;
    area.area = message[kTypeAt] & 0x0F;
    area.address = (message[8] & 0x7F) + ((message[9] & 0x7F) << 7);
    std::string problem;
    try {
        if (type == SysExType::ParamData || type == SysExType::DataBlock ||
            type == SysExType::Status) {
            decoder.decode(message);
        }
    } catch (const EkSysExException& e) {
        problem = e.code() == EkSysExException::BadChecksum ? ", bad checksum" : ", cut short";
    }
    switch (type) {
        case SysExType::ParamRequest:
            return "ParamRequest " + where(area) + parameter(message);
        case SysExType::ParamData:
            return "ParamData " + where(area) + parameter(message) +
                   (problem.empty() ? " value " + std::to_string(decoder.value()) : problem);
        case SysExType::DataRequest:
            return "DataRequest " + where(area);
        case SysExType::DataBlock: {
            // Read from the frame itself: the decoder keeps no frame it refused.
            const std::uint16_t block =
                message.size() > 11 ? std::uint16_t((message[10] & 0x7F) + 128 * (message[11] & 0x7F))
                                    : 0;
            const int bytes = message.size() > 12 ? message[12] * 2 : 0;
            return "DataBlock " + std::to_string(block) + ", " + std::to_string(bytes) + " bytes" +
                   problem;
        }
        case SysExType::Status:
            return problem.empty() ? "Status " + statusWord(decoder.status()) + " " + where(area)
                                   : "Status" + problem;
        default:
            return "the keyboard's SysEx of unknown type " + std::to_string(type);
    }
}

}  // namespace sysex
