#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ekdata.h"

// A data item with its data: the words the keyboard keeps, in the order they travel. Only the
// header's size says how many bytes count; the word buffer may hold more.
//
// The 8-character name lives inside the item, at a place fixed by its type: in the data for a
// tone (bytes 36-43), a DSP setting (0-7), a song (4-11) and a rhythm (2-9), counting data bytes
// high byte of each word first; in header bytes 24-31 for a registration, each pair of bytes
// exchanged. It is always 8 bytes, padded with spaces, with no terminating zero.
class EkDataFile : public EkData {
public:
    static constexpr std::size_t kNameLength = 8;

    explicit EkDataFile(std::uint16_t type) : EkData(type, KindFlags::File | KindFlags::Item) {}

    std::vector<std::uint16_t>& words() { return words_; }
    const std::vector<std::uint16_t>& words() const { return words_; }

    // Sets the name (its first 8 characters) and writes it to the name's place. When the data
    // is too short to hold the place (an item not read yet), only the name changes.
    void storeName(const std::string& name);
    // Takes the name from its place. Leaves it unchanged when the data is too short to hold it,
    // and for types that have no place.
    void loadName();
    // Takes type, size and name from `other`: the slot an item has just been fetched from.
    void adopt(const EkData& other);

    // The object as a file item, or null when its kind says it is none.
    static EkDataFile* from(EkData* item) {
        return item != nullptr && item->isFile() ? static_cast<EkDataFile*>(item) : nullptr;
    }

    // Data byte `index`, counted in travel order (high byte of each word first).
    std::uint8_t dataByte(std::size_t index) const;
    void setDataByte(std::size_t index, std::uint8_t value);

    // Offset of the name in the data for this type, or -1 when it is not in the data.
    static int nameOffsetInData(std::uint16_t type);

private:
    bool dataHolds(std::size_t bytes) const { return words_.size() * 2 >= bytes; }

    std::vector<std::uint16_t> words_;
};
