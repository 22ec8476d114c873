// library scan, library find, status: the user's keyboard files and which of the keyboard's
// items they hold.

#include <QDir>
#include <QJsonArray>

#include "backup/batchjobs.h"
#include "commandcontext.h"
#include "commands.h"
#include "data/ekdatafile.h"
#include "kbddrv/itemkinds.h"
#include "library/itemtags.h"
#include "library/libraryindex.h"
#include "library/slotsonpc.h"
#include "lists/itemlist.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"

namespace cli::commands {

namespace {

// The folders a scan goes over: those given, else the preferences' library folders and those
// scanned before, else the user's home.
QStringList libraryFolders(const library::Index& index, const QStringList& given) {
    if (!given.isEmpty()) {
        return given;
    }
    const QStringList folders =
        index.foldersWith(platform::SettingsStore().loadOrDefaults().foldersOfLibrary());
    return folders.isEmpty() ? QStringList{QDir::homePath()} : folders;
}

library::ScanSummary scanFolders(CommandContext& context, library::Index& index,
                                 const QStringList& given) {
    const library::ScanSummary summary =
        index.scan(libraryFolders(index, given), context.messages());
    for (const QString& problem : summary.problems) {
        context.output().error("nvbman-cli: " + problem);
    }
    return summary;
}

QJsonObject entryJson(const library::Entry& entry) {
    return {{"file", QDir::toNativeSeparators(entry.path)},
            {"item", entry.index},
            {"type", entry.type},
            {"typeName", mls850::typeName(entry.type)},
            {"name", entry.name},
            {"size", qint64(entry.size)},
            {"sha256", entry.sha256}};
}

int scan(CommandContext& context, const QStringList& folders) {
    // A folder named on the command line that is none fails the command before anything is
    // scanned: a typing mistake must not look like an empty library.
    for (const QString& folder : folders) {
        transfer::requireFolder(folder);
    }
    library::Index index;
    const library::ScanSummary summary = scanFolders(context, index, folders);
    context.output().setObject({{"files", summary.files},
                                {"read", summary.read},
                                {"removed", summary.removed},
                                {"problems", QJsonArray::fromStringList(summary.problems)}});
    context.output().line(QString("%1 files, %2 read, %3 gone")
                              .arg(summary.files)
                              .arg(summary.read)
                              .arg(summary.removed));
    return Success;
}

// The index's items whose name contains `text`, narrowed by --tag and --text.
std::vector<library::Entry> found(CommandContext& context, const QString& text) {
    const library::Index index;
    std::vector<library::Entry> entries = index.find(text);
    library::TagStore().narrow(entries, context.options().tag, context.options().text);
    return entries;
}

int find(CommandContext& context, const QString& text) {
    if (const auto format = context.shareFormat()) {
        lists::ItemList list;
        list.title = QString("Library: \"%1\"").arg(text);
        constexpr int kSizeColumn = 3;
        constexpr int kTagsColumn = 5;
        list.headings = QStringList{"File", "Type", "Name", "Size", "SHA-256", "Tags"};
        list.numberColumns = {kSizeColumn};
        const library::TagStore tags;
        for (const library::Entry& entry : found(context, text)) {
            list.rows.push_back({QDir::toNativeSeparators(entry.path), mls850::typeName(entry.type),
                                 entry.name, QString::number(entry.size), entry.sha256,
                                 tags.tagsText({entry.sha256})});
        }
        lists::dropColumnIfEmpty(list, kTagsColumn);
        context.output().print(QString::fromUtf8(lists::textOf(list, *format)));
        return Success;
    }
    QJsonArray items;
    for (const library::Entry& entry : found(context, text)) {
        items.append(entryJson(entry));
        context.output().line(QString("%1 %2 %3")
                                  .arg(mls850::typeName(entry.type), -12)
                                  .arg("\"" + printable(entry.name) + "\"", -11)
                                  .arg(QDir::toNativeSeparators(entry.path)));
    }
    context.output().setObject({{"items", items}});
    return Success;
}

}  // namespace

// library scan [DIR...], library find TEXT
int libraryCommand(CommandContext& context, const QStringList& arguments) {
    const QString& what = arguments[0];
    if (what == "scan") {
        return scan(context, arguments.mid(1));
    }
    if (what == "find") {
        // Without a name, --tag or --text says what is wanted.
        const bool byTags = !context.options().tag.isEmpty() || !context.options().text.isEmpty();
        if (arguments.size() > 2 || (arguments.size() < 2 && !byTags)) {
            throw UsageError(arguments.size() < 2 ? QString("missing argument")
                                                  : "unexpected argument '" + arguments[2] + "'");
        }
        return find(context, arguments.value(1));
    }
    throw UsageError("unknown library command '" + what + "' (scan, find)");
}

// status: every item of the keyboard fetched and looked up among the user's files (the library
// brought up to date first): the files that hold that very item, or none.
int status(CommandContext& context, const QStringList&) {
    library::Index index;
    scanFolders(context, index, {});
    context.getList();
    library::SeenItems seen;
    KeyboardLink link = context.link();
    link.itemSeen = [&seen, told = link.itemSeen](const EkData& slot, const EkDataFile& item,
                                                  ItemMove move) {
        seen.saw(slot, item);
        if (told) {
            told(slot, item, move);
        }
    };
    std::vector<SlotAddress> slots;
    for (const auto& [address, where] : allSlots(context.driver())) {
        slots.push_back(address);
    }
    context.progress().start("Status", 0);
    const std::vector<backup::Outcome> outcomes =
        batch::fetchSlots(link, slots, &context.progress());
    context.progress().finish();
    QJsonArray found;
    int missing = 0;
    for (const backup::Outcome& outcome : outcomes) {
        if (outcome.failed()) {
            context.output().error("nvbman-cli: " + outcome.slot.text() +
                                   " not checked: " + context.messages().codedText(*outcome.error));
            continue;
        }
        const EkData& slot = *findSlot(context.driver(), outcome.slot).slot;
        const library::SlotOnPc onPc = library::onPc(index, seen, slot);
        QJsonArray files;
        QStringList paths;
        for (const library::Entry& entry : onPc.files) {
            files.append(QDir::toNativeSeparators(entry.path));
            paths << QDir::toNativeSeparators(entry.path);
        }
        missing += paths.isEmpty() ? 1 : 0;
        const QString name = transfer::keyboardText(slot.name());
        found.append(QJsonObject{{"slot", outcome.slot.text()}, {"name", name}, {"files", files}});
        context.output().line(
            QString("%1 %2 %3")
                .arg(outcome.slot.text(), -10)
                .arg("\"" + printable(name) + "\"", -11)
                .arg(paths.isEmpty() ? QStringLiteral("(not on the PC)") : paths.join(", ")));
    }
    context.output().setObject({{"slots", found}, {"notOnPc", missing}});
    const backup::JobSummary summary(outcomes);
    if (!summary.retried.isEmpty()) {
        context.output().error("nvbman-cli: " +
                               context.messages().retriedText(summary.retried.join(", ")));
    }
    return !summary.lastError ? Success
                              : context.fail(QStringLiteral("items-failed"),
                                             context.messages().codedText(*summary.lastError));
}

}  // namespace cli::commands
