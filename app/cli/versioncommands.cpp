// versions, changes, restore --as-of: the keyboard's past, as the program has seen it.

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QTemporaryDir>

#include "commandcontext.h"
#include "commands.h"
#include "library/libraryindex.h"
#include "platform/settingsstore.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"
#include "versions/asof.h"
#include "versions/pastintake.h"
#include "versions/versionstore.h"

namespace cli::commands {

namespace {

// A time as the user reads it: local, to the second.
QString localTime(const QDateTime& time) {
    return time.toLocalTime().toString(Qt::ISODate);
}

QJsonObject versionJson(const versions::Version& version) {
    return {{"id", qint64(version.id)},
            {"slot", version.slot.text()},
            {"at", version.at.toString(Qt::ISODateWithMs)},
            {"name", version.holdsItem() ? QJsonValue(version.name) : QJsonValue()},
            {"size", qint64(version.size)},
            {"sha256", version.holdsItem() ? QJsonValue(version.sha256) : QJsonValue()},
            {"how", versions::howText(version.how)},
            {"source", version.source},
            {"confirmed", version.confirmed}};
}

QString versionLine(const versions::Version& version) {
    return QString("%1 %2 %3 %4 %5 %6")
        .arg(version.id, -5)
        .arg(localTime(version.at), -19)
        .arg(version.holdsItem() ? "\"" + printable(version.name) + "\"" : QString("-"), -10)
        .arg(version.size, 6)
        .arg(versions::howText(version.how), -7)
        .arg(printable(version.source));
}

// The versions, with the past from before they were kept taken in the first time: the kept
// copies and the backups in the library's folders.
std::unique_ptr<versions::Store> openVersions(CommandContext& context) {
    auto store = std::make_unique<versions::Store>();
    QStringList folders;
    try {
        folders = library::Index().foldersWith(
            platform::SettingsStore().loadOrDefaults().foldersOfLibrary());
    } catch (const platform::SystemError&) {
        // No library: the kept copies are taken in all the same.
    }
    const versions::Intake intake =
        versions::takeInThePast(*store, context.store(), folders, context.messages());
    for (const QString& problem : intake.problems) {
        context.output().error("nvbman-cli: not taken into the keyboard's past: " + problem);
    }
    if (intake.keptCopies + intake.backups > 0) {
        context.output().error(
            QString("nvbman-cli: the keyboard's past now holds %1 kept copies and %2 items of %3 "
                    "backups.")
                .arg(intake.keptCopies)
                .arg(intake.items)
                .arg(intake.backups));
    }
    return store;
}

}  // namespace

int versions(CommandContext& context, const QStringList& arguments) {
    if (context.options().prune) {
        if (!arguments.isEmpty()) {
            throw UsageError("versions --prune takes no SLOT");
        }
        bool isNumber = false;
        const int days = context.options().olderThan.toInt(&isNumber);
        if (!isNumber || days < 0) {
            throw UsageError("--prune needs --older-than DAYS (a number of days)");
        }
        versions::Store store;
        const versions::Store::Pruned pruned =
            store.prune(QDateTime::currentDateTimeUtc().addDays(-days));
        context.output().setObject({{"versions", pruned.versions},
                                    {"items", pruned.items},
                                    {"bytes", qint64(pruned.bytes)},
                                    {"itemBytes", qint64(store.itemBytes())}});
        context.output().line(QString("%1 versions and %2 items (%3 bytes) forgotten; the items "
                                      "kept take %4 bytes")
                                  .arg(pruned.versions)
                                  .arg(pruned.items)
                                  .arg(pruned.bytes)
                                  .arg(store.itemBytes()));
        return Success;
    }
    if (arguments.isEmpty()) {
        throw UsageError("missing argument");
    }
    if (!looksLikeSlot(arguments[0])) {
        // A keyboard file: where and when its item was on a keyboard, any keyboard.
        const QStringList hashes = library::Index::hashesOf(arguments[0]);
        const auto store = openVersions(context);
        QJsonArray items;
        for (const QString& sha256 : hashes) {
            for (const versions::Version& version : store->ofItem(sha256)) {
                QJsonObject json = versionJson(version);
                json["keyboard"] = version.keyboard;
                items.append(json);
                context.output().line(version.slot.text().leftJustified(9) + ' ' +
                                      versionLine(version));
            }
        }
        context.output().setObject(
            {{"file", QDir::toNativeSeparators(QFileInfo(arguments[0]).absoluteFilePath())},
             {"versions", items}});
        return Success;
    }
    const SlotAddress slot = slotArgument(arguments[0]);
    context.takeKeyboard();
    const auto store = openVersions(context);
    const std::vector<versions::Version> found = store->ofSlot(context.keyboard(), slot);
    QJsonArray items;
    for (const versions::Version& version : found) {
        items.append(versionJson(version));
        context.output().line(versionLine(version));
    }
    context.output().setObject(
        {{"keyboard", context.keyboard()}, {"slot", slot.text()}, {"versions", items}});
    return Success;
}

int changes(CommandContext& context, const QStringList&) {
    context.takeKeyboard();
    const auto owned = openVersions(context);
    const versions::Store& store = *owned;
    const QString keyboard = context.keyboard();
    QDateTime since;
    if (!context.options().since.isEmpty()) {
        since = versions::timeNamed(context.options().since);
    } else {
        since = versions::lastBackupTime(store, keyboard);
        if (!since.isValid()) {
            throw UsageError("no backup of this keyboard is known: say --since WHEN");
        }
    }
    const QDateTime until = context.options().until.isEmpty()
                                ? QDateTime::currentDateTimeUtc()
                                : versions::timeNamed(context.options().until);
    QJsonArray items;
    for (const versions::SlotChangeSince& change :
         versions::changesBetween(store, keyboard, since, until)) {
        const QString word = versions::changeText(change.change);
        const QString name = change.after.holdsItem()
                                 ? change.after.name
                                 : (change.before ? change.before->name : QString());
        items.append(QJsonObject{
            {"slot", change.slot.text()},
            {"change", word},
            {"before", change.before ? QJsonValue(versionJson(*change.before)) : QJsonValue()},
            {"after", versionJson(change.after)}});
        context.output().line(QString("%1 %2 %3")
                                  .arg(change.slot.text(), -9)
                                  .arg(word, -8)
                                  .arg("\"" + printable(name) + "\""));
    }
    context.output().setObject({{"keyboard", keyboard},
                                {"since", since.toString(Qt::ISODateWithMs)},
                                {"until", until.toString(Qt::ISODateWithMs)},
                                {"changes", items}});
    return Success;
}

// The items of the time asked for are written as a backup (a temporary one for a dry run, one
// kept in the versions' folder otherwise, so that what was sent stays where the output says),
// which the restore then takes as any other.
int restoreAsOf(CommandContext& context) {
    const QDateTime when = versions::timeNamed(context.options().asOf);
    context.setSource("restore --as-of " + context.options().asOf);
    context.takeKeyboard();
    const auto owned = openVersions(context);
    const versions::Store& store = *owned;
    std::optional<QTemporaryDir> scratch;
    QString folder;
    if (context.options().dryRun) {
        scratch.emplace();
        folder = scratch->path();
    } else {
        folder = QDir(store.folder())
                     .filePath("as-of/" + when.toLocalTime().toString("yyyyMMdd-HHmmss") + '-' +
                               QDateTime::currentDateTime().toString("yyyyMMddHHmmsszzz"));
        transfer::makeFolder(folder);
    }
    const versions::AsOfBackup asOf = versions::writeAsOf(store, context.keyboard(), when, folder);
    for (const versions::Version& empty : asOf.emptyThen) {
        context.output().error("nvbman-cli: " + empty.slot.text() +
                               " was empty then; it is left as it is.");
    }
    for (const auto& [version, problem] : asOf.unusable) {
        context.output().error("nvbman-cli: " + version.slot.text() +
                               " cannot be put back: " + context.messages().codedText(problem));
    }
    const int status = restoreFolder(context, asOf.manifest, folder);
    if (!asOf.unusable.empty() && status == Success) {
        return context.fail("items-failed",
                            context.messages().codedText(asOf.unusable.back().second));
    }
    return status;
}

}  // namespace cli::commands
