#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class EkData;
class EkKbdDrv;

// A keyboard slot by its short name, as the command line and a backup manifest write it:
// tone:N (0-9), dsp:N (0-9), reg:B.N (bank 0-3, number 0-3), song:N (0-1), rhythm:N (0-3).
struct SlotAddress {
    QString kind;  // tone, dsp, reg, song, rhythm
    int bank = 0;
    int number = 0;

    // Null when the text is not a slot of the MLS-850.
    static std::optional<SlotAddress> parse(const QString& text);
    QString text() const;
    // The address of a slot of the driver's tree.
    static SlotAddress of(const EkData& slot);
    // Whether the keyboard can delete the item of such a slot (songs and user rhythms).
    bool canBeEmptied() const;
    // The slot that a System Exclusive message's area (the item's type) and address name;
    // null when they name none of the MLS-850's.
    static std::optional<SlotAddress> atMemoryAddress(int area, int address);
    // The type of the items this slot holds.
    std::uint16_t type() const;

    bool operator==(const SlotAddress&) const = default;
};

// The slots as SLOT is written, in order: "tone:3", "song:0".
QStringList slotTexts(const std::vector<SlotAddress>& slots);

// A slot of the driver's tree with the path of its folder.
struct SlotInTree {
    EkData* slot = nullptr;
    std::string directoryPath;  // e.g. "Tone:\" or "Song Rhythm:\Song"
    QString area;               // "Tone:"
    QString folder;             // "Bank0", "Song", "Rhythm" or empty
};

// The slot of the tree the wanted names; its `slot` is null if the tree has no such slot.
SlotInTree findSlot(EkKbdDrv& driver, const SlotAddress& wanted);
// Every slot of the tree, in layout order, with its wanted.
std::vector<std::pair<SlotAddress, SlotInTree>> allSlots(EkKbdDrv& driver);
