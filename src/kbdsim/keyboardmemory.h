#pragma once

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kbdsim {

// One slot of the keyboard's memory, as the keyboard numbers it.
struct SlotRef {
    std::uint16_t type = 0;  // a DataType code
    int bank = 0;            // registrations only
    int number = 0;

    bool operator==(const SlotRef&) const = default;
};

// The user memory of an MLS-850: 10 tones of 60 bytes, 10 DSP settings of 36 bytes, 4 banks of
// 4 registrations of 176 bytes, and 2 songs and 4 user rhythms of any size that share 21504
// bytes. Each slot holds the item's words in the order they travel; an empty song or rhythm slot
// holds none. Names lie inside the data, where the keyboard keeps them.
class KeyboardMemory {
public:
    static constexpr int kTones = 10;
    static constexpr int kDsps = 10;
    static constexpr int kBanks = 4;
    static constexpr int kRegistrationsPerBank = 4;
    static constexpr int kSongs = 2;
    static constexpr int kRhythms = 4;
    static constexpr int kToneBytes = 60;
    static constexpr int kDspBytes = 36;
    static constexpr int kRegistrationBytes = 176;
    static constexpr int kSongRhythmBytes = 21504;

    // Fixed slots filled with zero data and blank names; no songs, no rhythms; kind 0.
    KeyboardMemory();
    // Believable content with invented names: some songs and rhythms present, some empty.
    static KeyboardMemory demo();

    // The answer to the keyboard-kind query: 0 for an MLS-850.
    int kind = 0;

    // The slot a message's area and address name, if any.
    static std::optional<SlotRef> slotAt(std::uint8_t area, int address);
    // The area nibble and address of a slot on the wire.
    static int addressOf(const SlotRef& slot);
    // Bytes a slot of this type always holds; 0 for songs and rhythms.
    static int fixedSize(std::uint16_t type);

    const std::vector<std::uint16_t>& data(const SlotRef& slot) const;
    // Replaces a slot's data. Throws std::invalid_argument when a fixed slot would not get its
    // exact size or the song and rhythm memory would overflow.
    void setData(const SlotRef& slot, std::vector<std::uint16_t> words);
    // Size in bytes: 0 for an empty song or rhythm slot.
    int size(const SlotRef& slot) const { return static_cast<int>(data(slot).size() * 2); }
    // The 8-character name inside the data; empty when the slot holds no name.
    std::string name(const SlotRef& slot) const;
    void setName(const SlotRef& slot, const std::string& name);
    std::uint32_t freeMemory() const;

    // The state file: every slot's data as hex, in travel order, with names for the reader.
    QJsonObject toJson() const;
    // Throws platform::SystemError naming what is wrong in the document.
    static KeyboardMemory fromJson(const QJsonObject& json);
    void save(const QString& path) const;
    static KeyboardMemory load(const QString& path);

private:
    std::vector<std::uint16_t>& slotData(const SlotRef& slot);

    std::vector<std::vector<std::uint16_t>> tones_;
    std::vector<std::vector<std::uint16_t>> dsps_;
    std::vector<std::vector<std::uint16_t>> registrations_;  // bank * 4 + number
    std::vector<std::vector<std::uint16_t>> songs_;
    std::vector<std::vector<std::uint16_t>> rhythms_;
};

}  // namespace kbdsim
