// tag, tags export|import: the user's tags and notes on items, which belong to an item's
// content and so follow it to every copy and every slot it is sent to.

#include <QFileInfo>
#include <QJsonArray>

#include "commandcontext.h"
#include "commands.h"
#include "data/ekdatafile.h"
#include "library/itemtags.h"
#include "library/libraryindex.h"
#include "stream/nvbtransfer.h"

namespace cli::commands {

namespace {

// The hashes of what `target` names: a keyboard file's items, or the item a slot holds now
// (fetched).
QStringList hashesOfTarget(CommandContext& context, const QString& target) {
    if (looksLikeSlot(target) && !QFileInfo::exists(target)) {
        const SlotAddress slot = slotArgument(target);
        context.getSlots({slot});
        const SlotInTree where = context.slotOf(slot);
        if (!where.slot->isPresent() || where.slot->size() == 0) {
            throw platform::SystemError(platform::ErrorCode::SlotEmpty, {slot.text(), "tag"});
        }
        EkDataFile item(DataType::NoType);
        transfer::fetchItem(where, context.link(), nullptr, item);
        return {library::Index::itemHash(item)};
    }
    return library::Index::hashesOf(target);
}

QJsonObject tagsJson(const library::ItemTags& item) {
    return {{"sha256", item.sha256},
            {"tags", QJsonArray::fromStringList(item.tags)},
            {"note", item.note}};
}

}  // namespace

// tag FILE|SLOT [+TAG|-TAG]... [--note TEXT]
int tag(CommandContext& context, const QStringList& arguments) {
    QStringList added;
    QStringList removed;
    for (const QString& edit : arguments.mid(1)) {
        if (edit.startsWith('+')) {
            added << edit.mid(1);
        } else if (edit.startsWith('-')) {
            removed << edit.mid(1);
        } else {
            throw UsageError("'" + edit + "' is no +TAG or -TAG");
        }
    }
    library::TagStore tags;
    // Checked before the keyboard is asked anything.
    for (const QString& each : added + removed) {
        library::TagStore::checkedTag(each);
    }
    if (context.options().note) {
        library::TagStore::checkNote(*context.options().note);
    }
    const QStringList hashes = hashesOfTarget(context, arguments[0]);
    tags.change(hashes, added, removed, context.options().note);
    QJsonArray items;
    for (const QString& sha256 : hashes) {
        const library::ItemTags item = tags.of(sha256);
        items.append(tagsJson(item));
        context.output().line(item.tags.join(", ") +
                              (item.note.isEmpty() ? QString() : " | " + item.note));
    }
    context.output().setObject({{"items", items}});
    return Success;
}

// tags export FILE, tags import FILE
int tagsCommand(CommandContext& context, const QStringList& arguments) {
    if (arguments.size() != 2) {
        throw UsageError(arguments.size() < 2 ? QString("missing argument")
                                              : "unexpected argument '" + arguments[2] + "'");
    }
    library::TagStore tags;
    if (arguments[0] == "export") {
        tags.exportTo(arguments[1]);
        const int items = int(tags.all().size());
        context.output().setObject({{"items", items}});
        context.output().line(QString("%1 items' tags written").arg(items));
        return Success;
    }
    if (arguments[0] == "import") {
        const int items = tags.importFrom(arguments[1]);
        context.output().setObject({{"items", items}});
        context.output().line(QString("%1 items' tags taken in").arg(items));
        return Success;
    }
    throw UsageError("unknown tags command '" + arguments[0] + "' (export, import)");
}

}  // namespace cli::commands
