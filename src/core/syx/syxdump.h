#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kbddrv/slotaddress.h"
#include "platform/errorcatalog.h"

class EkDataFile;

// Raw System Exclusive files (".syx"): what every generic SysEx recorder and librarian reads
// and writes. A dump of an item is exactly what the keyboard sends when the item is fetched:
// its data blocks (64 words each, the last one shorter), each with its checksum, then the End
// status. The item's type travels as the messages' area and its slot as their address; its
// name is in its data (a registration's is the one the keyboard's list gives its slot).
namespace syx {

inline constexpr const char* kSuffix = ".syx";
// Far more than the whole keyboard's dump (about 40 kB); a larger file is no dump of it.
inline constexpr qint64 kMaxDumpFile = qint64{10} * 1024 * 1024;

// One whole item found in a dump: the slot it was dumped from and its data.
struct DumpedItem {
    SlotAddress slot;
    std::vector<std::uint16_t> words;

    std::uint16_t type() const { return slot.type(); }
    std::uint32_t size() const { return std::uint32_t(2 * words.size()); }
    // The item as an import of its slot gives it: type, size, data and name.
    void fill(EkDataFile& item) const;
    // Its name as the keyboard keeps it (8 characters).
    std::string name() const;
};

// What a dump holds: its whole items in order, and for every other item it began, why it
// cannot be used (DumpItemUnusable with the slot, and the reason).
struct DumpContents {
    std::vector<DumpedItem> items;
    std::vector<platform::CodedText> unusable;
};

// The messages the keyboard sends when it dumps `item` out of `slot`.
std::vector<std::uint8_t> dumpOf(const EkDataFile& item, const SlotAddress& slot);

// Every item in a recording of MIDI bytes. Passed over without a word: real-time bytes, channel
// messages, other makers' System Exclusive, the program's requests and Acks, parameter
// messages, a block sent again after a resend. An item whose blocks do not come whole and in
// order (a wrong checksum, a block missing or cut short, blocks of another item in between, a
// stop, the end of the recording) is reported, as is one whose address is no slot or whose
// size is not its kind's.
DumpContents readDump(std::span<const std::uint8_t> bytes);

// The same from a file: a regular file of at most kMaxDumpFile bytes. Throws FileError when it
// cannot be read or is larger.
DumpContents readDumpFile(const QString& path);

// Whether `path` names a ".syx" file (by its suffix, in any case).
bool isDumpFile(const QString& path);

}  // namespace syx
