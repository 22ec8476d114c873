#include "history.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <algorithm>
#include <filesystem>
#include <limits>
#include <system_error>

#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "msg/msgstr.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"
#include "platform/userlocale.h"

namespace safety {
namespace {

constexpr int kHistoryFormat = 1;
const char* const kHistoryName = "history.json";
// The file of kMaxChanges changes of the largest restore is some hundred kilobytes; one far
// larger is no history this program wrote, and reading it whole would cost seconds and memory.
constexpr qint64 kMaxHistoryBytes = 8 * 1024 * 1024;

[[noreturn]] void damagedHistory(const QString& path, platform::CodedText reason) {
    throw platform::SystemError(platform::CodedText{platform::ErrorCode::HistoryUnreadable,
                                                    {QDir::toNativeSeparators(path)}}
                                    .because(std::move(reason)));
}

QJsonValue afterJson(const std::optional<QString>& after) {
    return after ? QJsonValue(*after) : QJsonValue();
}

Change changeOf(const QJsonObject& object, const QString& path) {
    Change change;
    change.id = object.value("id").toInteger();
    change.keyboard = object.value("keyboard").toString();
    change.action = object.value("action").toString();
    for (const QJsonValue& subject : object.value("subjects").toArray()) {
        change.subjects << subject.toString();
    }
    change.time = QDateTime::fromString(object.value("time").toString(), Qt::ISODate);
    for (const QJsonValue& value : object.value("steps").toArray()) {
        const QJsonObject entry = value.toObject();
        const auto slot = SlotAddress::parse(entry.value("slot").toString());
        const CopyId before = entry.value("before").toInteger();
        if (!slot || before < 0) {
            damagedHistory(path, {platform::ErrorCode::HistoryChangeNoSlot});
        }
        const QJsonValue after = entry.value("after");
        change.steps.push_back(
            {*slot, before, after.isString() ? std::optional(after.toString()) : std::nullopt});
    }
    change.underWay = object.value("underWay").toBool();
    change.owner = object.value("owner").toString();
    change.noticed = object.value("noticed").toBool();
    if (change.id < 1 || change.action.isEmpty() || change.steps.empty() ||
        (change.underWay && change.owner.isEmpty())) {
        damagedHistory(path, {platform::ErrorCode::HistoryChangeIncomplete});
    }
    return change;
}

// Whether `change` may be taken back on `keyboard` (empty: on any).
bool takesBackOn(const Change& change, const QString& keyboard) {
    return keyboard.isEmpty() || change.keyboard.isEmpty() || change.keyboard == keyboard;
}

std::vector<Change> onKeyboard(std::vector<Change> changes, const QString& keyboard) {
    std::erase_if(changes, [&](const Change& change) { return !takesBackOn(change, keyboard); });
    return changes;
}

// A new change on `keyboard`: what was undone there can no longer be redone over it.
void forgetRedoOf(std::vector<Change>& redo, const QString& keyboard) {
    std::erase_if(redo, [&](const Change& change) { return takesBackOn(change, keyboard); });
}

// Holds the history for one change of it: a window and a script may change it at once.
StoreLock historyLock(const QString& folder) {
    return StoreLock(folder, "history.lock", platform::ErrorCode::HistoryHeld);
}

}  // namespace

QString titleOf(const Change& change) {
    return MsgStr(platform::kLocaleEnglishUs).changeTitle(change.action, change.subjects);
}

QJsonObject toJson(const Change& change) {
    QJsonArray steps;
    for (const Step& step : change.steps) {
        steps.append(QJsonObject{{"slot", step.slot.text()},
                                 {"before", qint64(step.before)},
                                 {"after", afterJson(step.after)}});
    }
    QJsonObject object{{"id", qint64(change.id)},
                       {"keyboard", change.keyboard},
                       {"action", change.action},
                       {"subjects", QJsonArray::fromStringList(change.subjects)},
                       {"title", titleOf(change)},
                       {"time", change.time.toString(Qt::ISODateWithMs)},
                       {"steps", steps}};
    // Only while under way: a finished change reads as every change written before.
    if (change.underWay) {
        object.insert("underWay", true);
        object.insert("owner", change.owner);
        object.insert("noticed", change.noticed);
    }
    return object;
}

QString itemFingerprint(const EkDataFile& item) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    const std::uint16_t type = item.type();
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(&type), sizeof type));
    const std::string name = item.name();
    hash.addData(QByteArrayView(name.data(), qsizetype(name.size())));
    for (std::size_t i = 0; i < item.size(); ++i) {
        const char byte = char(item.dataByte(i));
        hash.addData(QByteArrayView(&byte, 1));
    }
    return QString::fromLatin1(hash.result().toHex());
}

History::History(QString folder) : folder_(std::move(folder)) {}

History::Stacks History::read() const {
    const QString path = QDir(folder_).filePath(kHistoryName);
    const QJsonObject root =
        readOwnJson(path, kHistoryFormat, kMaxHistoryBytes, platform::ErrorCode::HistoryUnreadable,
                    platform::ErrorCode::NotOurHistory);
    if (root.isEmpty()) {
        return {};
    }
    Stacks stacks;
    const auto readStack = [&](const char* key, std::vector<Change>& stack) {
        for (const QJsonValue& value : root.value(key).toArray()) {
            stack.push_back(changeOf(value.toObject(), path));
            stacks.lastId = std::max(stacks.lastId, stack.back().id);
        }
    };
    readStack("undo", stacks.undo);
    readStack("redo", stacks.redo);
    stacks.lastId = std::max(stacks.lastId, std::int64_t(root.value("lastId").toInteger()));
    return stacks;
}

void History::write(const Stacks& stacks) const {
    QJsonArray undo;
    QJsonArray redo;
    for (const Change& change : stacks.undo) {
        undo.append(toJson(change));
    }
    for (const Change& change : stacks.redo) {
        redo.append(toJson(change));
    }
    platform::saveFile(QDir(folder_).filePath(kHistoryName),
                       QJsonDocument(QJsonObject{{"format", kHistoryFormat},
                                                 {"lastId", qint64(stacks.lastId)},
                                                 {"undo", undo},
                                                 {"redo", redo}})
                           .toJson(QJsonDocument::Indented));
}

std::int64_t History::nextId(Stacks& stacks) {
    if (stacks.lastId >= std::numeric_limits<std::int64_t>::max() - 1) {
        // Oldest first, so that the order of the numbers stays the order of the changes.
        std::vector<Change*> all;
        for (auto* stack : {&stacks.undo, &stacks.redo}) {
            for (Change& change : *stack) {
                all.push_back(&change);
            }
        }
        std::sort(all.begin(), all.end(),
                  [](const Change* a, const Change* b) { return a->id < b->id; });
        stacks.lastId = 0;
        for (Change* change : all) {
            change->id = ++stacks.lastId;
        }
    }
    return ++stacks.lastId;
}

std::vector<Change> History::undoable(const QString& keyboard) const {
    return onKeyboard(read().undo, keyboard);
}

std::vector<Change> History::redoable(const QString& keyboard) const {
    return onKeyboard(read().redo, keyboard);
}

void History::putOnTop(std::vector<Change>& stack, Change change) {
    stack.insert(stack.begin(), std::move(change));
    if (stack.size() > std::size_t(kMaxChanges)) {
        stack.resize(kMaxChanges);
    }
}

std::set<CopyId> History::copiesInUse() const {
    const Stacks stacks = read();
    std::set<CopyId> copies;
    for (const auto* stack : {&stacks.undo, &stacks.redo}) {
        for (const Change& change : *stack) {
            for (const Step& step : change.steps) {
                if (step.before != 0) {
                    copies.insert(step.before);
                }
            }
        }
    }
    return copies;
}

namespace {

void eraseChange(std::vector<Change>& stack, std::int64_t id) {
    std::erase_if(stack, [id](const Change& change) { return change.id == id; });
}

}  // namespace

void History::recorded(Change change) {
    std::error_code failure;
    std::filesystem::create_directories(QFile::encodeName(folder_).toStdString(), failure);
    const StoreLock lock = historyLock(folder_);
    Stacks stacks = read();
    change.underWay = false;
    if (change.id != 0) {
        // Written under way before: its finished self takes its place.
        eraseChange(stacks.undo, change.id);
    } else {
        change.id = nextId(stacks);
    }
    forgetRedoOf(stacks.redo, change.keyboard);
    putOnTop(stacks.undo, std::move(change));
    write(stacks);
}

void History::begun(Change& change) {
    std::error_code failure;
    std::filesystem::create_directories(QFile::encodeName(folder_).toStdString(), failure);
    const StoreLock lock = historyLock(folder_);
    Stacks stacks = read();
    if (change.id == 0) {
        change.id = nextId(stacks);
    } else {
        eraseChange(stacks.undo, change.id);
    }
    change.underWay = true;
    if (!change.time.isValid()) {
        change.time = QDateTime::currentDateTimeUtc();
    }
    // What can be redone stays until the change is finished: an undo under way is written
    // here too, and it must not end the redo of the changes undone before it.
    putOnTop(stacks.undo, change);
    write(stacks);
}

QString History::ownerLock(const QString& owner) const {
    return QDir(folder_).filePath(QStringLiteral("under-way/") + owner + QStringLiteral(".lock"));
}

bool History::isRunning(const Change& change) const {
    return change.underWay && platform::FileLock::isHeld(ownerLock(change.owner));
}

std::vector<Change> History::cutShort(const QString& keyboard, bool markNoticed) {
    const auto isCutShort = [&](const Change& change) {
        return change.underWay && !change.noticed && takesBackOn(change, keyboard) &&
               !isRunning(change);
    };
    std::vector<Change> found;
    for (const Change& change : read().undo) {
        if (isCutShort(change)) {
            found.push_back(change);
        }
    }
    if (found.empty() || !markNoticed) {
        return found;
    }
    const StoreLock lock = historyLock(folder_);
    Stacks stacks = read();
    for (Change& change : stacks.undo) {
        if (isCutShort(change)) {
            change.noticed = true;
        }
    }
    write(stacks);
    return found;
}

void History::reversed(std::int64_t done, Change reverse, bool undoing) {
    const StoreLock lock = historyLock(folder_);
    Stacks stacks = read();
    if (reverse.id != 0) {
        // Written under way while it ran: it goes where a taken-back change goes.
        eraseChange(stacks.undo, reverse.id);
    }
    reverse.underWay = false;
    std::vector<Change>& from = undoing ? stacks.undo : stacks.redo;
    const bool wasThere =
        std::erase_if(from, [done](const Change& change) { return change.id == done; }) > 0;
    if (reverse.steps.empty()) {
        // The keyboard held what the change had replaced already: nothing to take back later.
        write(stacks);
        return;
    }
    reverse.id = nextId(stacks);
    if (!wasThere) {
        // Not the other side of a change any more: a change of its own, undone like any other.
        forgetRedoOf(stacks.redo, reverse.keyboard);
        putOnTop(stacks.undo, std::move(reverse));
    } else {
        putOnTop(undoing ? stacks.redo : stacks.undo, std::move(reverse));
    }
    write(stacks);
}

ChangeRecord::ChangeRecord(Store& store, QString keyboard, QString action, QStringList subjects)
    : store_(store) {
    History(store_.folder()).check();
    change_.keyboard = std::move(keyboard);
    change_.action = std::move(action);
    change_.subjects = std::move(subjects);
    change_.owner = QUuid::createUuid().toString(QUuid::WithoutBraces);
}

ChangeRecord::~ChangeRecord() {
    if (!committed_) {
        try {
            commit();
        } catch (...) {
            // The command's own failure is the one reported; its kept copies are still listed
            // in Replaced Items.
        }
    }
    if (ownerLock_) {
        // Finished: no one looks for this lock any more.
        ownerLock_->unlock();
        QFile::remove(ownerLock_->path());
    }
}

void ChangeRecord::intend(const SlotAddress& slot) {
    // Written once per slot; a step that keep() began is not written yet.
    if (std::find(written_.begin(), written_.end(), slot) != written_.end()) {
        return;
    }
    stepOf(slot);
    const History history(store_.folder());
    if (!ownerLock_) {
        // Held before the change is written: a change under way whose lock no one holds is one
        // cut short.
        const QString lockPath = history.ownerLock(change_.owner);
        QDir().mkpath(QFileInfo(lockPath).absolutePath());
        ownerLock_ = std::make_unique<platform::FileLock>(lockPath);
        ownerLock_->lockOrThrow([&] {
            return platform::SystemError(platform::ErrorCode::HistoryHeld,
                                         {QDir::toNativeSeparators(lockPath)});
        });
    }
    History(store_.folder()).begun(change_);
    written_.push_back(slot);
}

Step& ChangeRecord::stepOf(const SlotAddress& slot) {
    for (Step& step : change_.steps) {
        if (step.slot == slot) {
            return step;
        }
    }
    change_.steps.push_back({slot, 0, std::nullopt});
    return change_.steps.back();
}

Copy ChangeRecord::keep(EkDataFile& item, const SlotAddress& slot, Why why,
                        const QString& replacedBy) {
    if (const auto kept = keptOf(slot)) {
        return *kept;
    }
    const Copy copy = store_.add(item, slot, why, replacedBy);
    kept_.push_back(copy);
    stepOf(slot).before = copy.id;
    return copy;
}

std::optional<Copy> ChangeRecord::keptOf(const SlotAddress& slot) const {
    for (const Copy& copy : kept_) {
        if (copy.slot == slot) {
            return copy;
        }
    }
    return std::nullopt;
}

void ChangeRecord::left(const SlotAddress& slot, const EkDataFile* item) {
    stepOf(slot).after = item != nullptr ? itemFingerprint(*item) : QString();
}

Change ChangeRecord::take() {
    committed_ = true;
    change_.time = QDateTime::currentDateTimeUtc();
    change_.underWay = false;
    return change_;
}

std::optional<platform::CodedText> ChangeRecord::keptCopies() const {
    if (kept_.empty()) {
        return std::nullopt;
    }
    platform::CodedText text{platform::ErrorCode::KeptByChange};
    for (const Copy& copy : kept_) {
        text.args << QString::number(copy.id) << copy.slot.text() << copy.name;
    }
    return text;
}

void ChangeRecord::commit() {
    committed_ = true;
    if (change_.steps.empty()) {
        return;
    }
    change_.time = QDateTime::currentDateTimeUtc();
    History(store_.folder()).recorded(change_);
    change_.underWay = false;
}

QString cutShortText(const Change& change, const Store& store, const MsgStr& messages) {
    QStringList slots;
    QStringList copies;
    for (const Step& step : change.steps) {
        slots << step.slot.text();
        if (step.before == 0) {
            continue;
        }
        const auto copy = store.find(step.before);
        copies << messages.keptCopyEntry(step.before, step.slot.text(),
                                         copy ? copy->name : QString());
    }
    return messages.cutShortText(messages.changeTitle(change.action, change.subjects), slots,
                                 copies);
}

}  // namespace safety
