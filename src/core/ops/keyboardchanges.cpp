#include "keyboardchanges.h"

#include <QDir>
#include <memory>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "msg/msgstr.h"
#include "organise/undo.h"
#include "platform/systemerror.h"
#include "versions/versionstore.h"

namespace ops {
namespace {

// The record of one change on the target's keyboard; none when the user keeps no copies and
// the change can do without.
std::unique_ptr<safety::ChangeRecord> recordOf(const Target& target, const QString& action,
                                               const QStringList& subjects) {
    if (!target.keepCopies) {
        return nullptr;
    }
    return std::make_unique<safety::ChangeRecord>(target.store, keyboardIdentity(target.link),
                                                  action, subjects);
}

// Runs `change(record)` as one change in the history: what it did is recorded even when it
// stops midway (the record's destructor), so that the part done can be undone.
template <typename Change>
auto recorded(std::unique_ptr<safety::ChangeRecord> record, Change change) {
    auto result = change(record.get());
    if (record) {
        record->commit();
    }
    return result;
}

// The copy kept of a song that a stopped send into one of `slots` deleted; none when none.
std::optional<safety::Copy> keptOfAnEmptiedSong(EkKbdDrv& driver,
                                                const safety::ChangeRecord* record,
                                                const std::vector<SlotAddress>& slots) {
    if (record == nullptr) {
        return std::nullopt;
    }
    for (const SlotAddress& slot : slots) {
        const SlotInTree where = findSlot(driver, slot);
        if (where.slot != nullptr && where.slot->type() == DataType::Song &&
            !where.slot->isPresent()) {
            if (auto kept = record->keptOf(slot)) {
                return kept;
            }
        }
    }
    return std::nullopt;
}

}  // namespace

std::vector<backup::Outcome> send(const Target& target,
                                  const std::vector<batch::Placement>& placements, bool verify,
                                  const QString& action) {
    std::vector<SlotAddress> slots;
    for (const batch::Placement& placement : placements) {
        slots.push_back(placement.slot);
    }
    return recorded(recordOf(target, action, slotTexts(slots)), [&](safety::ChangeRecord* record) {
        try {
            return batch::sendFiles(target.link, placements, record, verify, target.progress);
        } catch (const transfer::SongSlotEmptied& emptied) {
            throw SongEmptiedByStop(emptied,
                                    keptOfAnEmptiedSong(target.link.driver, record, slots));
        }
    });
}

batch::Placement keptPlacement(const safety::Store& store, const safety::Copy& copy) {
    auto item = std::make_shared<EkDataFile>(DataType::NoType);
    store.loadChecked(copy, *item);
    return {store.filePath(copy), copy.slot, item->size(), item};
}

batch::Placement versionPlacement(const versions::Store& store, const versions::Version& version) {
    auto item = std::make_shared<EkDataFile>(version.type);
    store.loadItem(version, *item);
    return {store.itemPath(version.sha256), version.slot, item->size(), item};
}

backup::Outcome putBack(const Target& target, const batch::Placement& kept, bool verify) {
    if (findSlot(target.link.driver, kept.slot).slot == nullptr) {
        throw platform::SystemError(platform::ErrorCode::NoSuchSlot, {kept.slot.text()});
    }
    return send(target, {kept}, verify, QStringLiteral("put-back")).front();
}

std::vector<backup::Outcome> remove(const Target& target, const std::vector<SlotAddress>& slots) {
    return recorded(recordOf(target, QStringLiteral("delete"), slotTexts(slots)),
                    [&](safety::ChangeRecord* record) {
                        return batch::deleteSlots(target.link, slots, record, target.progress);
                    });
}

std::vector<backup::Outcome> restore(const Target& target, const backup::Manifest& manifest,
                                     const QString& folder, backup::Extras extras,
                                     const std::vector<backup::Comparison>* plan) {
    return recorded(recordOf(target, QStringLiteral("restore"), {QDir(folder).absolutePath()}),
                    [&](safety::ChangeRecord* record) {
                        return backup::restoreKeyboard(target.link, manifest, folder,
                                                       target.progress, record, extras, plan);
                    });
}

std::vector<safety::Copy> copiesKeptSince(const safety::Store& store, const QDateTime& started) {
    std::vector<safety::Copy> kept;
    try {
        for (const safety::Copy& copy : store.copies()) {
            if (copy.time >= started &&
                (copy.why == safety::Why::Restore || copy.why == safety::Why::Delete)) {
                kept.insert(kept.begin(), copy);
            }
        }
    } catch (const platform::SystemError&) {
        return {};
    }
    return kept;
}

QString failureText(const backup::Outcome& outcome, const safety::Store& store,
                    const MsgStr& messages) {
    QString text = outcome.error ? messages.codedText(*outcome.error) : QString();
    if (outcome.emptied || outcome.notShown) {
        if (const auto kept = store.find(outcome.keptCopy)) {
            text += '\n' + safety::keptCopyText(*kept, store, messages);
        }
    }
    return text;
}

void edit(const Target& target, organise::Edit edit, const SlotAddress& from,
          const SlotAddress& to) {
    organise::checkEdit(target.link.driver, edit, from, to);
    safety::ChangeRecord record(target.store, keyboardIdentity(target.link),
                                organise::actionOf(edit), {from.text(), to.text()});
    organise::editSlots(target.link, edit, from, to, record, target.progress);
    record.commit();
}

void rename(const Target& target, const SlotAddress& slot, const QString& name) {
    organise::checkRename(target.link.driver, slot, name);
    safety::ChangeRecord record(target.store, keyboardIdentity(target.link),
                                QStringLiteral("rename"), {slot.text(), name});
    organise::renameSlot(target.link, slot, name, record, target.progress);
    record.commit();
}

std::optional<safety::Change> latestChange(const Target& target, bool undoing) {
    const safety::History history(target.store.folder());
    const QString keyboard = keyboardIdentity(target.link);
    const auto changes = undoing ? history.undoable(keyboard) : history.redoable(keyboard);
    if (changes.empty()) {
        return std::nullopt;
    }
    return changes.front();
}

void takeBack(const Target& target, const safety::Change& change, bool undoing, bool force) {
    organise::reverseChange(target.link, target.store, change, undoing, force, target.progress);
}

}  // namespace ops
