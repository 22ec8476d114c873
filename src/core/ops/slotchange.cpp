#include "slotchange.h"

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "stream/nvbtransfer.h"

namespace ops {
namespace {

bool sameHeld(const EkDataFile* held, const EkDataFile* wanted) {
    if (held == nullptr || wanted == nullptr) {
        return held == wanted;
    }
    return transfer::sameItem(*held, *wanted);
}

bool holdsItem(const EkData& slot) {
    return slot.isPresent() && slot.size() > 0;
}

}  // namespace

safety::CopyId keptCopyOf(const safety::ChangeRecord* record, const SlotAddress& slot) {
    if (record == nullptr) {
        return 0;
    }
    const auto kept = record->keptOf(slot);
    return kept ? kept->id : 0;
}

void keepBefore(safety::ChangeRecord& record, const SlotAddress& slot, Held held, safety::Why why,
                const QString& replacedBy) {
    if (held.item != nullptr) {
        record.keep(*held.item, slot, why, replacedBy);
    }
}

SlotChanged changeSlot(const KeyboardLink& link, safety::ChangeRecord* record,
                       const SlotInTree& where, const SlotChange& change,
                       NvbStreamObserver* progress, std::optional<Held> held) {
    const SlotAddress slot = SlotAddress::of(*where.slot);
    SlotChanged result;
    // What the slot holds is read from the keyboard, not from the last listing: the panel (or
    // another program) may have changed it since.
    EkDataFile fetched(DataType::NoType);
    if (!held) {
        link.driver.refreshSlot(*where.slot);
        held = Held{};
        if (holdsItem(*where.slot) &&
            (change.unlessSame || (record != nullptr && !record->keptOf(slot)))) {
            transfer::fetchItem(where, link, change.quietFetch ? nullptr : progress, fetched);
            held->item = &fetched;
        }
    }
    if (change.unlessSame && sameHeld(held->item, change.wanted)) {
        result.unchanged = true;
        return result;
    }
    if (record != nullptr && !record->keptOf(slot)) {
        keepBefore(*record, slot, *held, change.why, change.replacedBy);
    }
    const auto intent = [record, slot] {
        if (record != nullptr) {
            record->intend(slot);
        }
    };
    if (change.wanted != nullptr) {
        transfer::sendItem(*change.wanted, where, link, progress, intent);
    } else {
        intent();
        link.driver.deleteData(*where.slot);
        if (link.slotEmptied) {
            link.slotEmptied(*where.slot);
        }
    }
    if (record != nullptr) {
        record->left(slot, change.wanted);
    }
    if (change.verify && change.wanted != nullptr) {
        transfer::checkSent(*change.wanted, where, link, nullptr);
    }
    return result;
}

}  // namespace ops
