#pragma once

#include <QCoreApplication>
#include <functional>
#include <optional>
#include <vector>

#include "backup/keyboardbackup.h"
#include "windowparts.h"

class EditCommands;
class QDateTime;

// The window's jobs over the whole keyboard: a backup into a folder, a restore from one (its
// plan shown and asked about first), a comparison with a backup. Each lists the keyboard
// first, runs under one progress in the command frame and reports once.
class KeyboardJobs {
    Q_DECLARE_TR_FUNCTIONS(TPcLinkForm)
public:
    // `edits` takes a stopped restore back when the user asks.
    KeyboardJobs(WindowParts& parts, EditCommands& edits) : parts_(parts), edits_(edits) {}

    // A folder that holds a backup already is refused unless `oldBackup` is Replace.
    void backUp(const QString& folder, backup::OldBackup oldBackup = backup::OldBackup::Refuse);
    void restore(const QString& folder);
    // Fetches every slot and says how the keyboard stands against the backup in `folder`.
    void compareWithBackup(const QString& folder);

private:
    enum class KeyboardJob { Backup, ReplacingBackup, Restore };
    using Comparisons = std::vector<backup::Comparison>;
    using Compared = std::function<void(const Comparisons&)>;
    // The backup's manifest in `folder`; none when it cannot be read (said in a box).
    std::optional<backup::Manifest> readBackup(const QString& folder);
    // Reads the backup of a restore, plans it and asks; then runs the job.
    void runKeyboardJob(KeyboardJob job, const QString& folder);
    void runJob(KeyboardJob job, const QString& folder,
                const std::optional<backup::Manifest>& manifest,
                const std::optional<Comparisons>& plan);
    // Lists the keyboard and compares every slot with the backup, in the command frame; then
    // `compared` runs, unless that failed (said) or was stopped.
    // What the body checks after the comparison: nothing, or that a restore fits the keyboard.
    enum class Purpose { Compare, Restore };
    void compare(const backup::Manifest& manifest, const QString& folder, Purpose purpose,
                 Compared compared);
    // Before a restore: every slot compared with the backup, the plan shown (what is replaced,
    // filled or the same already, slot by slot in the details) and the user asked. `approved`
    // runs with the comparison when the user says yes; not when the keyboard holds the backup
    // already.
    void planRestore(const backup::Manifest& manifest, const QString& folder, Compared approved);
    // After a restore that failed or was stopped: what it replaced since `started` is kept;
    // offers to take the restore back.
    void offerWhatAStoppedRestoreKept(const QDateTime& started);

    WindowParts& parts_;
    EditCommands& edits_;
};
