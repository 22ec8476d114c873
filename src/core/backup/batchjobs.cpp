#include "batchjobs.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <optional>

#include "data/ekdatafile.h"
#include "jobitem.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/errortext.h"
#include "msg/msgstr.h"
#include "msg/operateexception.h"
#include "ops/slotchange.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbstreamexception.h"
#include "stream/nvbtransfer.h"

namespace batch {
namespace {

using backup::Outcome;

// Why there is nothing to take from the slot of the driver's tree: there is none, or it is
// empty; nothing when it holds data.
std::optional<platform::CodedText> problemOf(const SlotInTree& where, const SlotAddress& address,
                                             const char* nothingTo) {
    if (where.slot == nullptr) {
        return platform::CodedText{platform::ErrorCode::NoSuchSlot, {address.text()}};
    }
    if (!where.slot->isPresent()) {
        return platform::CodedText{platform::ErrorCode::SlotEmpty,
                                   {address.text(), QString::fromLatin1(nothingTo)}};
    }
    return std::nullopt;
}

// Each of `slots` that holds data, through `take`; the others get an outcome that says why
// there was nothing to `action`.
template <typename Take>
std::vector<Outcome> overPresentSlots(const KeyboardLink& link,
                                      const std::vector<SlotAddress>& slots, const char* action,
                                      Take take) {
    std::vector<Outcome> outcomes;
    for (const SlotAddress& address : slots) {
        const SlotInTree where = findSlot(link.driver, address);
        if (auto problem = problemOf(where, address, action)) {
            outcomes.push_back({address, {}, std::move(problem)});
            continue;
        }
        outcomes.push_back(take(address, where));
    }
    return outcomes;
}

std::int64_t presentBytes(EkKbdDrv& driver, const std::vector<SlotAddress>& slots) {
    std::int64_t total = 0;
    for (const SlotAddress& address : slots) {
        const SlotInTree where = findSlot(driver, address);
        if (where.slot != nullptr && where.slot->isPresent()) {
            total += where.slot->size();
        }
    }
    return total;
}

}  // namespace

std::vector<Outcome> importSlots(const KeyboardLink& link, const std::vector<SlotAddress>& slots,
                                 const QString& folder, backup::JobProgress* progress,
                                 transfer::FileFormat format, FileInTheWay inTheWay) {
    transfer::requireFolder(folder);
    backup::JobRun run(progress, presentBytes(link.driver, slots));
    backup::FreshFileNames names(inTheWay == FileInTheWay::Kept ? folder : QString());
    return overPresentSlots(
        link, slots, "import", [&](const SlotAddress& address, const SlotInTree& where) {
            const EkData& slot = *where.slot;
            const QString file =
                names.take(transfer::importFileName(slot.type(), slot.name(), format));
            return run.item(address, file, slot.size(), [&](NvbStreamObserver* itemProgress) {
                transfer::importSlot(where, folder, link, itemProgress, file, format);
            });
        });
}

std::vector<Outcome> fetchSlots(const KeyboardLink& link, const std::vector<SlotAddress>& slots,
                                backup::JobProgress* progress) {
    backup::JobRun run(progress, presentBytes(link.driver, slots));
    std::vector<Outcome> outcomes;
    for (const SlotAddress& address : slots) {
        const SlotInTree where = findSlot(link.driver, address);
        if (where.slot == nullptr || !where.slot->isPresent()) {
            continue;
        }
        outcomes.push_back(
            run.item(address, {}, where.slot->size(), [&](NvbStreamObserver* itemProgress) {
                EkDataFile item(DataType::NoType);
                transfer::fetchItem(where, link, itemProgress, item);
            }));
    }
    return outcomes;
}

std::vector<Outcome> exportToOneDump(const KeyboardLink& link,
                                     const std::vector<SlotAddress>& slots, const QString& path,
                                     backup::JobProgress* progress) {
    transfer::requireFolder(QFileInfo(path).absolutePath());
    backup::JobRun run(progress, presentBytes(link.driver, slots));
    std::vector<std::uint8_t> dump;
    const QString file = QFileInfo(path).fileName();
    const auto outcomes = overPresentSlots(
        link, slots, "import", [&](const SlotAddress& address, const SlotInTree& where) {
            std::vector<std::uint8_t> itemDump;
            Outcome outcome =
                run.item(address, file, where.slot->size(), [&](NvbStreamObserver* itemProgress) {
                    EkDataFile item(DataType::NoType);
                    transfer::fetchItem(where, link, itemProgress, item);
                    itemDump = syx::dumpOf(item, address);
                });
            if (!outcome.failed()) {
                dump.insert(dump.end(), itemDump.begin(), itemDump.end());
            } else {
                outcome.file.clear();
            }
            return outcome;
        });
    if (!dump.empty()) {
        platform::saveFile(
            path, QByteArray(reinterpret_cast<const char*>(dump.data()), qsizetype(dump.size())));
    }
    return outcomes;
}

std::vector<Outcome> convertDump(const syx::DumpContents& dump, const QString& folder) {
    transfer::requireFolder(folder);
    std::vector<Outcome> outcomes;
    backup::FreshFileNames names(folder);
    for (const syx::DumpedItem& dumped : dump.items) {
        EkDataFile item(DataType::NoType);
        dumped.fill(item);
        const QString file = names.take(transfer::importFileName(item.type(), item.name()));
        try {
            // Each name is free (FreshFileNames looked): a file of its own, synced with the
            // others once they are all written.
            transfer::saveNewItem(item, QDir(folder).filePath(file));
            outcomes.push_back({dumped.slot, file});
        } catch (...) {
            outcomes.push_back({dumped.slot, {}, currentError(), currentErrorCode()});
        }
    }
    if (!dump.items.empty()) {
        platform::syncFileSystem(folder);
    }
    for (const platform::CodedText& unusable : dump.unusable) {
        const QString place = unusable.args.value(0);
        outcomes.push_back({SlotAddress::parse(place).value_or(SlotAddress{}), {}, unusable});
    }
    return outcomes;
}

std::vector<Outcome> deleteSlots(const KeyboardLink& link, const std::vector<SlotAddress>& slots,
                                 safety::ChangeRecord* record, backup::JobProgress* progress) {
    backup::JobRun run(progress, record != nullptr ? presentBytes(link.driver, slots) : 0);
    return overPresentSlots(
        link, slots, "delete", [&](const SlotAddress& address, const SlotInTree& where) {
            const std::uint32_t bytes = record != nullptr ? where.slot->size() : 0;
            Outcome outcome = run.item(address, {}, bytes, [&](NvbStreamObserver* itemProgress) {
                ops::SlotChange deletion;
                deletion.why = safety::Why::Delete;
                ops::changeSlot(link, record, where, deletion, itemProgress);
            });
            outcome.keptCopy = ops::keptCopyOf(record, address);
            return outcome;
        });
}

std::vector<Placement> placeFiles(EkKbdDrv& driver, const QStringList& files,
                                  const SlotAddress& first) {
    SlotAddress last = first;
    last.number += int(files.size()) - 1;
    if (files.isEmpty() || findSlot(driver, last).slot == nullptr) {
        throw OperateException(OperateException::DoesNotFit);
    }
    std::vector<Placement> placements;
    for (qsizetype i = 0; i < files.size(); ++i) {
        SlotAddress slot = first;
        slot.number += int(i);
        auto item = std::make_shared<EkDataFile>(DataType::NoType);
        transfer::loadFile(files[i], *item);
        if (item->type() != findSlot(driver, slot).slot->type()) {
            // One file is simply of another kind than its slot, as the keyboard would say; of
            // several, one does not belong with the others in this folder.
            if (files.size() == 1) {
                throw NvbStreamException(NvbStreamException::TypeMismatch);
            }
            throw OperateException(OperateException::WrongType);
        }
        placements.push_back({files[i], slot, item->size(), std::move(item)});
    }
    return placements;
}

std::vector<Outcome> sendFiles(const KeyboardLink& link, const std::vector<Placement>& placements,
                               safety::ChangeRecord* record, bool verify,
                               backup::JobProgress* progress) {
    std::int64_t total = 0;
    for (const Placement& placement : placements) {
        total += placement.size;
    }
    backup::JobRun run(progress, total);
    std::vector<Outcome> outcomes;
    for (const Placement& placement : placements) {
        const SlotInTree where = findSlot(link.driver, placement.slot);
        if (where.slot == nullptr) {
            outcomes.push_back(
                {placement.slot, placement.file,
                 platform::CodedText{platform::ErrorCode::NoSuchSlot, {placement.slot.text()}}});
            continue;
        }
        const auto send = [&](NvbStreamObserver* itemProgress) {
            ops::SlotChange change;
            change.wanted = placement.item.get();
            change.why = safety::Why::Send;
            change.replacedBy = QFileInfo(placement.file).absoluteFilePath();
            change.verify = verify;
            change.quietFetch = true;
            ops::changeSlot(link, record, where, change, itemProgress);
        };
        // A stop with a song slot emptied goes on to the caller as it is (SongSlotEmptied); the
        // record knows the copy kept of the old song.
        Outcome outcome = run.item(placement.slot, placement.file, placement.size, send);
        outcome.keptCopy = ops::keptCopyOf(record, placement.slot);
        outcome.emptied = outcome.failed() && outcome.keptCopy != 0 && !where.slot->isPresent();
        outcomes.push_back(outcome);
    }
    return outcomes;
}

}  // namespace batch
