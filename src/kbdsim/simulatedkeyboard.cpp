#include "simulatedkeyboard.h"

#include <QMetaObject>
#include <algorithm>
#include <array>
#include <stdexcept>

#include "data/datatypes.h"
#include "sysex/eksysexencoder.h"
#include "sysex/sysexrecords.h"

namespace kbdsim {

// A message as the instrument reads it off the cable.
struct SimulatedKeyboard::Message {
    std::uint8_t type = 0;
    std::uint8_t area = 0;
    int address = 0;
    // Parameter messages
    std::uint8_t command = 0;
    std::uint8_t bits = 0;
    std::uint8_t count = 0;
    std::array<std::uint8_t, 4> parameters{};
    std::uint32_t value = 0;
    // Data blocks
    int block = 0;
    std::vector<std::uint16_t> words;
    bool checksumOk = true;
    // Status
    std::uint8_t status = 0;
};

// The item the instrument is sending to the program.
struct SimulatedKeyboard::Fetch {
    SlotRef slot;
    std::vector<std::uint16_t> words;
    int nextBlock = 0;
};

// The item the program is sending to the instrument.
struct SimulatedKeyboard::Reception {
    SlotRef slot;
    std::vector<std::uint16_t> words;
    int expectedBlock = 0;
};

namespace {

constexpr int kWireBitsPerByte = 10;
constexpr int kBaud = 31250;

}  // namespace

bool addLosses(Faults& faults, const QString& lossList, QString* error) {
    Faults::Losses losses = faults.lose;
    const std::array<std::pair<const char*, int*>, 6> kinds{
        {{"end", &losses.end},
         {"delete", &losses.erase},
         {"block", &losses.block},
         {"ack", &losses.ack},
         {"answer", &losses.answer},
         {"answer-after-change", &losses.afterChange}}};
    for (const QString& item : lossList.split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = item.trimmed().split(u':');
        bool ok = parts.size() == 2;
        const int count = ok ? parts[1].toInt(&ok) : 0;
        const auto kind = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) {
            return ok && parts[0] == QLatin1String(k.first);
        });
        const bool everyOne = count == -1;
        if (!ok || kind == kinds.end() || count < -1 ||
            (everyOne && kind->second == &losses.afterChange)) {
            *error = QStringLiteral(
                         "'%1' is no loss: KIND:N with KIND end, delete, block, ack, "
                         "answer or answer-after-change, and N a count (-1: every one, "
                         "except after a change)")
                         .arg(item);
            return false;
        }
        *kind->second = count;
    }
    faults.lose = losses;
    return true;
}

namespace {

// A slot as the programs write it: "tone:5", "dsp:0", "reg:1.2", "song:1", "rhythm:3".
std::optional<SlotRef> slotOfText(const QString& text) {
    struct Kind {
        const char* word;
        std::uint16_t type;
        int count;
    };
    const std::array<Kind, 5> kinds{{{"tone", DataType::Tone, KeyboardMemory::kTones},
                                     {"dsp", DataType::DSP, KeyboardMemory::kDsps},
                                     {"reg", DataType::Registration,
                                      KeyboardMemory::kRegistrationsPerBank},
                                     {"song", DataType::Song, KeyboardMemory::kSongs},
                                     {"rhythm", DataType::Rhythm, KeyboardMemory::kRhythms}}};
    const qsizetype colon = text.indexOf(u':');
    for (const Kind& kind : kinds) {
        if (colon < 0 || text.left(colon) != QLatin1String(kind.word)) {
            continue;
        }
        QString number = text.mid(colon + 1);
        bool ok = true;
        int bank = 0;
        if (kind.type == DataType::Registration) {
            const QStringList parts = number.split(u'.');
            ok = parts.size() == 2;
            bank = ok ? parts[0].toInt(&ok) : 0;
            ok = ok && bank >= 0 && bank < KeyboardMemory::kBanks;
            number = ok ? parts[1] : QString();
        }
        const int value = ok ? number.toInt(&ok) : 0;
        if (ok && value >= 0 && value < kind.count) {
            return SlotRef{kind.type, bank, value};
        }
    }
    return std::nullopt;
}

}  // namespace

bool setPanelCopy(Faults& faults, const QString& copy, QString* error) {
    const QStringList parts = copy.split(u':');
    bool ok = parts.size() == 5;
    const int after = ok ? parts[0].toInt(&ok) : 0;
    const auto from = ok ? slotOfText(parts[1] + u':' + parts[2]) : std::nullopt;
    const auto to = ok ? slotOfText(parts[3] + u':' + parts[4]) : std::nullopt;
    if (!ok || after < 1 || !from || !to || from->type != to->type) {
        *error = QStringLiteral(
                     "'%1' is no panel copy: N:FROM:TO with N a request's number (from 1) and "
                     "FROM and TO two slots of one kind (tone:5, reg:1.2, song:1...)")
                     .arg(copy);
        return false;
    }
    faults.panelCopy = {after, *from, *to};
    return true;
}

SimulatedKeyboard::SimulatedKeyboard(KeyboardMemory memory, QObject* parent)
    : QObject(parent), memory_(std::move(memory)), fetchPatience_(this) {
    // A child, so that it goes with the keyboard when the keyboard is moved to another thread.
    fetchPatience_.setSingleShot(true);
    fetchPatience_.setInterval(kAckPatience);
    connect(&fetchPatience_, &QTimer::timeout, this, [this] { fetch_.reset(); });
}

SimulatedKeyboard::~SimulatedKeyboard() = default;

std::chrono::microseconds SimulatedKeyboard::wireTime(std::size_t bytes) {
    return std::chrono::microseconds(static_cast<long long>(bytes) * kWireBitsPerByte * 1000000 /
                                     kBaud);
}

void SimulatedKeyboard::schedule(Clock::time_point due, std::function<void()> work) {
    const auto delay = std::chrono::round<std::chrono::milliseconds>(due - Clock::now());
    if (delay.count() <= 0) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
    } else {
        QTimer::singleShot(delay, Qt::PreciseTimer, this, std::move(work));
    }
}

void SimulatedKeyboard::receive(const std::vector<std::uint8_t>& message) {
    Clock::time_point arrival = std::max(Clock::now(), inboundFreeAt_);
    if (timing_.paced) {
        arrival += wireTime(message.size());
    }
    inboundFreeAt_ = arrival;
    ++messagesOnTheCable_;
    schedule(arrival, [this, message] {
        handle(message);
        if (--messagesOnTheCable_ == 0) {
            Q_EMIT tookEverything();
        }
    });
}

namespace {

bool readMessage(const std::vector<std::uint8_t>& m, std::uint8_t& type, std::uint8_t& area,
                 int& address) {
    if (m.size() < 10 || m.front() != sysex::kStart || m[1] != sysex::kManufacturer ||
        m.back() != sysex::kEnd) {
        return false;
    }
    type = m[5] >> 4;
    area = m[5] & 0x0F;
    address = (m[8] & 0x7F) | ((m[9] & 0x7F) << 7);
    return true;
}

}  // namespace

namespace {

// Takes one loss of a kind when one is due (a negative count: every message is lost).
bool takeLoss(int& count) {
    if (count == 0) {
        return false;
    }
    if (count > 0) {
        --count;
    }
    return true;
}

// Where the fields the loss faults tell messages apart by stand in a message of the frame.
constexpr std::size_t kCommandAt = 6;
constexpr std::size_t kStatusAt = 10;
constexpr std::size_t kShortestStatus = 12;
constexpr std::uint8_t kDeleteSong = 32;
constexpr std::uint8_t kDeleteRhythm = 33;

}  // namespace

bool SimulatedKeyboard::lostOnTheWay(const std::vector<std::uint8_t>& m) {
    std::uint8_t type = 0;
    std::uint8_t area = 0;
    int address = 0;
    if (!readMessage(m, type, area, address)) {
        return false;
    }
    auto& lose = faults_.lose;
    const bool isDelete = type == SysExType::ParamData && area == 0 &&
                          (m[kCommandAt] == kDeleteSong || m[kCommandAt] == kDeleteRhythm);
    const bool isStatus = type == SysExType::Status && m.size() >= kShortestStatus;
    const bool isEnd = isStatus && m[kStatusAt] == TransferStatus::End && !fetch_;
    const bool isAck = isStatus && m[kStatusAt] == TransferStatus::Ack && fetch_;
    if (isEnd || isDelete) {
        ++unansweredTaken_;
        if (faults_.loseUnansweredEvery > 0 &&
            unansweredTaken_ % faults_.loseUnansweredEvery == 0) {
            return true;
        }
    }
    return (isEnd && takeLoss(lose.end)) || (isDelete && takeLoss(lose.erase)) ||
           (isAck && takeLoss(lose.ack)) || (type == SysExType::DataBlock && takeLoss(lose.block));
}

void SimulatedKeyboard::handle(const std::vector<std::uint8_t>& m) {
    if (lostOnTheWay(m)) {
        return;
    }
    Q_EMIT traffic(true, QByteArray(reinterpret_cast<const char*>(m.data()), qsizetype(m.size())));
    if (faults_.silent) {
        return;
    }
    Message msg;
    if (!readMessage(m, msg.type, msg.area, msg.address)) {
        return;  // another maker's message, or not a whole one: not for this instrument
    }
    const std::size_t size = m.size();
    bool wellFormed = false;
    switch (msg.type) {
        case SysExType::ParamData:
        case SysExType::ParamRequest: {
            msg.command = m[6];
            msg.count = static_cast<std::uint8_t>(((m[7] >> 5) & 3) + 1);
            msg.bits = static_cast<std::uint8_t>((m[7] & 0x1F) + 1);
            const std::size_t groups =
                msg.type == SysExType::ParamData ? sysex::valueGroups(msg.bits) : 0;
            wellFormed = size >= 10u + msg.count + groups + 1;
            if (wellFormed) {
                for (std::size_t i = 0; i < msg.count; ++i) {
                    msg.parameters[i] = m[10 + i];
                }
                for (std::size_t i = 0; i < groups; ++i) {
                    msg.value |= static_cast<std::uint32_t>(m[10 + msg.count + i] & 0x7F)
                                 << (7 * i);
                }
            }
            break;
        }
        case SysExType::DataBlock: {
            wellFormed = size >= 15 && (size - 15) % 3 == 0;
            if (wellFormed) {
                msg.block = (m[10] & 0x7F) | ((m[11] & 0x7F) << 7);
                unsigned sum = 0;
                for (std::size_t at = 13; at < size - 2; at += 3) {
                    sum += m[at] + m[at + 1] + m[at + 2];
                    msg.words.push_back(
                        static_cast<std::uint16_t>(m[at] | (m[at + 1] << 7) | (m[at + 2] << 14)));
                }
                msg.checksumOk = (sum + m[size - 2]) % 128 == 0;
            }
            break;
        }
        case SysExType::DataRequest:
            wellFormed = size >= 11;
            break;
        case SysExType::Status:
            wellFormed = size >= 12;
            if (wellFormed) {
                msg.status = m[10];
            }
            break;
        default:
            break;
    }
    if (!wellFormed) {
        sendStatus(msg.area, msg.address, TransferStatus::Error);
        return;
    }
    switch (msg.type) {
        case SysExType::ParamRequest:
            ++requestsTaken_;
            if (faults_.unansweredRequestEvery > 0 &&
                requestsTaken_ % faults_.unansweredRequestEvery == 0) {
                break;
            }
            answerRequest(msg);
            if (requestsTaken_ == faults_.panelCopy.afterRequest) {
                panelCopy();
            }
            break;
        case SysExType::ParamData:
            runCommand(msg);
            break;
        case SysExType::DataRequest:
            startFetch(msg);
            break;
        case SysExType::DataBlock:
            takeBlock(msg);
            break;
        case SysExType::Status:
            takeStatus(msg);
            break;
        default:
            break;
    }
}

void SimulatedKeyboard::answerRequest(const Message& request) {
    // Four characters of a name as one value, the first character in the top byte.
    auto nameHalf = [](const std::string& name, int half) {
        std::string padded = name;
        padded.resize(8, '\0');
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = (value << 8) | static_cast<std::uint8_t>(padded[std::size_t(4 * half + i)]);
        }
        return value;
    };
    const int parameter = request.parameters[0];
    auto slotIf = [](std::uint16_t type, int number, int count) -> std::optional<SlotRef> {
        if (number >= 0 && number < count) {
            return SlotRef{type, 0, number};
        }
        return std::nullopt;
    };

    std::optional<std::uint32_t> value;
    if (request.area == 0) {
        const auto song = slotIf(DataType::Song, parameter, KeyboardMemory::kSongs);
        const auto rhythm = slotIf(DataType::Rhythm, parameter, KeyboardMemory::kRhythms);
        switch (request.command) {
            case 0:
                value = static_cast<std::uint32_t>(memory_.kind);
                break;
            case 34:
                value = memory_.freeMemory();
                break;
            case 35:
                if (rhythm) {
                    value = memory_.size(*rhythm);
                }
                break;
            case 36:
            case 37:
                if (rhythm) {
                    value = nameHalf(memory_.name(*rhythm), request.command - 36);
                }
                break;
            case 38:
                if (song) {
                    value = memory_.size(*song);
                }
                break;
            case 39:
            case 40:
                if (song) {
                    value = nameHalf(memory_.name(*song), request.command - 39);
                }
                break;
            default:
                break;
        }
    } else if ((request.area == DataType::Tone &&
                (request.command == 96 || request.command == 97)) ||
               (request.area == DataType::DSP &&
                (request.command == 48 || request.command == 49))) {
        if (const auto slot = KeyboardMemory::slotAt(request.area, request.address)) {
            const int first = request.area == DataType::Tone ? 96 : 48;
            value = nameHalf(memory_.name(*slot), request.command - first);
        }
    }
    // A request the instrument does not know goes unanswered, as on the real instrument.
    if (value && answersToLose_ > 0) {
        --answersToLose_;
        return;
    }
    if (value && !takeLoss(faults_.lose.answer)) {
        sendParam(request, *value);
    }
}

void SimulatedKeyboard::runCommand(const Message& command) {
    if (command.area != 0 || (command.command != 32 && command.command != 33)) {
        return;
    }
    const bool song = command.command == 32;
    const int count = song ? KeyboardMemory::kSongs : KeyboardMemory::kRhythms;
    const int number = static_cast<int>(command.value);
    if (number < 0 || number >= count) {
        return;
    }
    memory_.setData(
        {song ? std::uint16_t(DataType::Song) : std::uint16_t(DataType::Rhythm), 0, number}, {});
    answersToLose_ = faults_.lose.afterChange;
    Q_EMIT memoryChanged();
}

void SimulatedKeyboard::panelCopy() {
    const Faults::PanelCopy& copy = faults_.panelCopy;
    try {
        memory_.setData(copy.to, memory_.data(copy.from));
    } catch (const std::invalid_argument&) {
        return;  // the panel says the memory is full, and nothing changes
    }
    Q_EMIT memoryChanged();
}

void SimulatedKeyboard::startFetch(const Message& request) {
    reception_.reset();
    const auto slot = KeyboardMemory::slotAt(request.area, request.address);
    if (!slot) {
        fetch_.reset();
        sendStatus(request.area, request.address, TransferStatus::Rejected);
        return;
    }
    fetch_ = std::make_unique<Fetch>(Fetch{*slot, memory_.data(*slot), 0});
    sendNextBlock();
}

void SimulatedKeyboard::sendNextBlock() {
    Fetch& fetch = *fetch_;
    const auto area = static_cast<std::uint8_t>(fetch.slot.type);
    const int address = KeyboardMemory::addressOf(fetch.slot);
    const int totalWords = static_cast<int>(fetch.words.size());
    const int firstWord = fetch.nextBlock * sysex::kWordsPerBlock;
    if (firstWord >= totalWords) {
        fetch_.reset();
        fetchPatience_.stop();
        sendStatus(area, address, TransferStatus::End);
        return;
    }
    if (fetch.nextBlock == faults_.fetchStatus.block) {
        fetch_.reset();
        fetchPatience_.stop();
        sendStatus(area, address, static_cast<std::uint8_t>(faults_.fetchStatus.status));
        return;
    }
    const int words = std::min(sysex::kWordsPerBlock, totalWords - firstWord);
    AreaAddress record{area, totalWords * 2, address, &fetch.words};
    EkSysExEncoder encoder;
    encoder.setModelCode(sysex::kModelCode);
    encoder.setDeviceNumber(sysex::kDeviceNumber);
    encoder.setAreaAddress(&record);
    encoder.setType(SysExType::DataBlock);
    encoder.setBlockNumber(static_cast<std::uint16_t>(fetch.nextBlock));
    encoder.setDataSize(static_cast<std::uint8_t>(2 * words));
    std::vector<std::uint8_t> message;
    encoder.encode(message);
    if (fetch.nextBlock == faults_.corruptChecksumBlock) {
        std::uint8_t& checksum = message[message.size() - 2];
        checksum = static_cast<std::uint8_t>((checksum + 1) & 0x7F);
    }
    ++fetch.nextBlock;
    fetchPatience_.start();
    answer(std::move(message));
}

void SimulatedKeyboard::takeBlock(const Message& block) {
    fetch_.reset();
    const auto slot = KeyboardMemory::slotAt(block.area, block.address);
    if (!slot) {
        reception_.reset();
        sendStatus(block.area, block.address, TransferStatus::Rejected);
        return;
    }
    if (!block.checksumOk) {
        sendStatus(block.area, block.address, TransferStatus::Error);
        return;
    }
    if (block.block == 0) {
        reception_ = std::make_unique<Reception>(Reception{*slot, {}, 0});
    }
    // Block 0 starts an item; each later block follows the last one taken, or repeats it.
    if (!reception_ || !(reception_->slot == *slot) ||
        (block.block != reception_->expectedBlock &&
         block.block != reception_->expectedBlock - 1)) {
        reception_.reset();
        sendStatus(block.area, block.address, TransferStatus::Error);
        return;
    }
    auto& fault = faults_.blockStatus;
    if (block.block == fault.block && fault.count != 0) {
        if (fault.count > 0) {
            --fault.count;
        }
        if (fault.status == TransferStatus::Rejected || fault.status == TransferStatus::Error) {
            reception_.reset();
        }
        sendStatus(block.area, block.address, static_cast<std::uint8_t>(fault.status));
        return;
    }
    const std::size_t first = static_cast<std::size_t>(block.block) * sysex::kWordsPerBlock;
    const std::size_t total = first + block.words.size();
    const int fixed = KeyboardMemory::fixedSize(slot->type);
    const int room = fixed != 0 ? fixed : int(memory_.freeMemory()) + memory_.size(*slot);
    if (static_cast<int>(total * 2) > room) {
        reception_.reset();
        sendStatus(block.area, block.address, TransferStatus::Rejected);
        return;
    }
    auto& words = reception_->words;
    words.resize(total);
    std::copy(block.words.begin(), block.words.end(),
              words.begin() + static_cast<std::ptrdiff_t>(first));
    reception_->expectedBlock = block.block + 1;
    sendStatus(block.area, block.address, TransferStatus::Ack);
}

void SimulatedKeyboard::takeStatus(const Message& status) {
    if (fetch_) {
        if (status.status == TransferStatus::Ack) {
            sendNextBlock();
        } else {
            fetch_.reset();
            fetchPatience_.stop();
        }
        return;
    }
    if (status.status == TransferStatus::End) {
        commitReception(status);
    } else {
        reception_.reset();
    }
}

void SimulatedKeyboard::commitReception(const Message& end) {
    std::unique_ptr<Reception> reception = std::move(reception_);
    const auto slot = KeyboardMemory::slotAt(end.area, end.address);
    answersToLose_ = faults_.lose.afterChange;
    std::vector<std::uint16_t> words;
    if (reception && slot && reception->slot == *slot) {
        words = std::move(reception->words);
        if (faults_.keepWrong && !words.empty()) {
            words.back() ^= 1;
        }
    } else if (!slot || KeyboardMemory::fixedSize(slot->type) != 0) {
        return;  // an End with nothing before it changes nothing in a fixed slot
    }
    try {
        memory_.setData(*slot, std::move(words));
    } catch (const std::invalid_argument&) {
        return;  // an incomplete tone, DSP setting or registration is not kept
    }
    Q_EMIT memoryChanged();
}

void SimulatedKeyboard::sendParam(const Message& request, std::uint32_t value) {
    AreaAddress area{request.area, 0, request.address, nullptr};
    ParamAddress param{request.command, request.bits, request.count, request.parameters, 0};
    param.value = request.bits >= 32 ? value : value & ((1u << request.bits) - 1);
    EkSysExEncoder encoder;
    encoder.setModelCode(sysex::kModelCode);
    encoder.setDeviceNumber(sysex::kDeviceNumber);
    encoder.setAreaAddress(&area);
    encoder.setParamAddress(&param);
    encoder.setType(SysExType::ParamData);
    std::vector<std::uint8_t> message;
    encoder.encode(message);
    answer(std::move(message));
}

void SimulatedKeyboard::sendStatus(std::uint8_t area, int address, std::uint8_t status) {
    AreaAddress record{area, 0, address, nullptr};
    EkSysExEncoder encoder;
    encoder.setModelCode(sysex::kModelCode);
    encoder.setDeviceNumber(sysex::kDeviceNumber);
    encoder.setAreaAddress(&record);
    encoder.setType(SysExType::Status);
    encoder.setStatus(status);
    std::vector<std::uint8_t> message;
    encoder.encode(message);
    answer(std::move(message));
}

void SimulatedKeyboard::answer(std::vector<std::uint8_t> message) {
    ++answersSent_;
    if (answersSent_ == faults_.dropAnswer) {
        return;
    }
    if (answersSent_ == faults_.oversizedAnswer && !message.empty()) {
        message.insert(message.end() - 1, Faults::kOversizedPadding, 0x55);
    }
    if (faults_.noise) {
        send({0xFE});
        send({0xF8});
        send({0xF0, 0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7});
    }
    send(std::move(message));
}

void SimulatedKeyboard::send(std::vector<std::uint8_t> message) {
    Clock::time_point departure = std::max(Clock::now() + timing_.processingDelay, outboundFreeAt_);
    if (timing_.paced) {
        departure += wireTime(message.size());
    }
    outboundFreeAt_ = departure;
    schedule(departure, [this, message = std::move(message)] {
        Q_EMIT traffic(false, QByteArray(reinterpret_cast<const char*>(message.data()),
                                         qsizetype(message.size())));
        if (transmitter_) {
            transmitter_(message);
        }
    });
}

}  // namespace kbdsim
