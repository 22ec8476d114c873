#pragma once

#include <QObject>
#include <memory>
#include <optional>

#include "kbddrv/slotaddress.h"
#include "windowparts.h"

class KeyboardJobs;
class WindowLibrary;
namespace versions {
class Store;
struct Version;
}  // namespace versions

// The window's view of the keyboard's past: a slot's versions ("Versions..." of the keyboard
// list, which sends one back), the keyboard as of a date (File > "Restore Keyboard As Of...",
// through Restore Keyboard's preview and job) and what changed since a date (File > "What
// Changed..."). The versions are read on the window's thread; what they put back goes through
// the command frame like every change.
class WindowVersions : public QObject {
    Q_OBJECT
public:
    WindowVersions(WindowParts& parts, KeyboardJobs& jobs, const WindowLibrary& library,
                   QObject* parent);

    void showVersionsOfSelectedSlot();
    // "Versions..." of the PC list: where and when the selected file's item was on a keyboard.
    void showVersionsOfSelectedFile();
    void showVersions(const SlotAddress& slot);
    void askAndRestoreAsOf();
    // Writes the keyboard as of `when` as a backup and offers its restore; false when nothing
    // could be (said).
    bool restoreAsOf(const QDateTime& when);
    void showWhatChanged();
    // What the keyboard's past takes on disk, as the Preference dialog says it.
    QString sizeText() const;
    // Forgets the versions older than the preference says (none when it keeps them for ever).
    void pruneAsPreferred();
    // Puts the version back into its slot as one change.
    void sendVersion(const versions::Version& version);

private:
    // The versions, the past from before them taken in the first time; null when they cannot
    // be read (said).
    std::unique_ptr<versions::Store> openStore();
    QString keyboard() const;

    WindowParts& parts_;
    KeyboardJobs& jobs_;
    const WindowLibrary& library_;
};
