#include "slotedits.h"

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "ops/slotchange.h"
#include "platform/systemerror.h"
#include "stepprogress.h"
#include "stream/nvbtransfer.h"

namespace organise {
namespace {

// The first and the last character the keyboard keeps in a name.
constexpr char16_t kFirstNameCharacter = u' ';
constexpr char16_t kLastNameCharacter = u'}';

[[noreturn]] void refuse(platform::ErrorCode code, const QStringList& args) {
    throw platform::SystemError(code, args);
}

bool holdsItem(const SlotInTree& where) {
    return where.slot->isPresent() && where.slot->size() > 0;
}

SlotInTree slotOrRefuse(EkKbdDrv& driver, const SlotAddress& slot) {
    const SlotInTree where = findSlot(driver, slot);
    if (where.slot == nullptr) {
        refuse(platform::ErrorCode::NoSuchSlot, {slot.text()});
    }
    return where;
}

}  // namespace

QString actionOf(Edit edit) {
    switch (edit) {
        case Edit::Move:
            return QStringLiteral("move");
        case Edit::Swap:
            return QStringLiteral("swap");
        case Edit::Copy:
            break;
    }
    return QStringLiteral("copy");
}

void checkEdit(EkKbdDrv& driver, Edit edit, const SlotAddress& from, const SlotAddress& to) {
    const SlotInTree source = slotOrRefuse(driver, from);
    const SlotInTree target = slotOrRefuse(driver, to);
    if (from == to) {
        refuse(platform::ErrorCode::SameSlot, {from.text(), to.text()});
    }
    if (from.kind != to.kind) {
        refuse(platform::ErrorCode::DifferentKinds, {from.text(), to.text()});
    }
    if (edit == Edit::Move && !from.canBeEmptied()) {
        refuse(platform::ErrorCode::CannotBeEmptied, {from.kind, from.text()});
    }
    const bool eitherHolds = holdsItem(source) || holdsItem(target);
    if (edit == Edit::Swap ? !eitherHolds : !holdsItem(source)) {
        refuse(platform::ErrorCode::SlotEmpty,
               {edit == Edit::Swap ? to.text() : from.text(), actionOf(edit)});
    }
}

void editSlots(const KeyboardLink& link, Edit edit, const SlotAddress& from, const SlotAddress& to,
               safety::ChangeRecord& record, backup::JobProgress* progress) {
    checkEdit(link.driver, edit, from, to);
    // Checked again on what the two slots hold now: the listing may be older than the slots.
    link.driver.refreshSlot(*findSlot(link.driver, from).slot);
    link.driver.refreshSlot(*findSlot(link.driver, to).slot);
    checkEdit(link.driver, edit, from, to);
    SlotInTree source = findSlot(link.driver, from);
    SlotInTree target = findSlot(link.driver, to);
    // A swap with an empty song or rhythm slot is a move into it.
    if (edit == Edit::Swap && !holdsItem(source)) {
        std::swap(source, target);
    }
    if (edit == Edit::Swap && !holdsItem(target)) {
        edit = Edit::Move;
    }
    const std::uint32_t sourceBytes = source.slot->size();
    const std::uint32_t targetBytes = holdsItem(target) ? target.slot->size() : 0;
    // Fetched, then written: each item once each way (a copy does not bring back its source).
    StepProgress steps(progress, 2 * (std::int64_t(sourceBytes) + targetBytes));
    const SlotAddress sourceAddress = SlotAddress::of(*source.slot);
    const SlotAddress targetAddress = SlotAddress::of(*target.slot);

    EkDataFile moving(DataType::NoType);
    steps.transfer(sourceAddress, sourceBytes, [&](NvbStreamObserver* observer) {
        transfer::fetchItem(source, link, observer, moving);
    });
    EkDataFile replaced(DataType::NoType);
    if (targetBytes > 0) {
        steps.transfer(targetAddress, targetBytes, [&](NvbStreamObserver* observer) {
            transfer::fetchItem(target, link, observer, replaced);
        });
    }
    // Every item that leaves its slot is kept before the first write.
    if (edit != Edit::Copy) {
        ops::keepBefore(record, sourceAddress, {&moving}, safety::Why::Edit);
    }
    const ops::Held targetHeld{targetBytes > 0 ? &replaced : nullptr};
    ops::keepBefore(record, targetAddress, targetHeld, safety::Why::Edit);
    const auto changeTo = [&](const SlotInTree& where, EkDataFile* wanted, ops::Held held,
                              NvbStreamObserver* observer) {
        ops::SlotChange change;
        change.wanted = wanted;
        change.why = safety::Why::Edit;
        ops::changeSlot(link, &record, where, change, observer, held);
    };
    steps.write(record, [&] {
        steps.transfer(targetAddress, sourceBytes, [&](NvbStreamObserver* observer) {
            changeTo(target, &moving, targetHeld, observer);
        });
        if (edit == Edit::Swap) {
            steps.transfer(sourceAddress, targetBytes, [&](NvbStreamObserver* observer) {
                changeTo(source, &replaced, {&moving}, observer);
            });
        } else if (edit == Edit::Move) {
            changeTo(source, nullptr, {&moving}, nullptr);
        }
    });
}

void checkName(const QString& name) {
    const bool usable = std::all_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() >= kFirstNameCharacter && c.unicode() <= kLastNameCharacter;
    });
    if (name.trimmed().isEmpty() || name.size() > qsizetype(EkDataFile::kNameLength) || !usable) {
        refuse(platform::ErrorCode::NameUnusable, {name, QString::number(EkDataFile::kNameLength)});
    }
}

void checkRename(EkKbdDrv& driver, const SlotAddress& slot, const QString& name) {
    const SlotInTree where = slotOrRefuse(driver, slot);
    if (EkDataFile::nameOffsetInData(where.slot->type()) < 0) {
        refuse(platform::ErrorCode::NameNotInData, {slot.text()});
    }
    if (!holdsItem(where)) {
        refuse(platform::ErrorCode::SlotEmpty, {slot.text(), QStringLiteral("rename")});
    }
    checkName(name);
}

void renameSlot(const KeyboardLink& link, const SlotAddress& slot, const QString& name,
                safety::ChangeRecord& record, backup::JobProgress* progress) {
    checkRename(link.driver, slot, name);
    link.driver.refreshSlot(*findSlot(link.driver, slot).slot);
    checkRename(link.driver, slot, name);
    const SlotInTree where = findSlot(link.driver, slot);
    const std::uint32_t bytes = where.slot->size();
    StepProgress steps(progress, 2 * std::int64_t(bytes));
    EkDataFile item(DataType::NoType);
    steps.transfer(slot, bytes, [&](NvbStreamObserver* observer) {
        transfer::fetchItem(where, link, observer, item);
    });
    // Kept as it was before its name changes in memory.
    ops::keepBefore(record, slot, {&item}, safety::Why::Edit);
    item.storeName(name.leftJustified(EkDataFile::kNameLength).toLatin1().toStdString());
    steps.write(record, [&] {
        steps.transfer(slot, bytes, [&](NvbStreamObserver* observer) {
            ops::SlotChange change;
            change.wanted = &item;
            change.why = safety::Why::Edit;
            ops::changeSlot(link, &record, where, change, observer, ops::Held{&item});
        });
    });
}

}  // namespace organise
