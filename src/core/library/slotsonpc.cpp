#include "slotsonpc.h"

#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "stream/nvbtransfer.h"

namespace library {

void SeenItems::saw(const EkData& slot, const EkDataFile& item) {
    bySlot_.insert(
        SlotAddress::of(slot).text(),
        {slot.name(), slot.size(), {Index::itemHash(item), QDateTime::currentDateTime()}});
}

std::optional<SeenItems::Seen> SeenItems::of(const EkData& slot) const {
    if (!slot.isPresent()) {
        return std::nullopt;
    }
    const auto found = bySlot_.constFind(SlotAddress::of(slot).text());
    if (found == bySlot_.constEnd() || found->name != slot.name() || found->size != slot.size()) {
        return std::nullopt;
    }
    return found->seen;
}

SlotOnPc onPc(const Index& index, const SeenItems& seen, const EkData& slot) {
    SlotOnPc result;
    if (slot.isDirectory() || !slot.isPresent()) {
        return result;
    }
    if (const std::optional<SeenItems::Seen> item = seen.of(slot)) {
        result.files = index.holding(item->sha256);
        result.state = result.files.empty() ? OnPc::No : OnPc::Yes;
        result.seenAt = item->at;
        return result;
    }
    // Items of another type or size cannot be the same: with none of this shape the answer is
    // known without the data.
    if (!index.holdsShape(slot.type(), slot.size())) {
        result.state = OnPc::No;
        return result;
    }
    result.state = OnPc::NotChecked;
    result.files = index.named(slot.type(), slot.size(), transfer::keyboardText(slot.name()));
    return result;
}

}  // namespace library
