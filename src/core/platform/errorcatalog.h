#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace platform {
Q_NAMESPACE

// Every failure the program's lower layers describe in their own words, by code. An error
// carries its code and arguments (slots, paths, names, numbers) and no finished sentence, so
// that the window can say it in the user's language while the command-line tool keeps its
// English. The texts of both languages are kept together in errorcatalog.cpp; the message
// table (MsgStr) is what the window asks.
enum class ErrorCode {
    ServiceText,        // the words of a platform service, carried as they are: %1
    MidiSystemFailure,  // "MIDI SYSTEM ERROR: " and the reason: a cabling or driver problem

    // The message table's own texts (msg/msgstr.h), said by MsgStr::codedText: %1 is the
    // text's number in its group. The layers below say them only as a reason, by number.
    KeyboardRefused,   // what the keyboard answered or failed to (EkSysExException)
    DriverRefused,     // the keyboard driver (EkKbdDrvException)
    StreamRefused,     // an item file or its transfer (NvbStreamException)
    OperationRefused,  // a command the program refused (OperateException)
    Stopped,           // the user stopped the command; %1 "emptied" when it emptied a song slot
    SongSlotEmptied,   // a send failed after it deleted the slot's old song: the reason is why
    NotTried,          // a job's item not tried after the keyboard stopped answering
    KeptByChange,      // the reason, then where a change's copies are: (number, slot, name)...

    // Settings and the user's folders
    SettingMissing,
    SettingsNotWritten,
    SettingsFileUnusable,  // %1 the file, %2 why
    NoLockFolder,
    NoLockFolderEither,

    // MIDI devices and services
    BadDevice,
    DeviceNotAvailable,
    DeviceChangedWhileOpened,
    DeviceGone,
    DeviceNoLongerAvailable,
    InputNotConnected,
    OutputNotConnected,
    WakePipe,
    MessageTooLarge,
    JackNotAnswering,
    JackStopped,
    JackNoCycles,
    JackRefusedClient,
    JackPortNotRegistered,
    JackConnectionNotConfirmed,
    SequencerFull,

    // The keyboard
    KeyboardBusy,
    DriverBusy,
    NoSuchSlot,
    NoSuchSlotPath,
    SlotEmpty,
    KeptDifferentData,
    ItemTooLarge,
    ItemShortNotSent,
    SendNotConfirmed,
    SendNotConfirmedEmpty,
    DeleteNotConfirmed,
    ChangeUnconfirmed,  // %1 the slot, %2 why its answer is missing
    DeleteUnconfirmed,  // %1 the slot, %2 why its answer is missing

    // Files
    CannotOpen,
    CannotCreate,
    CannotRead,
    CannotWrite,
    CannotLock,
    CannotKeepCopiesIn,
    CannotCreateFolderIn,
    IsSymbolicLink,
    NotRegularFile,
    LargerThanItsKind,
    NotAFolder,
    NameNotInEncoding,
    FileTooLargeForData,
    OddSizeNotWritten,
    ShortNotWritten,

    // Backups
    ManifestUnusable,
    NotOurManifest,
    ManifestHasNoItems,
    ManifestTooManyItems,
    ManifestNotASlot,
    ManifestSlotTwice,
    ManifestForeignFile,
    ManifestNoFingerprint,
    SentWithoutCheck,
    ChangedSinceBackup,
    BackupExists,
    BackupUnderWay,
    MoveAsideFailed,
    MoveIntoFailed,
    NothingKept,
    StoppedAfterItems,
    NoItemSaved,
    BackupNotReplaced,
    RestoreDoesNotFit,  // %1 the bytes the songs and rhythms would take, %2 the memory's size

    // Kept copies and the history of changes
    KeptListUnreadable,
    KeptListHeld,
    NotOurKeptList,
    KeptEntryNoSlot,
    KeptEntryNoNumber,
    KeptCopyChanged,
    KeptCopyGone,
    HistoryUnreadable,
    HistoryHeld,
    NotOurHistory,
    HistoryChangeNoSlot,
    HistoryChangeIncomplete,
    NothingKeptOfStep,

    // Editing the keyboard's memory
    SameSlot,
    DifferentKinds,
    CannotBeEmptied,
    NameUnusable,
    NameNotInData,
    ChangedSinceChange,

    // System Exclusive dumps (".syx" files)
    DumpHasNoItems,
    DumpSeveralItems,
    DumpItemUnusable,
    DumpBadChecksum,
    DumpMissingBlock,
    DumpUnknownAddress,
    DumpCutShort,
    DumpStoppedByStatus,
    DumpWrongSize,
    DumpMixedItems,

    // Tags and notes of the user's items
    TagEmpty,
    TagTooLong,
    TagHasControl,
    TagsUnreadable,
    TagsOfNewerProgram,
    TagFileUnusable,

    // The keyboard's past (versions of its slots)
    VersionsUnreadable,
    VersionsOfNewerProgram,
    VersionItemMissing,
    VersionItemDamaged,
    VersionTimeUnusable,
    NoVersionsThen,
};
Q_ENUM_NS(ErrorCode)

// A text by its code and arguments. A `reason` is said where the text leaves room for it (the
// last placeholder), in the same language.
struct CodedText {
    CodedText(ErrorCode code = ErrorCode::ServiceText, QStringList args = {})
        : code(code), args(std::move(args)) {}

    ErrorCode code;
    QStringList args;
    std::shared_ptr<const CodedText> reason;

    static CodedText service(const QString& text) { return {ErrorCode::ServiceText, {text}}; }
    CodedText because(CodedText cause) const;
};

// Said from the catalog, or for a code of the layer above by the texts it installed (its
// arguments, joined, where neither has a text).
QString errorText(const CodedText& text, bool japanese);

// The layer above that has coded texts of its own (the message table) says them: their text,
// or an empty one for a code it does not know. Installed once, at the program's start.
using OuterTexts = QString (*)(const CodedText& text, bool japanese);
void setOuterTexts(OuterTexts texts);

}  // namespace platform
