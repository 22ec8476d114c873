// copy, move, swap, rename: the keyboard's items rearranged in place, each change kept for undo.

#include "commandcontext.h"
#include "commands.h"
#include "ops/keyboardchanges.h"
#include "platform/systemerror.h"
#include "safety/history.h"

namespace cli::commands {

namespace {

// The change just made, as history lists it.
int sayChange(CommandContext& context) {
    context.progress().finish();
    if (const auto latest = ops::latestChange(context.target(), true)) {
        context.output().setObject({{"change", safety::toJson(*latest)}});
        context.output().line(safety::titleOf(*latest));
    }
    return Success;
}

// copy, move, swap: refused before any traffic when the two slots cannot take part.
int editSlots(CommandContext& context, organise::Edit edit, const QStringList& arguments) {
    const SlotAddress from = slotArgument(arguments[0]);
    const SlotAddress to = slotArgument(arguments[1]);
    const QString action = organise::actionOf(edit);
    if (from == to || from.kind != to.kind) {
        throw UsageError(QString("%1 needs two different slots of one kind ('%2', '%3')")
                             .arg(action, from.text(), to.text()));
    }
    if (edit == organise::Edit::Move && !from.canBeEmptied()) {
        throw UsageError("only songs and rhythms can be moved; a " + from.kind +
                         " can be copied or swapped");
    }
    context.requireSafetyCopies(action);
    context.getSlots({from, to});
    context.progress().start(action, 0);
    ops::edit(context.target(), edit, from, to);
    return sayChange(context);
}

}  // namespace

int copy(CommandContext& context, const QStringList& arguments) {
    return editSlots(context, organise::Edit::Copy, arguments);
}

int move(CommandContext& context, const QStringList& arguments) {
    return editSlots(context, organise::Edit::Move, arguments);
}

int swap(CommandContext& context, const QStringList& arguments) {
    return editSlots(context, organise::Edit::Swap, arguments);
}

int rename(CommandContext& context, const QStringList& arguments) {
    const SlotAddress slot = slotArgument(arguments[0]);
    const QString& name = arguments[1];
    try {
        organise::checkName(name);
    } catch (const platform::SystemError& e) {
        throw UsageError(QString::fromStdString(e.what()));
    }
    context.requireSafetyCopies("rename");
    context.getSlots({slot});
    context.progress().start("Rename", 0);
    ops::rename(context.target(), slot, name);
    return sayChange(context);
}

}  // namespace cli::commands
