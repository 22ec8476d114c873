// list, show, import, send, delete: the keyboard's slots one by one, and a file's header.

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>

#include "backup/batchjobs.h"
#include "backup/jobitem.h"
#include "commandcontext.h"
#include "commands.h"
#include "data/ekdatadrive.h"
#include "data/ekdatafile.h"
#include "jsonoutput.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/mls850layout.h"
#include "library/libraryindex.h"
#include "library/slotsonpc.h"
#include "lists/itemlist.h"
#include "msg/errortext.h"
#include "ops/keyboardchanges.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbtransfer.h"
#include "syx/syxdump.h"

namespace cli::commands {

namespace {

QString absolutePath(const QString& file) {
    return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

}  // namespace

namespace {

// "On PC" as a list without the items' data can say it: no file of the slot's type and size,
// or some that may hold it ("not checked": `status` fetches the items to know).
QString onPcWord(const library::Index& index, const EkData& slot) {
    switch (library::onPc(index, library::SeenItems(), slot).state) {
        case library::OnPc::Yes:
            return "yes";
        case library::OnPc::No:
            return "no";
        case library::OnPc::NotChecked:
            return "not checked";
        case library::OnPc::Empty:
            break;
    }
    return {};
}

// The keyboard's list as it is printed or shared: every slot of every kind, in the keyboard's
// order, with the words of the tool's text and JSON forms.
lists::ItemList sharedList(EkKbdDrv& driver) {
    const library::Index index;
    lists::ItemList list;
    list.title = QString("%1, %2").arg(transfer::keyboardText(driver.root().name()),
                                       QDateTime::currentDateTime().toString(Qt::ISODate));
    list.headings = QStringList{"Slot", "Name", "Type", "Size", "On PC"};
    list.numberColumns = {3};
    list.language = "en";
    for (const auto& [wanted, where] : allSlots(driver)) {
        const EkData& slot = *where.slot;
        list.rows.push_back({wanted.text(), transfer::keyboardText(slot.name()),
                             slot.isPresent() ? mls850::typeName(slot.type()) : QString(),
                             slot.isPresent() ? QString::number(slot.size()) : QString(),
                             onPcWord(index, slot)});
    }
    return list;
}

}  // namespace

int list(CommandContext& context, const QStringList&) {
    const std::optional<lists::Format> format = context.shareFormat();
    context.getList();
    EkKbdDrv& driver = context.driver();
    if (format) {
        context.output().print(QString::fromUtf8(lists::textOf(sharedList(driver), *format)));
        return Success;
    }
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
    context.progress().start("Import", 0);
    const auto outcomes =
        batch::importSlots(context.link(), chosen.slots, folder, &context.progress(),
                           transfer::FileFormat::Nvb, batch::FileInTheWay::Kept);
    if (chosen.slots.size() == 1 && !chosen.all) {
        // One slot says what a single import says: the new file's path, or why there is none.
        const backup::Outcome& outcome = outcomes.front();
        if (outcome.failed()) {
            return context.fail(outcome.code, context.messages().codedText(*outcome.error));
        }
        context.progress().finish();
        context.output().setObject(jsonoutput::jobOutcomes(folder, {outcome}, context.messages()));
        context.output().line(absolutePath(QDir(folder).filePath(outcome.file)));
        return Success;
    }
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
                                         &context.progress())
                : batch::importSlots(context.link(), chosen.slots, folder, &context.progress(),
                                     transfer::FileFormat::Syx, batch::FileInTheWay::Kept);
    return context.report(outcomes, folder, "not exported");
}

int send(CommandContext& context, const QStringList& arguments) {
    const QString& file = arguments[0];
    const SlotAddress wanted = slotArgument(arguments[1]);
    auto item = std::make_shared<EkDataFile>(DataType::NoType);
    transfer::loadFile(file, *item);
    context.getSlots({wanted});
    return sendOne(
        context,
        [&] {
            return ops::send(context.target(), {{file, wanted, item->size(), item}},
                             context.options().verify)
                .front();
        },
        file, transfer::keyboardText(item->name()), item->size());
}

int sendOne(CommandContext& context, const std::function<backup::Outcome()>& send,
            const QString& file, const QString& name, qint64 size) {
    context.progress().start("Send", 0);
    backup::Outcome outcome;
    try {
        outcome = send();
    } catch (const ops::SongEmptiedByStop& stopped) {
        // Stopped with the song slot empty: where its old song is kept.
        QString text = currentErrorText(context.messages());
        if (stopped.kept()) {
            text +=
                '\n' + safety::keptCopyText(*stopped.kept(), context.store(), context.messages());
        }
        return context.fail(currentErrorCode(), text);
    }
    if (outcome.failed()) {
        // The slot may be empty now, or not show the item: then where its old item is kept.
        return context.fail(outcome.code,
                            ops::failureText(outcome, context.store(), context.messages()));
    }
    context.progress().finish();
    context.output().setObject(
        {{"slot", outcome.slot.text()},
         {"file", absolutePath(file)},
         {"name", name},
         {"size", size},
         {"verified", context.options().verify},
         {"retried", outcome.retried},
         {"keptCopy",
          outcome.keptCopy != 0 ? QJsonValue(qint64(outcome.keptCopy)) : QJsonValue()}});
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
    const QString name = transfer::keyboardText(context.slotOf(wanted).slot->name());
    context.progress().start("Delete", 0);
    const backup::Outcome outcome = ops::remove(context.target(), {wanted}).front();
    if (outcome.failed()) {
        return context.fail(outcome.code,
                            ops::failureText(outcome, context.store(), context.messages()));
    }
    context.progress().finish();
    context.output().setObject(
        {{"slot", wanted.text()},
         {"name", name},
         {"keptCopy",
          outcome.keptCopy != 0 ? QJsonValue(qint64(outcome.keptCopy)) : QJsonValue()}});
    return Success;
}

}  // namespace cli::commands
