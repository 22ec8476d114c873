#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"
#include "keyboardbackup.h"
#include "stream/nvbtransfer.h"
#include "syx/syxdump.h"

class EkDataFile;
namespace safety {
class ChangeRecord;
}

// Several items in one job, for the window's multi-selection and the command-line tool's
// "import SLOT SLOT..." and "import all": one progress over all items, an outcome per item (the
// others go on after one fails), a cancel stops the whole job. They run after a list fetch (or
// EkKbdDrv::getSlots of their slots), like the single-item commands.
namespace batch {

// What an import does with a file of the folder that has the name its item's file would get:
// the window replaces it, as its Import always has; the command-line tool, whose files are
// new ones, writes its file under the next free name. A symbolic link is never written through.
enum class FileInTheWay { Replaced, Kept };

// Imports each slot into a new file of its own in `folder`, named as an import names it (two of
// the job with one name get " (2)", " (3)" before ".nvb"; a file of that name already in the
// folder as `inTheWay` says). An empty slot's outcome says so. With `format` Syx each file is
// the item's dump (".syx").
std::vector<backup::Outcome> importSlots(const KeyboardLink& link,
                                         const std::vector<SlotAddress>& slots,
                                         const QString& folder, backup::JobProgress* progress,
                                         transfer::FileFormat format = transfer::FileFormat::Nvb,
                                         FileInTheWay inTheWay = FileInTheWay::Replaced);

// Fetches each slot that holds data and keeps nothing: for a caller that wants to know what the
// slots hold, which the link's itemSeen hears item by item (the files that hold the keyboard's
// items). The empty slots are passed over without an outcome.
std::vector<backup::Outcome> fetchSlots(const KeyboardLink& link,
                                        const std::vector<SlotAddress>& slots,
                                        backup::JobProgress* progress);

// Fetches each slot and writes their dumps, one after another, into the one file `path`
// (replacing a file of that name in one step, once every item has been fetched). Each
// outcome names that file; when an item fails the others still go into it; when none could be
// fetched nothing is written.
std::vector<backup::Outcome> exportToOneDump(const KeyboardLink& link,
                                             const std::vector<SlotAddress>& slots,
                                             const QString& path, backup::JobProgress* progress);

// Writes each whole item of a dump into a ".nvb" file of its own in `folder` (named as an
// import of its slot names it); each item that could not be used gets an outcome with the
// reason (and no slot when its address named none). Returns once the files are on the disk;
// throws platform::FileError when the system cannot say so.
std::vector<backup::Outcome> convertDump(const syx::DumpContents& dump, const QString& folder);

// Deletes each song or user rhythm, after keeping a copy of it in `record` (none when null). A
// copy that cannot be made leaves that item on the keyboard.
std::vector<backup::Outcome> deleteSlots(const KeyboardLink& link,
                                         const std::vector<SlotAddress>& slots,
                                         safety::ChangeRecord* record,
                                         backup::JobProgress* progress);

// A file and the slot it goes into, with the item read from it: what is sent is what was
// checked when it was placed.
struct Placement {
    QString file;
    SlotAddress slot;
    std::uint32_t size = 0;  // the item's data bytes: what its send moves
    std::shared_ptr<EkDataFile> item;
};

// Places `files`, in their order, into consecutive slots of the folder that holds `first`,
// starting there. Reads each file once: its placement holds the item. Throws OperateException
// DoesNotFit when they run past the folder's last slot (or there are none) and WrongType when a
// file's type is not the folder's (a single file: the file stream's TypeMismatch), before anything
// is sent; a file that is no
// ".nvb" file throws the file stream's error.
std::vector<Placement> placeFiles(EkKbdDrv& driver, const QStringList& files,
                                  const SlotAddress& first);

// Sends each placed file into its slot, keeping a copy of what it replaces in `record` (none
// when null) and, with `verify`, fetching the slot again to compare. Each outcome names the copy
// kept of what its slot held; a song slot emptied by a failed send says so (`emptied`). A stop
// (the user's cancel) during a song's send goes on as transfer::SongSlotEmptied; the record
// knows where the old song is kept.
std::vector<backup::Outcome> sendFiles(const KeyboardLink& link,
                                       const std::vector<Placement>& placements,
                                       safety::ChangeRecord* record, bool verify,
                                       backup::JobProgress* progress);

}  // namespace batch
