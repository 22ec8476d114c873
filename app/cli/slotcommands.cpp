// list, show, import, send, delete: the keyboard's slots one by one, and a file's header.

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include "backup/batchjobs.h"
#include "backup/history.h"
#include "backup/jobitem.h"
#include "commandcontext.h"
#include "commands.h"
#include "data/ekdatadrive.h"
#include "data/ekdatafile.h"
#include "jsonoutput.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/mls850layout.h"
#include "msg/errortext.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "syx/syxdump.h"

namespace cli::commands {

namespace {

QString absolutePath(const QString& file) {
    return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

// One slot into a new file of `folder`; its path.
QString fetch(CommandContext& context, const SlotAddress& wanted, const QString& folder) {
    const SlotInTree where = context.slotOf(wanted);
    if (!where.slot->isPresent()) {
        throw platform::SystemError("The slot " + wanted.text().toStdString() +
                                    " is empty: there is nothing to import.");
    }
    TerminalProgress& progress = context.progress();
    progress.start("Import", int(where.slot->size()));
    QString path;
    // A new file, as the help says: never one of the user's replaced, nor one written through
    // a link.
    const QString file = backup::FreshFileNames(folder).take(
        transfer::importFileName(where.slot->type(), where.slot->name()));
    context.retrying(wanted, [&] {
        path = transfer::importSlot(where, folder, context.link(), &progress, file);
    });
    progress.finish();
    return path;
}

}  // namespace

int list(CommandContext& context, const QStringList&) {
    context.getList();
    EkKbdDrv& driver = context.driver();
    const auto slots = allSlots(driver);
    QJsonObject root;
    root["model"] = transfer::keyboardText(driver.root().name());
    EkDataDrive* songs = driver.findArea(mls850::kSongRhythmArea);
    root["freeMemory"] = songs != nullptr ? songs->freeSpace() : 0;
    QJsonArray areas;
    for (int i = 0; i < driver.areaCount(); ++i) {
        const EkDataDrive* area = driver.findArea(driver.areaName(i));
        areas.append(QJsonObject{{"name", transfer::keyboardText(area->name())},
                                 {"type", area->type()},
                                 {"capacity", area->capacity()},
                                 {"freeSpace", area->freeSpace()},
                                 {"usedSpace", area->usedSpace()}});
    }
    root["areas"] = areas;
    QJsonArray entries;
    CommandOutput& output = context.output();
    QString area;
    for (const auto& [wanted, where] : slots) {
        const EkData& slot = *where.slot;
        entries.append(QJsonObject{{"slot", wanted.text()},
                                   {"area", where.area},
                                   {"folder", where.folder},
                                   {"type", slot.type()},
                                   {"bank", slot.bank()},
                                   {"number", slot.number()},
                                   {"name", transfer::keyboardText(slot.name())},
                                   {"size", qint64(slot.size())},
                                   {"present", slot.isPresent()}});
        if (where.area != area) {
            area = where.area;
            const EkDataDrive* drive = driver.findArea(area.toStdString());
            output.line(QString("%1  used %2 of %3 bytes, %4 free")
                            .arg(area)
                            .arg(drive->usedSpace())
                            .arg(drive->capacity())
                            .arg(drive->freeSpace()));
        }
        output.line(QString("  %1 %2 %3 %4")
                        .arg(wanted.text(), -10)
                        .arg("\"" + printable(transfer::keyboardText(slot.name())) + "\"", -11)
                        .arg(slot.size(), 6)
                        .arg(slot.isPresent() ? "" : "(empty)"));
    }
    root["slots"] = entries;
    output.setObject(root);
    return Success;
}

namespace {

// The slots of "SLOT [SLOT...] [DEST]" or "all [DEST]", fetched as a command on them needs
// (the whole list for all, only those slots else), and DEST (default: the current folder).
struct ChosenSlots {
    std::vector<SlotAddress> slots;
    QString destination;
    bool all = false;
};

ChosenSlots chooseSlots(QStringList args) {
    ChosenSlots chosen;
    chosen.destination = QDir::currentPath();
    chosen.all = args[0] == "all";
    if (chosen.all) {
        if (args.size() > 2) {
            throw UsageError("unexpected argument '" + args[2] + "'");
        }
        chosen.destination = args.value(1, chosen.destination);
    } else if (args.size() > 1 && !looksLikeSlot(args.last())) {
        chosen.destination = args.takeLast();
    }
    for (const QString& text : chosen.all ? QStringList() : args) {
        const SlotAddress slot = slotArgument(text);
        if (std::find(chosen.slots.begin(), chosen.slots.end(), slot) != chosen.slots.end()) {
            throw UsageError("slot '" + text + "' is given twice");
        }
        chosen.slots.push_back(slot);
    }
    return chosen;
}

void fetchChosen(CommandContext& context, ChosenSlots& chosen) {
    if (chosen.all) {
        context.getList();
        for (const auto& [address, where] : allSlots(context.driver())) {
            if (where.slot->isPresent()) {
                chosen.slots.push_back(address);
            }
        }
    } else {
        context.getSlots(chosen.slots);
    }
}

}  // namespace

// import SLOT [SLOT...] [DIR] and import all [DIR]. One slot keeps the single import's output
// (the file's path); several, or all, print "SLOT PATH" per saved file.
int importSlots(CommandContext& context, const QStringList& arguments) {
    ChosenSlots chosen = chooseSlots(arguments);
    const QString& folder = chosen.destination;
    transfer::makeFolder(folder);
    fetchChosen(context, chosen);
    if (chosen.slots.size() == 1 && !chosen.all) {
        const QString path = fetch(context, chosen.slots.front(), folder);
        backup::Outcome outcome{chosen.slots.front(), QFileInfo(path).fileName()};
        outcome.retried = context.retried();
        context.output().setObject(jsonoutput::jobOutcomes(folder, {outcome}));
        context.output().line(QDir::toNativeSeparators(path));
        return Success;
    }
    context.progress().start("Import", 0);
    const auto outcomes = batch::importSlots(context.link(), chosen.slots, folder,
                                             context.messages(), &context.progress(),
                                             transfer::FileFormat::Nvb, batch::FileInTheWay::Kept);
    return context.report(outcomes, folder, "not imported");
}

// export [--one-file] SLOT [SLOT...] DEST and export all DEST: each item as the System
// Exclusive messages the keyboard sends for it, a ".syx" file per item in the folder DEST, or
// with --one-file all of them in the file DEST. Prints "SLOT PATH" per exported item.
int exportSlots(CommandContext& context, const QStringList& arguments) {
    ChosenSlots chosen = chooseSlots(arguments);
    const bool oneFile = context.options().oneFile;
    const QString folder =
        oneFile ? QFileInfo(chosen.destination).absolutePath() : chosen.destination;
    if (oneFile && !syx::isDumpFile(chosen.destination)) {
        throw UsageError("export --one-file needs the .syx file to write last ('" +
                         chosen.destination + "' is none)");
    }
    transfer::makeFolder(folder);
    fetchChosen(context, chosen);
    context.progress().start("Export", 0);
    const auto outcomes =
        oneFile ? batch::exportToOneDump(context.link(), chosen.slots, chosen.destination,
                                         context.messages(), &context.progress())
                : batch::importSlots(context.link(), chosen.slots, folder, context.messages(),
                                     &context.progress(), transfer::FileFormat::Syx,
                                     batch::FileInTheWay::Kept);
    return context.report(outcomes, folder, "not exported");
}

int send(CommandContext& context, const QStringList& arguments) {
    const QString& file = arguments[0];
    const SlotAddress wanted = slotArgument(arguments[1]);
    EkDataFile item(DataType::NoType);
    transfer::loadFile(file, item);
    return sendInto(context, item, file, wanted, "send");
}

int sendInto(CommandContext& context, EkDataFile& item, const QString& file,
             const SlotAddress& wanted, const QString& action) {
    context.getSlots({wanted});
    const SlotInTree where = context.slotOf(wanted);
    TerminalProgress& progress = context.progress();
    const auto record = context.changeRecord(action, {wanted.text()});
    const auto copy = context.keepCopy(record.get(), where, safety::Why::Send,
                                       QFileInfo(file).absoluteFilePath());
    progress.start("Send", int(item.size()));
    try {
        context.retrying(wanted,
                         [&] { transfer::sendItem(item, where, context.link(), &progress); });
    } catch (...) {
        // The slot is empty now, or the keyboard did not take the item: say so, and where the
        // slot's old item is kept.
        if (!transfer::wantsKeptCopy()) {
            throw;
        }
        progress.finish();
        CommandFailure failure{currentErrorCode(), currentErrorText(context.messages())};
        context.output().error(failure.text);
        if (copy) {
            const QString kept = safety::keptCopyText(*copy, context.store(), context.messages());
            context.output().error(kept);
            failure.text += '\n' + kept;
        }
        return context.failed(failure);
    }
    if (record) {
        record->left(wanted, &item);
        record->commit();
    }
    progress.finish();
    const bool verify = context.options().verify;
    if (verify) {
        progress.start("Verify", int(item.size()));
        context.retrying(wanted,
                         [&] { transfer::checkSent(item, where, context.link(), &progress); });
        progress.finish();
    }
    context.output().setObject({{"slot", wanted.text()},
                                {"file", absolutePath(file)},
                                {"name", transfer::keyboardText(item.name())},
                                {"size", qint64(item.size())},
                                {"verified", verify},
                                {"retried", context.retried()},
                                {"keptCopy", copy ? QJsonValue(qint64(copy->id)) : QJsonValue()}});
    return Success;
}

int remove(CommandContext& context, const QStringList& arguments) {
    const SlotAddress wanted = slotArgument(arguments[0]);
    // The keyboard deletes only songs and user rhythms; its driver would refuse any other slot
    // with the text for an unknown keyboard, which says nothing useful here.
    if (!wanted.canBeEmptied()) {
        throw UsageError("only song and rhythm slots can be deleted ('" + arguments[0] +
                         "' is not one)");
    }
    context.getSlots({wanted});
    const SlotInTree where = context.slotOf(wanted);
    const QString name = transfer::keyboardText(where.slot->name());
    const auto record = context.changeRecord("delete", {wanted.text()});
    const auto copy = context.keepCopy(record.get(), where, safety::Why::Delete, {});
    context.driver().deleteData(*where.slot);
    if (record) {
        record->left(wanted, nullptr);
        record->commit();
    }
    context.output().setObject({{"slot", wanted.text()},
                                {"name", name},
                                {"keptCopy", copy ? QJsonValue(qint64(copy->id)) : QJsonValue()}});
    return Success;
}

}  // namespace cli::commands
