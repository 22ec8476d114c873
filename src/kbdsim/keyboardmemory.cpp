#include "keyboardmemory.h"

#include <algorithm>
#include <cmath>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <numeric>
#include <stdexcept>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"

namespace kbdsim {
namespace {

std::vector<std::uint16_t> zeros(int bytes) {
    return std::vector<std::uint16_t>(static_cast<std::size_t>(bytes / 2), 0);
}

// Deterministic filler that looks like instrument data rather than a pattern.
std::vector<std::uint16_t> sampleData(int bytes, std::uint32_t seed) {
    std::vector<std::uint16_t> words(static_cast<std::size_t>(bytes / 2));
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& word : words) {
        state = state * 1103515245u + 12345u;
        word = static_cast<std::uint16_t>(state >> 11);
    }
    return words;
}

void placeName(std::vector<std::uint16_t>& words, std::uint16_t type, const std::string& name) {
    const int offset = EkDataFile::nameOffsetInData(type);
    if (offset < 0 || words.size() * 2 < static_cast<std::size_t>(offset) + 8) {
        return;
    }
    std::string padded = name.substr(0, 8);
    padded.resize(8, ' ');
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = static_cast<std::size_t>(offset) + i;
        std::uint16_t& word = words[at / 2];
        const auto c = static_cast<std::uint8_t>(padded[i]);
        word = at % 2 == 0 ? static_cast<std::uint16_t>((word & 0x00FF) | (c << 8))
                           : static_cast<std::uint16_t>((word & 0xFF00) | c);
    }
}

QString toHex(const std::vector<std::uint16_t>& words) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(words.size() * 2));
    for (std::uint16_t word : words) {
        bytes.append(static_cast<char>(word >> 8)).append(static_cast<char>(word & 0xFF));
    }
    return QString::fromLatin1(bytes.toHex());
}

[[noreturn]] void badState(const QString& what) {
    throw platform::SystemError("Keyboard state: " + what.toStdString());
}

std::vector<std::uint16_t> fromHex(const QJsonValue& value, const QString& where) {
    if (!value.isString()) {
        badState(where + " is not a hex string");
    }
    const QString text = value.toString();
    // QByteArray::fromHex skips what is not a digit, which would shift every digit after it.
    const bool allHex = std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.isDigit() || (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
    });
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    if (!allHex || text.size() % 4 != 0 || bytes.size() * 2 != text.size()) {
        badState(where + " is not a whole number of 16-bit words in hex");
    }
    std::vector<std::uint16_t> words(static_cast<std::size_t>(bytes.size() / 2));
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] =
            static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[qsizetype(2 * i)]) << 8) |
                                       static_cast<std::uint8_t>(bytes[qsizetype(2 * i + 1)]));
    }
    return words;
}

const char* arrayKey(std::uint16_t type) {
    switch (type) {
        case DataType::Tone:
            return "tones";
        case DataType::DSP:
            return "dsps";
        case DataType::Registration:
            return "registrations";
        case DataType::Song:
            return "songs";
        default:
            return "rhythms";
    }
}

std::vector<SlotRef> allSlots() {
    std::vector<SlotRef> entries;
    for (int n = 0; n < KeyboardMemory::kTones; ++n) {
        entries.push_back({DataType::Tone, 0, n});
    }
    for (int n = 0; n < KeyboardMemory::kDsps; ++n) {
        entries.push_back({DataType::DSP, 0, n});
    }
    for (int b = 0; b < KeyboardMemory::kBanks; ++b) {
        for (int n = 0; n < KeyboardMemory::kRegistrationsPerBank; ++n) {
            entries.push_back({DataType::Registration, b, n});
        }
    }
    for (int n = 0; n < KeyboardMemory::kSongs; ++n) {
        entries.push_back({DataType::Song, 0, n});
    }
    for (int n = 0; n < KeyboardMemory::kRhythms; ++n) {
        entries.push_back({DataType::Rhythm, 0, n});
    }
    return entries;
}

}  // namespace

KeyboardMemory::KeyboardMemory()
    : tones_(kTones, zeros(kToneBytes)),
      dsps_(kDsps, zeros(kDspBytes)),
      registrations_(kBanks * kRegistrationsPerBank, zeros(kRegistrationBytes)),
      songs_(kSongs),
      rhythms_(kRhythms) {
    for (int n = 0; n < kTones; ++n) {
        setName({DataType::Tone, 0, n}, "");
    }
    for (int n = 0; n < kDsps; ++n) {
        setName({DataType::DSP, 0, n}, "");
    }
}

KeyboardMemory KeyboardMemory::demo() {
    static const char* const toneNames[kTones] = {"Velvet",   "Glass EP", "Brass Up", "Warm Pad",
                                                  "Nylon Gt", "Choir Ah", "Sync Ld",  "Marimba",
                                                  "Cello Sx", "Bell Box"};
    static const char* const dspNames[kDsps] = {"Hall 1",  "Room Dry", "Plate 2", "Chorus",
                                                "Flanger", "Delay 3",  "Rotary",  "Echo Hi",
                                                "Stage",   "Church"};
    KeyboardMemory memory;
    std::uint32_t seed = 1;
    for (int n = 0; n < kTones; ++n) {
        memory.tones_[n] = sampleData(kToneBytes, seed++);
        memory.setName({DataType::Tone, 0, n}, toneNames[n]);
    }
    for (int n = 0; n < kDsps; ++n) {
        memory.dsps_[n] = sampleData(kDspBytes, seed++);
        memory.setName({DataType::DSP, 0, n}, dspNames[n]);
    }
    for (auto& registration : memory.registrations_) {
        registration = sampleData(kRegistrationBytes, seed++);
    }
    memory.songs_[0] = sampleData(1800, seed++);
    memory.setName({DataType::Song, 0, 0}, "Sunrise");
    memory.rhythms_[0] = sampleData(640, seed++);
    memory.setName({DataType::Rhythm, 0, 0}, "Bossa 2");
    memory.rhythms_[2] = sampleData(1024, seed++);
    memory.setName({DataType::Rhythm, 0, 2}, "Shuffle");
    return memory;
}

std::optional<SlotRef> KeyboardMemory::slotAt(std::uint8_t area, int address) {
    auto inRange = [](int n, int count) { return n >= 0 && n < count; };
    switch (area) {
        case DataType::Tone:
            if (inRange(address - 384, kTones)) {
                return SlotRef{DataType::Tone, 0, address - 384};
            }
            break;
        case DataType::DSP:
            if (inRange(address - 100, kDsps)) {
                return SlotRef{DataType::DSP, 0, address - 100};
            }
            break;
        case DataType::Song:
            if (inRange(address, kSongs)) {
                return SlotRef{DataType::Song, 0, address};
            }
            break;
        case DataType::Rhythm:
            if (inRange(address - 100, kRhythms)) {
                return SlotRef{DataType::Rhythm, 0, address - 100};
            }
            break;
        case DataType::Registration:
            // 4 * number + bank + 16
            if (inRange(address - 16, kBanks * kRegistrationsPerBank)) {
                return SlotRef{DataType::Registration, (address - 16) % 4, (address - 16) / 4};
            }
            break;
        default:
            break;
    }
    return std::nullopt;
}

int KeyboardMemory::addressOf(const SlotRef& slot) {
    switch (slot.type) {
        case DataType::Tone:
            return slot.number + 384;
        case DataType::DSP:
        case DataType::Rhythm:
            return slot.number + 100;
        case DataType::Registration:
            return 4 * slot.number + slot.bank + 16;
        default:
            return slot.number;
    }
}

int KeyboardMemory::fixedSize(std::uint16_t type) {
    switch (type) {
        case DataType::Tone:
            return kToneBytes;
        case DataType::DSP:
            return kDspBytes;
        case DataType::Registration:
            return kRegistrationBytes;
        default:
            return 0;
    }
}

const std::vector<std::uint16_t>& KeyboardMemory::data(const SlotRef& slot) const {
    return const_cast<KeyboardMemory*>(this)->slotData(slot);
}

std::vector<std::uint16_t>& KeyboardMemory::slotData(const SlotRef& slot) {
    switch (slot.type) {
        case DataType::Tone:
            return tones_.at(static_cast<std::size_t>(slot.number));
        case DataType::DSP:
            return dsps_.at(static_cast<std::size_t>(slot.number));
        case DataType::Registration:
            if (slot.bank < 0 || slot.bank >= kBanks || slot.number < 0 ||
                slot.number >= kRegistrationsPerBank) {
                throw std::out_of_range("no such registration slot");
            }
            return registrations_[static_cast<std::size_t>(slot.bank * 4 + slot.number)];
        case DataType::Song:
            return songs_.at(static_cast<std::size_t>(slot.number));
        case DataType::Rhythm:
            return rhythms_.at(static_cast<std::size_t>(slot.number));
        default:
            throw std::out_of_range("no slot of type " + std::to_string(slot.type));
    }
}

void KeyboardMemory::setData(const SlotRef& slot, std::vector<std::uint16_t> words) {
    const int bytes = static_cast<int>(words.size() * 2);
    const int fixed = fixedSize(slot.type);
    if (fixed != 0 && bytes != fixed) {
        throw std::invalid_argument("a slot of this type holds exactly " + std::to_string(fixed) +
                                    " bytes");
    }
    if (fixed == 0 && bytes > static_cast<int>(freeMemory()) + size(slot)) {
        throw std::invalid_argument("not enough song and rhythm memory");
    }
    slotData(slot) = std::move(words);
}

std::string KeyboardMemory::name(const SlotRef& slot) const {
    const auto& words = data(slot);
    const int offset = EkDataFile::nameOffsetInData(slot.type);
    if (offset < 0 || words.size() * 2 < static_cast<std::size_t>(offset) + 8) {
        return {};
    }
    std::string name(8, ' ');
    for (std::size_t i = 0; i < 8; ++i) {
        const std::size_t at = static_cast<std::size_t>(offset) + i;
        const std::uint16_t word = words[at / 2];
        name[i] = static_cast<char>(at % 2 == 0 ? word >> 8 : word & 0xFF);
    }
    return name;
}

void KeyboardMemory::setName(const SlotRef& slot, const std::string& name) {
    placeName(slotData(slot), slot.type, name);
}

std::uint32_t KeyboardMemory::freeMemory() const {
    int used = 0;
    for (const auto& song : songs_) {
        used += static_cast<int>(song.size() * 2);
    }
    for (const auto& rhythm : rhythms_) {
        used += static_cast<int>(rhythm.size() * 2);
    }
    return static_cast<std::uint32_t>(std::max(0, kSongRhythmBytes - used));
}

QJsonObject KeyboardMemory::toJson() const {
    QJsonObject json;
    json["model"] = "MLS-850";
    json["kind"] = kind;
    for (std::uint16_t type : {DataType::Tone, DataType::DSP, DataType::Registration,
                               DataType::Song, DataType::Rhythm}) {
        QJsonArray entries;
        for (const SlotRef& slot : allSlots()) {
            if (slot.type != type) {
                continue;
            }
            QJsonObject entry;
            const std::string itemName = name(slot);
            if (!itemName.empty()) {
                entry["name"] = QString::fromLatin1(itemName.c_str());
            }
            if (type == DataType::Registration) {
                entry["bank"] = slot.bank;
            }
            entry["number"] = slot.number;
            entry["data"] = toHex(data(slot));
            entries.append(entry);
        }
        json[arrayKey(type)] = entries;
    }
    return json;
}

KeyboardMemory KeyboardMemory::fromJson(const QJsonObject& json) {
    KeyboardMemory memory;
    // The kind travels in 14 bits: anything else would reach the program as another number.
    const QJsonValue kind = json.value("kind");
    if (!kind.isUndefined()) {
        const double number = kind.toDouble(-1);
        if (!kind.isDouble() || number != std::floor(number) || number < 0 || number > 16383) {
            badState("kind is not a whole number from 0 to 16383");
        }
        memory.kind = static_cast<int>(number);
    }
    for (const SlotRef& slot : allSlots()) {
        const QJsonArray entries = json.value(arrayKey(slot.type)).toArray();
        const int index =
            slot.type == DataType::Registration ? slot.bank * 4 + slot.number : slot.number;
        const QString where = QStringLiteral("%1[%2]").arg(arrayKey(slot.type)).arg(index);
        if (index >= entries.size()) {
            badState(where + " is missing");
        }
        try {
            memory.setData(slot, fromHex(entries[index].toObject().value("data"), where + ".data"));
        } catch (const std::invalid_argument& e) {
            badState(where + ": " + e.what());
        }
    }
    return memory;
}

void KeyboardMemory::save(const QString& path) const {
    platform::saveFile(path, QJsonDocument(toJson()).toJson());
}

KeyboardMemory KeyboardMemory::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::FileError(platform::ErrorCode::CannotOpen, path, file.errorString());
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (!document.isObject()) {
        badState(path + ": " +
                 (error.error != QJsonParseError::NoError ? error.errorString()
                                                          : QStringLiteral("not a JSON object")));
    }
    return fromJson(document.object());
}

}  // namespace kbdsim
