#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <functional>

#include "safety/safetystore.h"
#include "stream/nvbtransfer.h"
#include "windowparts.h"

// The window's transfers between the panes: Send of the PC list's files (or files dropped from
// another program) into the keyboard's slots, Import and Export of the selected slots into
// files, Delete, and the kept copies put back. Each runs in the command frame over the
// operations layer; one row fails as its transfer failed, several report afterwards.
class TransferCommands {
    // Its texts have always been the window's.
    Q_DECLARE_TR_FUNCTIONS(TPcLinkForm)
public:
    explicit TransferCommands(WindowParts& parts) : parts_(parts) {}

    // Import: the selected slots into the PC list's folder, as ".nvb" files.
    void importSelectedSlots();
    // File > Export As .syx...: the selected slots into `folder` as ".syx" dumps.
    void exportSelectedSlots(const QString& folder);
    void deleteSelectedSlots();
    void sendSelectedFiles();
    // Sends `files` into consecutive slots from the selected keyboard row (a drop of files
    // from another program, or the PC list's selection).
    void sendFiles(const QStringList& files, bool folderAmongThem = false);
    // ".nvb" files dropped from another program onto the PC list: copied into the shown folder,
    // asking before a file of the same name is replaced.
    void copyFilesHere(const QStringList& files);

    // File > "Replaced Items...": the kept copies, with Put Back.
    void showReplacedItems();
    // Sends a kept copy back into its slot (after a fresh list), in the command frame; once it
    // has succeeded, `afterwards` runs.
    void putBack(const safety::Copy& copy, const std::function<void()>& afterwards = {});

private:
    // Import and Export: the selected slots into `folder` (none: the PC list's folder), as files
    // of `format`.
    void transferSelectedSlots(transfer::FileFormat format, const QString& folder);
    // After a failed send emptied a song slot whose song was kept: says where, offers it back.
    void offerPutBack(const safety::Copy& copy);

    WindowParts& parts_;
};
