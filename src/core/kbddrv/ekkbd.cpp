#include "ekkbd.h"

#include <stdexcept>

#include "mls850layout.h"
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

// Four characters of a name from one value, the most significant byte first. Every byte is
// kept, a zero byte too: the name is then the one the item's data holds, so that the list, the
// files an import names after it and a later comparison with the data all agree.
std::string namePart(std::uint32_t value) {
    std::string part;
    for (int shift = 24; shift >= 0; shift -= 8) {
        part.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
    return part;
}

}  // namespace

EkKbd::EkKbd() = default;

EkKbd::~EkKbd() {
    closePorts();
}

void EkKbd::openPorts(int inputDevice, int outputDevice) {
    inputDevice_ = inputDevice;
    outputDevice_ = outputDevice;
    ports_.open(inputDevice, outputDevice);
}

void EkKbd::closePorts() {
    ports_.close();
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

void EkKbd::encode(std::uint8_t type) {
    encoder_.setModelCode(sysex::kModelCode);
    encoder_.setDeviceNumber(sysex::kDeviceNumber);
    encoder_.setType(type);
    encoder_.setAreaAddress(&area_);
    encoder_.setParamAddress(&param_);
    sendBuffer_.clear();
    encoder_.encode(sendBuffer_);
}

bool EkKbd::answers(const std::vector<std::uint8_t>& message) const {
    // Header: F0 44 11 01 7F, type and area, command, width, two address bytes; then the
    // parameters. A message cut short still answers when what it has echoes the request, so
    // the decoder can say what is wrong with it.
    if (message.size() < 10 || (message[5] & 0x0F) != area_.area ||
        message[8] != (area_.address & 0x7F) || message[9] != ((area_.address >> 7) & 0x7F)) {
        return false;
    }
    switch (message[5] >> 4) {
        case SysExType::ParamData:
            return message[6] == param_.command &&
                   (message.size() < 12 || message[10] == param_.parameters[0]);
        case SysExType::Status:
            return true;  // a refusal carries no command or parameter
        default:
            return false;
    }
}

std::uint32_t EkKbd::songRhythmMemory() const {
    // Before a kind query has told the model, only the limit of the transfer itself is known.
    return keyboardKind_ == 0 ? mls850::kSongRhythmMemory : sysex::kMaxItemBytes;
}

std::uint32_t EkKbd::checkedSize(std::uint32_t bytes) const {
    // Songs and rhythms are whole 16-bit words, and none can be larger than the memory they
    // share: anything else is a broken answer, and nothing may be sized after it.
    if (bytes % 2 != 0 || bytes > songRhythmMemory()) {
        throw EkSysExException(EkSysExException::InvalidMessage);
    }
    return bytes;
}

std::uint32_t EkKbd::request() {
    encode(SysExType::ParamRequest);
    // A message that does not echo the request (another command, area, address or parameter,
    // such as a late answer to an earlier request) is not the answer: the wait goes on.
    const auto isAnswer = [this](const std::vector<std::uint8_t>& message) {
        return answers(message);
    };
    // A request changes nothing on the keyboard, so one whose answer was lost (the MIDI service
    // drops a message now and then on a busy machine) is asked again. The time-out closed the
    // ports; they open afresh for the next try. A late answer to an earlier try is the answer
    // to the same request, so taking it is right.
    for (int attempt = 0;; ++attempt) {
        try {
            ports_.request(sendBuffer_, receiveBuffer_, isAnswer);
            break;
        } catch (const EkSysExException& e) {
            if (e.code() != EkSysExException::Timeout || attempt == kExtraTries) {
                throw;
            }
            ++retries_;
            if (retryListener_) {
                retryListener_();
            }
            ports_.open(inputDevice_, outputDevice_);
        }
    }
    decoder_.setAreaAddress(&area_);
    decoder_.setParamAddress(&param_);
    decoder_.decode(receiveBuffer_);
    // Only a value answers a request: a status or a data block must not be taken for one.
    if (decoder_.type() == SysExType::Status) {
        throw EkSysExException::forStatus(decoder_.status());
    }
    if (decoder_.type() != SysExType::ParamData) {
        throw EkSysExException(EkSysExException::InvalidMessage);
    }
    param_.value = decoder_.value();
    return param_.value;
}

void EkKbd::sendCommand() {
    encode(SysExType::ParamData);
    ports_.send(sendBuffer_);
}

int EkKbd::queryKeyboardKind() {
    setRecords(0, 0, KeyboardKind, 14, 0);
    keyboardKind_ = static_cast<int>(request());
    return keyboardKind_;
}

std::uint32_t EkKbd::queryFreeMemory() {
    setRecords(0, 0, FreeMemory, 32, 0);
    const std::uint32_t bytes = request();
    if (bytes > songRhythmMemory()) {
        throw EkSysExException(EkSysExException::InvalidMessage);
    }
    return bytes;
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
    return checkedSize(request());
}

std::string EkKbd::readRhythmName(int slot) {
    return readName(0, 0, RhythmName, static_cast<std::uint8_t>(slot));
}

std::uint32_t EkKbd::querySongSize(int slot) {
    setRecords(0, 0, SongSize, 32, static_cast<std::uint8_t>(slot));
    return checkedSize(request());
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
    return mls850::registrationName(bank, number);
}
