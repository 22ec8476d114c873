#include "undo.h"

#include <QDir>
#include <memory>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "ops/slotchange.h"
#include "stepprogress.h"
#include "stream/nvbtransfer.h"

namespace organise {
namespace {

[[noreturn]] void refuse(platform::ErrorCode code, const QStringList& args) {
    throw platform::SystemError(code, args);
}

// One slot of the change being taken back: what it holds now and what it gets back.
struct Reversal {
    SlotAddress slot;
    SlotInTree where;
    std::optional<QString> expected;      // what the change left there, when known
    std::unique_ptr<EkDataFile> present;  // null: empty now
    std::unique_ptr<EkDataFile> wanted;   // null: to be emptied
};

}  // namespace

ChangedSince::ChangedSince(const QString& title, const QStringList& changedSlots)
    : platform::SystemError(platform::ErrorCode::ChangedSinceChange,
                            {changedSlots.join(", "), title}),
      slots(changedSlots) {}

std::vector<SlotAddress> slotsOf(const safety::Change& change) {
    std::vector<SlotAddress> slots;
    for (const safety::Step& step : change.steps) {
        slots.push_back(step.slot);
    }
    return slots;
}

void reverseChange(const KeyboardLink& link, safety::Store& store, const safety::Change& change,
                   bool undoing, bool force, backup::JobProgress* progress) {
    std::vector<Reversal> reversals;
    std::int64_t total = 0;
    // Every kept copy first, from its own file with its hash checked: no traffic yet.
    for (const safety::Step& step : change.steps) {
        Reversal reversal{step.slot, findSlot(link.driver, step.slot), step.after, {}, {}};
        if (reversal.where.slot == nullptr) {
            refuse(platform::ErrorCode::NoSuchSlot, {step.slot.text()});
        }
        if (step.before != 0) {
            const auto copy = store.find(step.before);
            if (!copy) {
                refuse(platform::ErrorCode::KeptCopyGone,
                       {QString::number(step.before), step.slot.text()});
            }
            reversal.wanted = std::make_unique<EkDataFile>(DataType::NoType);
            store.loadChecked(*copy, *reversal.wanted);
            total += reversal.wanted->size();
        } else if (!step.slot.canBeEmptied()) {
            // A tone, DSP or registration slot is never empty, so a step of one without a kept
            // copy has nothing to give back: saying "undone" would be false.
            refuse(platform::ErrorCode::NothingKeptOfStep,
                   {safety::titleOf(change), step.slot.text()});
        }
        total += reversal.where.slot->isPresent() ? reversal.where.slot->size() : 0;
        reversals.push_back(std::move(reversal));
    }
    StepProgress steps(progress, total);
    // What each slot holds now, compared with what the change left there.
    QStringList changed;
    for (Reversal& reversal : reversals) {
        SlotInTree& where = reversal.where;
        link.driver.refreshSlot(*where.slot);
        if (where.slot->isPresent() && where.slot->size() > 0) {
            reversal.present = std::make_unique<EkDataFile>(DataType::NoType);
            steps.transfer(reversal.slot, where.slot->size(), [&](NvbStreamObserver* observer) {
                transfer::fetchItem(where, link, observer, *reversal.present);
            });
        }
        const QString now =
            reversal.present ? safety::itemFingerprint(*reversal.present) : QString();
        if (reversal.expected && *reversal.expected != now) {
            changed << reversal.slot.text();
        }
    }
    if (!changed.isEmpty() && !force) {
        throw ChangedSince(safety::titleOf(change), changed);
    }
    safety::ChangeRecord record(store, keyboardIdentity(link), change.action, change.subjects);
    steps.write(record, [&] {
        // Last slot first: a swap's or a move's second write is taken back before its first.
        for (auto it = reversals.rbegin(); it != reversals.rend(); ++it) {
            Reversal& reversal = *it;
            // A slot that holds what it gets back already is left as it is.
            ops::SlotChange back;
            back.wanted = reversal.wanted.get();
            back.why = safety::Why::Undo;
            back.unlessSame = true;
            const ops::Held held{reversal.present.get()};
            const std::uint32_t bytes = back.wanted != nullptr ? back.wanted->size() : 0;
            steps.transfer(reversal.slot, bytes, [&](NvbStreamObserver* observer) {
                ops::changeSlot(link, &record, reversal.where, back, observer, held);
            });
        }
    });
    safety::History(store.folder()).reversed(change.id, record.take(), undoing);
}

}  // namespace organise
