#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "libraryindex.h"

class EkData;
class EkDataFile;

// Which of the keyboard's items are on the PC. The keyboard's list gives each slot's name and
// size only, never its data, so whether a file holds that very item is known only for an item
// the program has fetched from its slot or sent into it: SeenItems remembers those.
namespace library {

// The hash of the item the program last moved from or into each slot, with the name and size
// the slot showed then. A later list that shows the slot with another name or size (or empty)
// makes it unknown again. An item changed on the keyboard's own panel keeps its name and size
// (a tone's size never changes), so each hash says when it was seen.
class SeenItems {
public:
    struct Seen {
        QString sha256;
        QDateTime at;
    };

    void saw(const EkData& slot, const EkDataFile& item);
    // What the slot holds as last seen; none when the slot is empty, was never seen, or shows
    // another name or size than when it was.
    std::optional<Seen> of(const EkData& slot) const;
    void clear() { bySlot_.clear(); }

private:
    struct Record {
        std::string name;
        std::uint32_t size = 0;
        Seen seen;
    };
    QHash<QString, Record> bySlot_;  // by the slot's address as SLOT is written
};

// Whether an identical item is on the PC.
enum class OnPc {
    Empty,       // the slot holds nothing (or is a folder)
    Yes,         // files hold that very item
    No,          // no file does
    NotChecked,  // files hold items of the slot's type and size, but its data is not known
};

struct SlotOnPc {
    OnPc state = OnPc::Empty;
    // Yes: the files holding the item; NotChecked: those holding an item of the same name,
    // type and size (likely the same, not known to be).
    std::vector<Entry> files;
    QDateTime seenAt;  // Yes and No from a seen item: when it was seen
};

// Looks the slot of the driver's tree up in the index.
SlotOnPc onPc(const Index& index, const SeenItems& seen, const EkData& slot);

}  // namespace library
