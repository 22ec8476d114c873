#include "slotsonpc.h"

#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "stream/nvbtransfer.h"

namespace library {

void SeenItems::saw(const EkData& slot, const EkDataFile& item) {
    Record record{slot.name(), slot.size(), {Index::itemHash(item), QDateTime::currentDateTime()}};
    const QMutexLocker lock(&mutex_);
    bySlot_.insert(SlotAddress::of(slot).text(), std::move(record));
}

std::optional<SeenItems::Seen> SeenItems::of(const SlotView& slot) const {
    if (!slot.holdsItem) {
        return std::nullopt;
    }
    const QMutexLocker lock(&mutex_);
    const auto found = bySlot_.constFind(slot.address);
    if (found == bySlot_.constEnd() || found->name != slot.name || found->size != slot.size) {
        return std::nullopt;
    }
    return found->seen;
}

void SeenItems::clear() {
    const QMutexLocker lock(&mutex_);
    bySlot_.clear();
}

SlotView viewOf(const EkData& slot) {
    return {slot.isDirectory() ? QString() : SlotAddress::of(slot).text(), slot.type(),
            slot.size(), slot.name(), !slot.isDirectory() && slot.isPresent()};
}

SlotOnPc onPc(const Index& index, const SeenItems& seen, const SlotView& slot) {
    SlotOnPc result;
    if (!slot.holdsItem) {
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
    if (!index.holdsShape(slot.type, slot.size)) {
        result.state = OnPc::No;
        return result;
    }
    result.state = OnPc::NotChecked;
    result.files = index.named(slot.type, slot.size, transfer::keyboardText(slot.name));
    return result;
}

SlotOnPc onPc(const Index& index, const SeenItems& seen, const EkData& slot) {
    return onPc(index, seen, viewOf(slot));
}

}  // namespace library
