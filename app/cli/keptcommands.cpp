// replaced, put-back, history, undo, redo: the kept copies of what changes replaced, and the
// history of changes that undo and redo take back.

#include <QDir>
#include <QJsonArray>

#include "backup/jobtypes.h"
#include "commandcontext.h"
#include "commands.h"
#include "ops/keyboardchanges.h"
#include "organise/undo.h"
#include "platform/systemerror.h"
#include "safety/history.h"

namespace cli::commands {

namespace {

QString localTime(const QDateTime& time) {
    return time.toLocalTime().toString("yyyy-MM-dd HH:mm:ss");
}

// undo (`undoing`) or redo of the newest change.
int reverse(CommandContext& context, bool undoing) {
    // The keyboard first: while it is held, no other program changes it, so its changes in
    // the history stay as read here.
    context.takeKeyboard();
    const std::optional<safety::Change> latest = ops::latestChange(context.target(), undoing);
    if (!latest) {
        throw platform::SystemError(undoing ? "There is nothing to undo."
                                            : "There is nothing to redo.");
    }
    const safety::Change& change = *latest;
    context.getSlots(organise::slotsOf(change));
    TerminalProgress& progress = context.progress();
    progress.start(undoing ? "Undo" : "Redo", 0);
    try {
        ops::takeBack(context.target(), change, undoing, context.options().force);
    } catch (const organise::ChangedSince& e) {
        progress.finish();
        throw platform::SystemError(std::string(e.what()) + " nvbman-cli " +
                                    (undoing ? "undo" : "redo") +
                                    " --force takes it back all the same (what the slot holds "
                                    "now is kept first).");
    }
    progress.finish();
    context.output().setObject({{undoing ? "undone" : "redone", safety::toJson(change)}});
    context.output().line((undoing ? "Undone: " : "Redone: ") + safety::titleOf(change));
    return Success;
}

}  // namespace

int replaced(CommandContext& context, const QStringList&) {
    safety::Store& store = context.store();
    QJsonArray items;
    for (const safety::Copy& copy : store.copies()) {
        // The index's object, with the file's whole path for scripts.
        QJsonObject item = safety::toJson(copy);
        item.remove("replacedBy");
        item["file"] = store.filePath(copy);
        items.append(item);
        context.output().line(QString("%1  %2  %3 %4 %5 %6  %7")
                                  .arg(copy.id, 4)
                                  .arg(localTime(copy.time))
                                  .arg(copy.slot.text(), -10)
                                  .arg("\"" + printable(copy.name) + "\"", -11)
                                  .arg(copy.size, 6)
                                  .arg(safety::whyText(copy.why), -6)
                                  .arg(QDir::toNativeSeparators(store.filePath(copy))));
    }
    context.output().setObject({{"items", items}});
    return Success;
}

int putBack(CommandContext& context, const QStringList& arguments) {
    const QString& idText = arguments[0];
    bool isNumber = false;
    const safety::CopyId id = idText.toLongLong(&isNumber);
    if (!isNumber) {
        throw UsageError("'" + idText + "' is not the number of a kept copy");
    }
    safety::Store& store = context.store();
    const auto copy = store.find(id);
    if (!copy) {
        throw platform::SystemError("There is no kept copy " + idText.toStdString() +
                                    " (see: nvbman-cli replaced).");
    }
    // The copy is read and checked before the keyboard is asked anything.
    const batch::Placement kept = ops::keptPlacement(store, *copy);
    context.getSlots({copy->slot});
    return sendOne(
        context, [&] { return ops::putBack(context.target(), kept, context.options().verify); },
        kept.file, copy->name, copy->size);
}

int history(CommandContext& context, const QStringList&) {
    const safety::History history(context.store().folder());
    QJsonObject object;
    for (const bool undoing : {true, false}) {
        const char* word = undoing ? "undo" : "redo";
        QJsonArray changes;
        for (const safety::Change& change : undoing ? history.undoable() : history.redoable()) {
            changes.append(safety::toJson(change));
            QString line = QString("%1 %2  %3  %4")
                               .arg(word)
                               .arg(change.id, 4)
                               .arg(localTime(change.time))
                               .arg(printable(safety::titleOf(change)));
            if (!change.keyboard.isEmpty()) {
                line += "  on " + printable(change.keyboard);
            }
            context.output().line(line);
        }
        object[word] = changes;
    }
    context.output().setObject(object);
    return Success;
}

int undo(CommandContext& context, const QStringList&) {
    return reverse(context, true);
}

int redo(CommandContext& context, const QStringList&) {
    return reverse(context, false);
}

}  // namespace cli::commands
