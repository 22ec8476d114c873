#include "keyboardjobs.h"

#include <QDateTime>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <memory>

#include "commandframe.h"
#include "editcommands.h"
#include "msg/errortext.h"
#include "ops/keyboardchanges.h"
#include "outcomereport.h"
#include "panes/kbdpane.h"
#include "panes/pcpane.h"
#include "platform/settingsstore.h"
#include "progress/pbarobservers.h"

void KeyboardJobs::backUp(const QString& folder, backup::OldBackup oldBackup) {
    runKeyboardJob(oldBackup == backup::OldBackup::Replace ? KeyboardJob::ReplacingBackup
                                                           : KeyboardJob::Backup,
                   folder);
}

void KeyboardJobs::restore(const QString& folder) {
    runKeyboardJob(KeyboardJob::Restore, folder);
}

std::optional<backup::Manifest> KeyboardJobs::readBackup(const QString& folder) {
    try {
        return backup::Manifest::read(folder);
    } catch (...) {
        parts_.showError(currentErrorText(parts_.messages));
        return std::nullopt;
    }
}

void KeyboardJobs::compareWithBackup(const QString& folder) {
    const std::optional<backup::Manifest> manifest = readBackup(folder);
    if (!manifest) {
        return;
    }
    compare(*manifest, folder, Purpose::Compare, [this](const Comparisons& comparisons) {
        QStringList differing;
        for (const backup::Comparison& comparison : comparisons) {
            if (comparison.verdict == backup::Verdict::Identical) {
                continue;
            }
            QString line = comparison.slot.text() + ": " +
                           parts_.messages.verdictText(static_cast<int>(comparison.verdict));
            if (!comparison.file.isEmpty()) {
                line += " (" + comparison.file + ")";
            }
            if (comparison.error) {
                line += " " + parts_.messages.codedText(*comparison.error);
            }
            differing << line;
        }
        if (differing.isEmpty()) {
            parts_.status.setText(parts_.messages.compareSameText(int(comparisons.size())));
            QMessageBox::information(&parts_.window, parts_.title(),
                                     parts_.messages.compareSameText(int(comparisons.size())));
            return;
        }
        const QString heading =
            parts_.messages.compareDifferHeading(int(differing.size()), int(comparisons.size()));
        parts_.status.setText(heading.chopped(1));
        QMessageBox::warning(&parts_.window, parts_.title(), heading + '\n' + differing.join('\n'));
    });
}

void KeyboardJobs::compare(const backup::Manifest& manifest, const QString& folder,
                           Purpose purpose, Compared compared) {
    auto comparisons = std::make_shared<Comparisons>();
    parts_.frame.run(
        MsgStr::Receive,
        [this, manifest, folder, comparisons, purpose] {
            parts_.listKeyboard();
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(MsgStr::Receive));
            *comparisons = backup::compareWithBackup(parts_.link(), manifest, folder, &progress);
            // A restore that cannot fit is refused before the user is asked.
            if (purpose == Purpose::Restore) {
                backup::checkRestoreFits(parts_.link().driver, manifest, backup::Extras::Keep);
            }
        },
        [comparisons, compared = std::move(compared)](bool succeeded) {
            if (succeeded) {
                compared(*comparisons);
            }
        });
}

void KeyboardJobs::planRestore(const backup::Manifest& manifest, const QString& folder,
                               Compared approved) {
    compare(manifest, folder, Purpose::Restore,
            [this, manifest, folder, approved](const Comparisons& comparisons) {
        int replaced = 0;
        int filled = 0;
        int identical = 0;
        QStringList lines;
        for (const backup::Comparison& comparison : comparisons) {
            replaced += comparison.verdict == backup::Verdict::Different ? 1 : 0;
            filled += comparison.verdict == backup::Verdict::MissingOnKeyboard ? 1 : 0;
            identical += comparison.verdict == backup::Verdict::Identical ? 1 : 0;
            lines << QString("%1  %2: %3")
                         .arg(comparison.slot.text(), comparison.file,
                              parts_.messages.restorePlanText(int(comparison.verdict)));
        }
        if (replaced + filled == 0 && identical == int(comparisons.size())) {
            // Nothing to send: the keyboard holds the backup already.
            parts_.status.setText(parts_.messages.compareSameText(identical));
            QMessageBox::information(&parts_.window, parts_.title(),
                                     parts_.messages.compareSameText(identical));
            return;
        }
        QMessageBox question(QMessageBox::Question, parts_.title(),
                             parts_.messages.restoreQuestion(int(manifest.entries.size()),
                                                             QDir::toNativeSeparators(folder),
                                                             parts_.settings.keepCopies) +
                                 "\n\n" +
                                 parts_.messages.restorePlanSummary(replaced, filled, identical),
                             QMessageBox::Yes | QMessageBox::No, &parts_.window);
        question.setDetailedText(lines.join('\n'));
        if (question.exec() == QMessageBox::Yes) {
            approved(comparisons);
        }
    });
}

void KeyboardJobs::runKeyboardJob(KeyboardJob job, const QString& folder) {
    if (job != KeyboardJob::Restore) {
        runJob(job, folder, std::nullopt, std::nullopt);
        return;
    }
    const std::optional<backup::Manifest> manifest = readBackup(folder);
    if (!manifest) {
        return;
    }
    planRestore(*manifest, folder, [this, job, folder, manifest](const Comparisons& plan) {
        runJob(job, folder, manifest, plan);
    });
}

void KeyboardJobs::runJob(KeyboardJob job, const QString& folder,
                          const std::optional<backup::Manifest>& manifest,
                          const std::optional<Comparisons>& plan) {
    const bool restore = job == KeyboardJob::Restore;
    // A backup receives every item from the keyboard, a restore sends them.
    const MsgStr::Command command = restore ? MsgStr::Send : MsgStr::Receive;
    auto outcomes = std::make_shared<std::vector<backup::Outcome>>();
    const QDateTime started = QDateTime::currentDateTimeUtc();
    parts_.frame.run(
        command,
        [this, job, restore, command, folder, manifest, plan, outcomes] {
            parts_.listKeyboard();
            WindowJobProgress progress(&parts_.bar, &parts_.status,
                                       parts_.messages.statusText(command));
            if (restore) {
                *outcomes = ops::restore(parts_.target(&progress), *manifest, folder,
                                         backup::Extras::Keep, &*plan);
            } else {
                *outcomes = backup::backupKeyboard(parts_.link(), folder, &progress,
                                                   job == KeyboardJob::ReplacingBackup
                                                       ? backup::OldBackup::Replace
                                                       : backup::OldBackup::Refuse);
            }
        },
        [this, restore, started, outcomes](bool succeeded) {
            if (!succeeded) {
                if (restore) {
                    offerWhatAStoppedRestoreKept(started);
                }
                return;
            }
            // The PC pane shows the files of a backup (the keyboard pane shows the keyboard
            // after every command).
            parts_.pc.refresh();
            const backup::JobSummary done(*outcomes);
            QString summary = parts_.messages.jobDoneText(restore, done.done);
            if (restore) {
                summary += " (" + parts_.messages.restoreDetail(done.identical, done.kept) + ")";
            }
            outcomereport::reportOutcomes(parts_, summary,
                                          parts_.messages.jobFailedHeading(restore), *outcomes);
            if (restore && done.failed > 0) {
                offerWhatAStoppedRestoreKept(started);
            }
        });
}

void KeyboardJobs::offerWhatAStoppedRestoreKept(const QDateTime& started) {
    const auto kept = int(ops::copiesKeptSince(parts_.store, started).size());
    // The stopped restore is the newest change: its undo puts back what it replaced.
    if (kept > 0 &&
        QMessageBox::question(&parts_.window, parts_.title(),
                              parts_.messages.stoppedRestoreQuestion(kept)) == QMessageBox::Yes) {
        edits_.takeBackLatest(true);
    }
}
