// list, show, import, send, delete: the keyboard's slots one by one, and a file's header.

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include "backup/batchjobs.h"
#include "backup/history.h"
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
    context.retrying(
        wanted, [&] { path = transfer::importSlot(where, folder, context.link(), &progress); });
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

int show(CommandContext& context, const QStringList& arguments) {
    const QString& file = arguments[0];
    EkDataFile item(DataType::NoType);
    NvbFileStream(file, NvbFileStream::OpenRead).read(item);
    const QString name = transfer::keyboardText(item.name());
    const QString typeName = mls850::typeName(item.type());
    CommandOutput& output = context.output();
    output.setObject({{"file", absolutePath(file)},
                      {"type", item.type()},
                      {"typeName", typeName},
                      {"size", qint64(item.size())},
                      {"name", name}});
    output.line(QString("type: %1 (%2)").arg(item.type()).arg(typeName));
    output.line(QString("size: %1").arg(item.size()));
    output.line("name: \"" + printable(name) + "\"");
    return Success;
}

// import SLOT [SLOT...] [DIR] and import all [DIR]. One slot keeps the single import's output
// (the file's path); several, or all, print "SLOT PATH" per saved file.
int importSlots(CommandContext& context, const QStringList& arguments) {
    QStringList args = arguments;
    QString folder = QDir::currentPath();
    const bool all = args[0] == "all";
    if (all) {
        if (args.size() > 2) {
            throw UsageError("unexpected argument '" + args[2] + "'");
        }
        folder = args.value(1, folder);
    } else if (args.size() > 1 && !looksLikeSlot(args.last())) {
        folder = args.takeLast();
    }
    std::vector<SlotAddress> wanted;
    for (const QString& text : all ? QStringList() : args) {
        const SlotAddress slot = slotArgument(text);
        if (std::find(wanted.begin(), wanted.end(), slot) != wanted.end()) {
            throw UsageError("slot '" + text + "' is given twice");
        }
        wanted.push_back(slot);
    }
    transfer::requireFolder(folder);
    if (all) {
        context.getList();
        for (const auto& [address, where] : allSlots(context.driver())) {
            if (where.slot->isPresent()) {
                wanted.push_back(address);
            }
        }
    } else {
        context.getSlots(wanted);
    }
    if (wanted.size() == 1 && !all) {
        const QString path = fetch(context, wanted.front(), folder);
        backup::Outcome outcome{wanted.front(), QFileInfo(path).fileName()};
        outcome.retried = context.retried();
        context.output().setObject(jsonoutput::jobOutcomes(folder, {outcome}));
        context.output().line(QDir::toNativeSeparators(path));
        return Success;
    }
    context.progress().start("Import", 0);
    const auto outcomes =
        batch::importSlots(context.link(), wanted, folder, context.messages(), &context.progress());
    return context.report(outcomes, folder, "not imported");
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
    } catch (const transfer::SongSlotEmptied&) {
        // The slot is empty now: say so, and where its old song is kept.
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
