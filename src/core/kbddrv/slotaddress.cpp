#include "slotaddress.h"

#include <QRegularExpression>

#include "data/datatypes.h"
#include "data/ekdatadrive.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/mls850layout.h"

namespace {

using Kind = mls850::ItemKind;

const Kind* kindNamed(const QString& name) {
    return mls850::itemKindWritten(name);
}

QString folderName(const Kind& kind, int bank) {
    if (kind.folder == nullptr) {
        return {};
    }
    return kind.banks > 1 ? QString("%1%2").arg(kind.folder).arg(bank) : QString(kind.folder);
}

}  // namespace

std::optional<SlotAddress> SlotAddress::atMemoryAddress(int area, int address) {
    const Kind* kind = mls850::itemKindOf(std::uint16_t(area));
    if (kind == nullptr) {
        return std::nullopt;
    }
    for (int bank = 0; bank < kind->banks; ++bank) {
        for (int number = 0; number < kind->slots; ++number) {
            if (mls850::memoryAddress(kind->type, bank, number) == address) {
                return SlotAddress{kind->slotWord, bank, number};
            }
        }
    }
    return std::nullopt;
}

std::uint16_t SlotAddress::type() const {
    const Kind* found = kindNamed(kind);
    return found != nullptr ? found->type : std::uint16_t(DataType::NoType);
}

bool SlotAddress::canBeEmptied() const {
    const Kind* found = kindNamed(kind);
    return found != nullptr && found->canBeEmptied;
}

std::optional<SlotAddress> SlotAddress::parse(const QString& text) {
    // Anchored on the whole text: "$" alone would also match before a final newline.
    static const QRegularExpression pattern(
        QRegularExpression::anchoredPattern(QStringLiteral("([a-z]+):(?:(\\d)\\.)?(\\d)")));
    const auto match = pattern.match(text);
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const Kind* kind = kindNamed(match.captured(1));
    if (kind == nullptr) {
        return std::nullopt;
    }
    const bool hasBank = match.hasCaptured(2) && !match.captured(2).isEmpty();
    if (hasBank != (kind->banks > 1)) {
        return std::nullopt;
    }
    SlotAddress wanted{match.captured(1), hasBank ? match.captured(2).toInt() : 0,
                       match.captured(3).toInt()};
    if (wanted.bank >= kind->banks || wanted.number >= kind->slots) {
        return std::nullopt;
    }
    return wanted;
}

QString SlotAddress::text() const {
    return kind == "reg" ? QString("reg:%1.%2").arg(bank).arg(number)
                         : QString("%1:%2").arg(kind).arg(number);
}

SlotAddress SlotAddress::of(const EkData& slot) {
    for (const Kind& kind : mls850::kItemKinds) {
        if (kind.type == slot.type()) {
            return {kind.slotWord, kind.banks > 1 ? int(slot.bank()) : 0, int(slot.number())};
        }
    }
    return {};
}

SlotInTree findSlot(EkKbdDrv& driver, const SlotAddress& wanted) {
    SlotInTree found;
    const Kind* kind = kindNamed(wanted.kind);
    EkDataDrive* area = kind != nullptr ? driver.findArea(kind->area) : nullptr;
    if (area == nullptr) {
        return found;
    }
    found.area = kind->area;
    found.folder = folderName(*kind, wanted.bank);
    EkDataDrive* parent = area;
    if (!found.folder.isEmpty()) {
        parent = nullptr;
        for (int i = 0; i < area->childCount(); ++i) {
            if (area->child(i)->isDirectory() &&
                area->child(i)->name() == found.folder.toStdString()) {
                parent = EkDataDrive::from(area->child(i));
            }
        }
    }
    if (parent == nullptr || wanted.number >= parent->childCount()) {
        return found;
    }
    found.slot = parent->child(wanted.number);
    found.directoryPath = found.folder.isEmpty()
                              ? std::string(kind->area) + "\\"
                              : std::string(kind->area) + "\\" + found.folder.toStdString();
    return found;
}

std::vector<std::pair<SlotAddress, SlotInTree>> allSlots(EkKbdDrv& driver) {
    std::vector<std::pair<SlotAddress, SlotInTree>> slots;
    for (const Kind& kind : mls850::kItemKinds) {
        for (int bank = 0; bank < kind.banks; ++bank) {
            for (int number = 0; number < kind.slots; ++number) {
                const SlotAddress wanted{kind.slotWord, bank, number};
                slots.emplace_back(wanted, findSlot(driver, wanted));
            }
        }
    }
    return slots;
}

QStringList slotTexts(const std::vector<SlotAddress>& slots) {
    QStringList texts;
    for (const SlotAddress& slot : slots) {
        texts << slot.text();
    }
    return texts;
}
