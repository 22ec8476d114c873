#pragma once

#include <QDateTime>
#include <QHash>
#include <QMutex>
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

// A slot as a list shows it: what "On PC" is looked up from. The window's list takes it from
// the driver's tree when it is rebuilt (never while a command changes the tree), so that a
// later look-up (after a scan of the user's files, or a Check On PC) reads nothing of the tree
// the keyboard's thread writes.
struct SlotView {
    QString address;  // as SLOT is written
    std::uint16_t type = 0;
    std::uint32_t size = 0;
    std::string name;
    bool holdsItem = false;  // a slot that holds an item (not a folder, not empty)
};
SlotView viewOf(const EkData& slot);

// The hash of the item the program last moved from or into each slot, with the name and size
// the slot showed then. A later list that shows the slot with another name or size (or empty)
// makes it unknown again. An item changed on the keyboard's own panel keeps its name and size
// (a tone's size never changes), so each hash says when it was seen. The keyboard's thread
// tells it what a transfer moved while the window's thread asks: it takes a lock of its own.
class SeenItems {
public:
    struct Seen {
        QString sha256;
        QDateTime at;
    };

    void saw(const EkData& slot, const EkDataFile& item);
    // What the slot holds as last seen; none when the slot is empty, was never seen, or shows
    // another name or size than when it was.
    std::optional<Seen> of(const SlotView& slot) const;
    void clear();

private:
    mutable QMutex mutex_;
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

// Looks the slot up in the index (and what the program last saw in it).
SlotOnPc onPc(const Index& index, const SeenItems& seen, const SlotView& slot);
SlotOnPc onPc(const Index& index, const SeenItems& seen, const EkData& slot);

}  // namespace library
