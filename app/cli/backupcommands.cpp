// backup, restore, verify: the whole keyboard into a folder and back, and the two compared.

#include <QDateTime>
#include <QDir>
#include <QJsonArray>

#include "backup/keyboardbackup.h"
#include "commandcontext.h"
#include "commands.h"
#include "ops/keyboardchanges.h"
#include "platform/systemerror.h"
#include "safety/history.h"
#include "stream/nvbtransfer.h"

namespace cli::commands {

namespace {

QString folderPath(const QString& folder) {
    return QDir::toNativeSeparators(QDir(folder).absolutePath());
}

// The path of a comparison's file in the backup folder; empty when it names none.
QString comparedFile(const backup::Comparison& comparison, const QString& folder) {
    return comparison.file.isEmpty()
               ? QString()
               : QDir::toNativeSeparators(QDir(folder).absoluteFilePath(comparison.file));
}

QJsonValue orNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QString verdictWord(backup::Verdict verdict) {
    switch (verdict) {
        case backup::Verdict::Identical:
            return "identical";
        case backup::Verdict::Different:
            return "different";
        case backup::Verdict::MissingOnKeyboard:
            return "missing-on-keyboard";
        case backup::Verdict::MissingInFolder:
            return "missing-in-folder";
        case backup::Verdict::NotCompared:
            break;
    }
    return "not-compared";
}

// What a restore does with a slot that stands so against the backup.
QString planWord(const backup::Comparison& comparison, bool exact) {
    switch (comparison.verdict) {
        case backup::Verdict::Identical:
            return "identical";
        case backup::Verdict::Different:
            return "replace";
        case backup::Verdict::MissingOnKeyboard:
            return "fill";
        case backup::Verdict::MissingInFolder:
            // The keyboard's own item, which the backup lacks, stays (an exact restore deletes
            // a song or rhythm); a backup whose file is gone cannot put that slot back.
            if (!comparison.file.isEmpty()) {
                return "file-missing";
            }
            return exact && comparison.slot.canBeEmptied() ? "delete" : "keep";
        case backup::Verdict::NotCompared:
            break;
    }
    return "not-compared";
}

// Every slot against the backup of `folder`.
std::vector<backup::Comparison> compare(CommandContext& context, const backup::Manifest& manifest,
                                        const QString& folder, const char* label) {
    context.getList();
    context.progress().start(label, 0);
    auto comparisons =
        backup::compareWithBackup(context.link(), manifest, folder, &context.progress());
    context.progress().finish();
    return comparisons;
}

// restore --dry-run: what a restore would do with each slot, from a comparison of every slot
// with the backup; the keyboard is not changed.
int restorePlan(CommandContext& context, const backup::Manifest& manifest, const QString& folder) {
    const auto comparisons = compare(context, manifest, folder, "Compare");
    backup::checkRestoreFits(
        context.link().driver, manifest,
        context.options().exact ? backup::Extras::Delete : backup::Extras::Keep);
    CommandOutput& output = context.output();
    QJsonArray items;
    QString lastError;
    for (const backup::Comparison& comparison : comparisons) {
        const QString plan = planWord(comparison, context.options().exact);
        const QString path = comparedFile(comparison, folder);
        items.append(QJsonObject{
            {"slot", comparison.slot.text()},
            {"plan", plan},
            {"file", orNull(path)},
            {"error", orNull(backup::reasonText(comparison.error, context.messages()))}});
        output.line(comparison.slot.text() + ' ' + plan + (path.isEmpty() ? "" : ' ' + path));
        if (plan == "not-compared" || plan == "file-missing") {
            lastError =
                !comparison.error
                    ? QString("The backup's file for %1 is missing.").arg(comparison.slot.text())
                    : backup::reasonText(comparison.error, context.messages());
            output.error("nvbman-cli: " + comparison.slot.text() +
                         " cannot be restored: " + lastError);
        }
    }
    output.setObject({{"folder", folderPath(folder)}, {"items", items}});
    return lastError.isEmpty() ? Success : context.fail("items-failed", lastError);
}

// The copies a restore kept since `started`, when it stopped midway.
void sayKeptSince(CommandContext& context, const QDateTime& started) {
    QStringList ids;
    for (const safety::Copy& copy : ops::copiesKeptSince(context.store(), started)) {
        ids << QString::number(copy.id);
    }
    if (!ids.isEmpty()) {
        context.progress().finish();
        context.output().error(
            QString("nvbman-cli: the restore stopped; what it had replaced is kept as %1 %2 "
                    "(nvbman-cli put-back ID).")
                .arg(ids.size() == 1 ? "copy" : "copies", ids.join(", ")));
    }
}

}  // namespace

// Every present slot into its own file and the manifest; restore puts them back. A slot that
// fails is reported and the others go on; the last failure's text ends the output.
int backup(CommandContext& context, const QStringList& arguments) {
    const QString& folder = arguments[0];
    transfer::makeFolder(folder);
    context.getList();
    context.progress().start("Backup", 0);
    const auto outcomes = backup::backupKeyboard(
        context.link(), folder, &context.progress(),
        context.options().replace ? backup::OldBackup::Replace : backup::OldBackup::Refuse);
    return context.report(outcomes, folder, "not saved");
}

int restore(CommandContext& context, const QStringList& arguments) {
    if (!context.options().asOf.isEmpty()) {
        if (!arguments.isEmpty()) {
            throw UsageError("restore takes DIR or --as-of WHEN, not both");
        }
        return restoreAsOf(context);
    }
    if (arguments.isEmpty()) {
        throw UsageError("missing argument");
    }
    const QString& folder = arguments[0];
    return restoreFolder(context, backup::Manifest::read(folder), folder);
}

int restoreFolder(CommandContext& context, const backup::Manifest& manifest,
                  const QString& folder) {
    if (context.options().dryRun) {
        return restorePlan(context, manifest, folder);
    }
    context.getList();
    context.progress().start("Restore", 0);
    const QDateTime started = QDateTime::currentDateTimeUtc();
    std::vector<backup::Outcome> outcomes;
    try {
        outcomes =
            ops::restore(context.target(), manifest, folder,
                         context.options().exact ? backup::Extras::Delete : backup::Extras::Keep);
    } catch (...) {
        // Stopped: say where what it had replaced already is.
        sayKeptSince(context, started);
        throw;
    }
    const int status = context.report(outcomes, folder, "not restored");
    const backup::JobSummary summary(outcomes);
    if (!context.output().json() && (summary.identical > 0 || summary.kept > 0)) {
        context.output().error(QString("nvbman-cli: not sent, the same already: %1 slots; kept "
                                       "before being replaced: %2 items (see: nvbman-cli "
                                       "replaced).")
                                   .arg(summary.identical)
                                   .arg(summary.kept));
    }
    return status;
}

int verify(CommandContext& context, const QStringList& arguments) {
    const QString& folder = arguments[0];
    const backup::Manifest manifest = backup::Manifest::read(folder);
    const auto comparisons = compare(context, manifest, folder, "Verify");
    CommandOutput& output = context.output();
    int differing = 0;
    QString lastError;
    QStringList retried;
    QJsonArray items;
    for (const backup::Comparison& comparison : comparisons) {
        if (comparison.retried) {
            retried << comparison.slot.text();
        }
        const QString path = comparedFile(comparison, folder);
        const QString verdict = verdictWord(comparison.verdict);
        items.append(
            QJsonObject{{"slot", comparison.slot.text()},
                        {"verdict", verdict},
                        {"file", orNull(path)},
                        {"error", orNull(backup::reasonText(comparison.error, context.messages()))},
                        {"retried", comparison.retried}});
        output.line(comparison.slot.text() + ' ' + verdict + (path.isEmpty() ? "" : ' ' + path));
        if (comparison.verdict != backup::Verdict::Identical) {
            ++differing;
        }
        if (comparison.error) {
            lastError = backup::reasonText(comparison.error, context.messages());
            output.error("nvbman-cli: " + comparison.slot.text() + " not compared: " + lastError);
        }
    }
    output.setObject({{"folder", folderPath(folder)}, {"items", items}});
    if (!retried.isEmpty()) {
        output.error("nvbman-cli: " + context.messages().retriedText(retried.join(", ")));
    }
    if (differing == 0) {
        return Success;
    }
    return context.fail("different", lastError.isEmpty()
                                         ? QString("%1 of %2 slots differ from the backup.")
                                               .arg(differing)
                                               .arg(comparisons.size())
                                         : lastError);
}

}  // namespace cli::commands
