#include "ekkbd.h"

#include <algorithm>
#include <stdexcept>

#include "platform/eventwait.h"
#include "sysex/ekexception.h"

namespace {

// Command numbers of the keyboard's parameters.
enum Command : std::uint8_t {
    KeyboardKind = 0,
    DeleteSong = 32,
    DeleteRhythm = 33,
    FreeMemory = 34,
    RhythmSize = 35,
    RhythmName = 36,  // and 37 for the second half
    SongSize = 38,
    SongName = 39,  // and 40
    DspName = 48,   // and 49
    ToneName = 96,  // and 97
};

// Four characters of a name from one value: its bytes from least to most significant, cut at
// the first zero byte, then reversed, so the most significant byte is the first character.
std::string namePart(std::uint32_t value) {
    std::string part;
    for (int i = 0; i < 4; ++i) {
        const char c = static_cast<char>((value >> (8 * i)) & 0xFF);
        if (c == '\0') {
            break;
        }
        part.push_back(c);
    }
    std::reverse(part.begin(), part.end());
    return part;
}

}  // namespace

EkKbd::EkKbd()
    : answerTimer_([this] {
          timedOut_ = true;
          done_ = true;
      }) {
    output_.attachObserver(&outputObserver_);
    input_.attachObserver(&inputObserver_);
}

EkKbd::~EkKbd() {
    closePorts();
}

void EkKbd::openPorts(int inputDevice, int outputDevice) {
    inputDevice_ = inputDevice;
    outputDevice_ = outputDevice;
    input_.open(inputDevice);
    try {
        output_.open(outputDevice);
    } catch (...) {
        input_.close();
        throw;
    }
}

void EkKbd::closePorts() {
    output_.close();
    input_.close();
}

void EkKbd::setRecords(std::uint8_t area, int address, std::uint8_t command, std::uint8_t bits,
                       std::uint8_t parameter, std::uint32_t value) {
    area_.area = area;
    area_.address = address;
    param_.command = command;
    param_.bits = bits;
    param_.count = 1;
    param_.parameters = {parameter, 0, 0, 0};
    param_.value = value;
}

void EkKbd::sendAndWait(std::uint8_t type) {
    if (!output_.isOpen() || !input_.isOpen()) {
        throw std::logic_error("EkKbd: a transaction needs both ports open");
    }
    encoder_.setModelCode(sysex::kModelCode);
    encoder_.setDeviceNumber(sysex::kDeviceNumber);
    encoder_.setType(type);
    encoder_.setAreaAddress(&area_);
    encoder_.setParamAddress(&param_);
    done_ = false;
    timedOut_ = false;
    sendBuffer_.clear();
    encoder_.encode(sendBuffer_);
    output_.put(sendBuffer_);
    output_.send();
    platform::waitUntil(done_);
    // An answer may beat the report that the request left; no tick may outlive the wait.
    answerTimer_.stop();
}

std::uint32_t EkKbd::request() {
    outputObserver_.setHandler([this] {
        if (!done_) {
            answerTimer_.start();
        }
    });
    inputObserver_.setHandler([this] {
        answerTimer_.stop();
        done_ = true;
    });
    sendAndWait(SysExType::ParamRequest);
    if (timedOut_) {
        closePorts();
        throw EkSysExException(EkSysExException::Timeout);
    }
    receiveBuffer_.clear();
    input_.getData(receiveBuffer_);
    decoder_.setAreaAddress(&area_);
    decoder_.setParamAddress(&param_);
    decoder_.decode(receiveBuffer_);
    // Only a value answers a request: a status or a data block must not be taken for one.
    if (decoder_.type() == SysExType::Status) {
        switch (decoder_.status()) {
            case TransferStatus::Rejected:
                throw EkSysExException(EkSysExException::Rejected);
            case TransferStatus::Error:
                throw EkSysExException(EkSysExException::CommError);
            default:
                throw EkSysExException(EkSysExException::UnknownStatus);
        }
    }
    if (decoder_.type() != SysExType::ParamData) {
        throw EkSysExException(EkSysExException::InvalidMessage);
    }
    param_.value = decoder_.value();
    return param_.value;
}

void EkKbd::sendCommand() {
    outputObserver_.setHandler([this] { done_ = true; });
    inputObserver_.clearHandler();
    sendAndWait(SysExType::ParamData);
}

int EkKbd::queryKeyboardKind() {
    setRecords(0, 0, KeyboardKind, 14, 0);
    keyboardKind_ = static_cast<int>(request());
    return keyboardKind_;
}

std::uint32_t EkKbd::queryFreeMemory() {
    setRecords(0, 0, FreeMemory, 32, 0);
    return request();
}

std::string EkKbd::readName(std::uint8_t area, int address, std::uint8_t command,
                            std::uint8_t parameter) {
    setRecords(area, address, command, 32, parameter);
    std::string name = namePart(request());
    // The second half is asked with the fields the first answer left in the records.
    ++param_.command;
    name += namePart(request());
    return name;
}

std::string EkKbd::readToneName(int slot) {
    return readName(2, slot + 384, ToneName, 0);
}

std::string EkKbd::readDspName(int slot) {
    return readName(9, slot + 100, DspName, 0);
}

std::uint32_t EkKbd::queryRhythmSize(int slot) {
    setRecords(0, 0, RhythmSize, 32, static_cast<std::uint8_t>(slot));
    return request();
}

std::string EkKbd::readRhythmName(int slot) {
    return readName(0, 0, RhythmName, static_cast<std::uint8_t>(slot));
}

std::uint32_t EkKbd::querySongSize(int slot) {
    setRecords(0, 0, SongSize, 32, static_cast<std::uint8_t>(slot));
    return request();
}

std::string EkKbd::readSongName(int slot) {
    return readName(0, 0, SongName, static_cast<std::uint8_t>(slot));
}

void EkKbd::deleteRhythm(int slot) {
    setRecords(0, 0, DeleteRhythm, 8, 0, static_cast<std::uint32_t>(slot));
    sendCommand();
}

void EkKbd::deleteSong(int slot) {
    setRecords(0, 0, DeleteSong, 8, 0, static_cast<std::uint32_t>(slot));
    sendCommand();
}

std::string EkKbd::registrationName(int bank, int number) const {
    if (keyboardKind_ != 0) {
        return {};
    }
    return "Preset" + std::to_string(bank) + std::to_string(number + 1);
}
