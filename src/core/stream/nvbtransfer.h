#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

#include "kbddrv/keyboardlink.h"
#include "kbddrv/slotaddress.h"
#include "syx/syxdump.h"

class EkData;
class EkDataFile;
class NvbStreamObserver;

// Moving one item between a ".nvb" file and a keyboard slot: the bodies of Send and Import,
// shared by the window and the command-line tool.
namespace transfer {

// An item's name (or any text) as the keyboard holds it, one byte per character (Latin-1), as a
// QString; the bytes are taken as they are, trailing spaces included.
QString keyboardText(const std::string& text);

// A file name safe on every file system: each character that a path or a file system gives a
// meaning to ('/', '\', ':', '*', '?', '"', '<', '>', '|') and each control character becomes
// '_'; every other character, trailing spaces included, stays as it is.
QString safeFileName(const QString& name);

// The kinds of file an item is imported into: a ".nvb" file, or a ".syx" dump (the System
// Exclusive messages the keyboard sends for it, which every generic SysEx tool reads).
enum class FileFormat { Nvb, Syx };

// The name an imported item's file gets: the type's prefix ("TON_", "DSP_", "REG_", "SNG_",
// "RHY_"), the item's name as the keyboard gave it, and ".nvb" (or ".syx"), made safe, so the
// file always lands in the chosen folder under a legal name.
QString importFileName(std::uint16_t type, const std::string& name,
                       FileFormat format = FileFormat::Nvb);

// Reads a ".nvb" file's item: its header, size and data, and the name from its place. Errors are
// the file stream's (not a ".nvb" file, unreadable, larger than any keyboard item). A ".syx"
// file gives the one whole item of its dump; one that holds none or several is refused
// (platform::SystemError: DumpHasNoItems, DumpItemUnusable with the first reason, or
// DumpSeveralItems).
void loadFile(const QString& filePath, EkDataFile& item);

// The items of the ".syx" file at `filePath`: at least one, or platform::SystemError as
// loadFile refuses a dump without any (DumpItemUnusable with the first reason, DumpHasNoItems).
syx::DumpContents readDumpWithItems(const QString& filePath);

// Reads a ".nvb" file that must be a regular file of its own (never a symbolic link, a FIFO or
// a device) into `item`, and returns the SHA-256 (lowercase hex) of exactly the bytes the item
// was read from: a check of that hash is a check of what will be sent. Errors as loadFile's.
QString loadPlainFile(const QString& filePath, EkDataFile& item);

// A send into a song slot deletes the slot's old song before the first block goes. When the
// send then fails or is stopped, sendItem throws this in place of the failure, so that every
// caller tells the user the slot is empty now. `cause` is the failure itself (a
// platform::Cancelled when the user stopped the send).
class SongSlotEmptied {
public:
    SongSlotEmptied(std::exception_ptr cause, bool cancelled)
        : cause_(std::move(cause)), cancelled_(cancelled) {}
    const std::exception_ptr& cause() const { return cause_; }
    bool cancelled() const { return cancelled_; }

private:
    std::exception_ptr cause_;
    bool cancelled_;
};

// Whether the failure being handled is the link's (no answer, or the device gone) rather than
// the item's: the next try would meet it again only if the link stays lost. Call only from
// inside a catch block.
bool isLinkFailure();

// Whether the failure being handled says that the keyboard did not show a change made again
// and again (an item sent, a deletion), a song slot emptied by such a send included: what the
// slot held before is then wanted back from its kept copy. Call only from inside a catch block.
bool changeNotShown();

// Whether the failure being handled says that a change was sent (an item, a deletion) but the
// keyboard did not answer the questions that tell whether it holds it: the slot may hold the
// old item or the new one. Call only from inside a catch block.
bool changeUnconfirmed();

// Whether the failure being handled leaves the user wanting the kept copy of what the slot
// held: a song slot emptied, a change the keyboard did not show, or one it did not confirm.
// Call only from inside a catch block.
bool wantsKeptCopy();

// Runs one item's whole transfer, `transfer()`, and once more from its start when the first try
// lost the link: the MIDI service of a busy machine drops a message now and then, and a fetch
// or a send cannot ask again for one block in the middle. `beforeRetry` is told first (to say
// so). Returns whether the item was tried twice. The second try's failure, the item's own
// failures and the user's cancel go on to the caller; a song slot that the first try emptied
// is still said to be empty when the second fails too (a song send deletes the old song first,
// whose copy the caller has kept, so trying again risks nothing more).
bool withRetry(const std::function<void()>& transfer, const std::function<void()>& beforeRetry);

// Sends an item into the slot of the driver's tree. Errors are the keyboard stream's, or
// SongSlotEmptied around them. A caller that shows progress reads the file first with loadFile,
// so it knows the item's size before the first block goes.
// `beforeChange` is called once, after the checks and right before the first message that
// changes the slot (NvbMidiStream::setBeforeChange).
void sendItem(EkDataFile& item, const SlotInTree& where, const KeyboardLink& link,
              NvbStreamObserver* progress, std::function<void()> beforeChange = {});

// Fetches the slot into `item`. Errors are the keyboard stream's; `item` changes only on success.
void fetchItem(const SlotInTree& where, const KeyboardLink& link, NvbStreamObserver* progress,
               EkDataFile& item);

// Throws platform::SystemError ("\"FOLDER\" is not a folder.") unless `folder` names an existing
// folder: the check of every command that writes into a folder (import, backup, restore).
void requireFolder(const QString& folder);

// Makes `folder`, and the folders above it, when it does not exist: the folder a command of the
// command-line tool writes its new files into (as mkdir -p would; a new folder is empty, so
// nothing in it can be replaced). One that exists and is no folder is refused as
// requireFolder refuses it; one that cannot be made throws FileError CannotCreateFolderIn.
void makeFolder(const QString& folder);

// Fetches the slot and writes it into `folder` as a new file of `format` (replacing one of the
// same name), named by importFileName unless `fileName` is given. Returns the file's path.
// Nothing is written when the fetch fails; a `folder` that is no folder is refused before any
// traffic.
QString importSlot(const SlotInTree& where, const QString& folder, const KeyboardLink& link,
                   NvbStreamObserver* progress, const QString& fileName = {},
                   FileFormat format = FileFormat::Nvb);

// Writes `item`, of `slot`, as a new file of `format` at `path` (replacing one of that name in
// one step).
void saveItem(EkDataFile& item, const SlotAddress& slot, const QString& path, FileFormat format);
// Writes `item` as a ".nvb" file at `path`, a name that must not exist yet (NvbFileStream's
// CreateNew: the caller syncs the file system once its job has written all its files).
void saveNewItem(EkDataFile& item, const QString& path);

// Reads the file at `path` as a keyboard file: a ".nvb" file's item, or a ".syx" dump's whole
// items (at least one); throws loadFile's errors when it is none.
void requireKeyboardFile(const QString& path);

// Copies the ".nvb" file `source` into `folder` under its own name, replacing a file of that name
// in one step. The file is read first: one that is no ".nvb" file throws the file stream's error
// and nothing is written (a ".syx" file must hold at least one whole item). Returns the copy's path
// (the source's own when it is in `folder`).
QString copyNvbFile(const QString& source, const QString& folder);

// Whether two items are the same byte for byte: type, size, name and every data byte.
bool sameItem(const EkDataFile& a, const EkDataFile& b);

// Fetches the slot again after a send of `sent` into it and compares. Throws
// platform::SystemError when the keyboard holds something else; errors of the fetch are the
// keyboard stream's.
void checkSent(const EkDataFile& sent, const SlotInTree& where, const KeyboardLink& link,
               NvbStreamObserver* progress);

}  // namespace transfer
