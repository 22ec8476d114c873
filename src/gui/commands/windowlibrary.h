#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <memory>

#include "backup/jobtypes.h"
#include "kbddrv/keyboardlink.h"
#include "library/libraryindex.h"
#include "library/slotsonpc.h"
#include "platform/errorcatalog.h"
#include "windowparts.h"

class EkData;
class TLibraryForm;
namespace library {
class BackgroundScan;
class FolderWatch;
class TagStore;
}  // namespace library

// The window's library: the index of the user's keyboard files kept current on a thread of its
// own, the keyboard list's "On PC" column, Check On PC and the Library dialog.
class WindowLibrary : public QObject {
    Q_OBJECT
public:
    WindowLibrary(WindowParts& parts, QObject* parent);
    ~WindowLibrary() override;

    // Its index opened, its first scan started, its folders watched. Without an index the
    // window works on; the column stays empty and the dialog says why.
    void start();
    // Reads the library's folders again on the scan's thread (a scan under way is followed by
    // one more).
    void scan();
    bool isScanning() const;
    // After the preferences changed the library's folders: those left out (of `before`) are
    // dropped.
    void foldersChanged(const QStringList& before);
    // A link to `driver` over these devices whose moved items the "On PC" column notes.
    KeyboardLink link(EkKbdDrv& driver, int inputDevice, int outputDevice);
    // The hash of what the slot holds as last seen; none when not seen (or changed since).
    std::optional<QString> seenHash(const library::SlotView& slot) const;
    // The keyboard was disconnected: what it held is known no more.
    void forgetSeenItems() { seenItems_.clear(); }

    // File > "Check On PC": fetches every item of the keyboard, so that the keyboard list's
    // "On PC" column knows for each whether a file holds that very item.
    void checkOnPc();
    // File > "Library...": the items of the user's files, searched.
    void showDialog();
    // "Tags..." of the PC list: the tags and note of the selected files' items.
    void tagSelectedFiles();
    // File > "Export Tags..." and "Import Tags...": every tag and note to or from a JSON file,
    // to take them to another PC. The file is asked for; a failure is said.
    void askAndExportTags();
    void askAndImportTags();
    bool exportTags(const QString& path);
    bool importTags(const QString& path);
    // "Tags..." of the keyboard list: the tags and note of the selected slots' items (fetched
    // first when the window has not seen them).
    void tagSelectedSlots();

Q_SIGNALS:
    // The user chose "Show File" for this file in the dialog.
    void fileChosen(const QString& path);

private:
    // Check On PC's report: how many of the fetched items the user's files do not hold.
    void reportChecked(const std::vector<backup::Outcome>& outcomes);

    void scanned(const library::ScanSummary& summary);
    library::SlotOnPc slotOnPc(const library::SlotView& slot) const;
    // The dialog for the items of these hashes, then their tags and note changed as the user
    // said.
    void editTags(const QStringList& hashes, const QString& subject);
    // The lists and the dialog show the tags again.
    void tagsChanged();
    // The "Tags" columns' look-ups: a keyboard file's items, a slot's seen item.
    QString tagsOfFile(const QString& path) const;
    QString tagsOfSlot(const library::SlotView& slot) const;
    // The dialog for the items of these slots, which the window has seen (else it says so).
    void tagSeenSlots(const std::vector<SlotAddress>& chosen, const QString& subject);
    // The hashes of the items of these slots the window has seen; none when one is unseen.
    std::optional<QStringList> seenHashes(const std::vector<SlotAddress>& chosen) const;
    // A version a command could not record: said once a session.
    void sayNotRecorded(const platform::CodedText& problem);

    WindowParts& parts_;
    // Read here, written by the scan's thread. Null when it cannot be opened (problem_ says
    // why).
    std::unique_ptr<library::Index> index_;
    QString problem_;
    // What the "Tags" columns read; null when the tags cannot be read (the columns stay empty,
    // Tags... says why).
    std::unique_ptr<library::TagStore> tagLookUp_;
    library::SeenItems seenItems_;
    library::BackgroundScan* scan_ = nullptr;
    library::FolderWatch* watch_ = nullptr;
    QStringList problems_;  // what the last scan could not read
    QPointer<TLibraryForm> form_;
    bool saidNotRecorded_ = false;
};
