#include "nvbtransfer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include "data/ekdatafile.h"
#include "kbddrv/itemkinds.h"
#include "nvbfilestream.h"
#include "nvbmidistream.h"
#include "platform/cancellation.h"
#include "platform/regularfile.h"
#include "platform/savefile.h"
#include "platform/systemerror.h"
#include "sysex/ekexception.h"
#include "syx/syxdump.h"

namespace transfer {

QString keyboardText(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString safeFileName(const QString& name) {
    static const QString kRefused = QStringLiteral("/\\:*?\"<>|");
    QString safe = name;
    for (QChar& c : safe) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F || kRefused.contains(c)) {
            c = QLatin1Char('_');
        }
    }
    return safe;
}

QString importFileName(std::uint16_t type, const std::string& name, FileFormat format) {
    const mls850::ItemKind* kind = mls850::itemKindOf(type);
    const QString prefix = kind != nullptr ? QString::fromLatin1(kind->filePrefix) : QString();
    // Keyboard names are bytes; Latin-1 keeps every one of them as one character.
    return safeFileName(
        prefix + keyboardText(name) +
        QLatin1String(format == FileFormat::Syx ? syx::kSuffix : NvbFileStream::kSuffix));
}

void loadFile(const QString& filePath, EkDataFile& item) {
    if (!syx::isDumpFile(filePath)) {
        NvbFileStream(filePath, NvbFileStream::OpenRead).read(item);
        return;
    }
    const syx::DumpContents dump = readDumpWithItems(filePath);
    if (dump.items.size() > 1) {
        throw platform::SystemError(
            platform::ErrorCode::DumpSeveralItems,
            {QDir::toNativeSeparators(filePath), QString::number(dump.items.size())});
    }
    dump.items.front().fill(item);
}

syx::DumpContents readDumpWithItems(const QString& filePath) {
    syx::DumpContents dump = syx::readDumpFile(filePath);
    if (dump.items.empty()) {
        if (!dump.unusable.empty()) {
            throw platform::SystemError(dump.unusable.front());
        }
        throw platform::SystemError(platform::ErrorCode::DumpHasNoItems,
                                    {QDir::toNativeSeparators(filePath)});
    }
    return dump;
}

QString loadPlainFile(const QString& filePath, EkDataFile& item) {
    const QByteArray content = platform::readRegularFile(
        filePath, qint64(DataHeader::kSize) + NvbFileStream::kMaxDataSize);
    NvbFileStream::readContent(content, filePath, item);
    return QString::fromLatin1(
        QCryptographicHash::hash(content, QCryptographicHash::Sha256).toHex());
}

namespace {

// `test` (a function that looks at the failure being handled) of the failure `cause`.
bool ofCause(const std::exception_ptr& cause, bool (*test)()) {
    try {
        std::rethrow_exception(cause);
    } catch (...) {
        return test();
    }
}

bool isUnconfirmed(platform::ErrorCode code) {
    return code == platform::ErrorCode::ChangeUnconfirmed ||
           code == platform::ErrorCode::DeleteUnconfirmed;
}

}  // namespace

bool isLinkFailure() {
    try {
        throw;
    } catch (const EkSysExException& e) {
        return e.code() == EkSysExException::Timeout;
    } catch (const platform::MidiSystemError&) {
        return true;
    } catch (const platform::CausedError& e) {
        // A change sent but not confirmed is not tried again: its confirmation was asked three
        // times already, and the user is told to look.
        return !isUnconfirmed(e.code()) && ofCause(e.cause(), &isLinkFailure);
    } catch (const SongSlotEmptied& emptied) {
        return ofCause(emptied.cause(), &isLinkFailure);
    } catch (...) {
        return false;
    }
}

bool changeNotShown() {
    try {
        throw;
    } catch (const platform::CausedError& e) {
        return ofCause(e.cause(), &changeNotShown);
    } catch (const platform::SystemError& e) {
        const platform::ErrorCode code = e.coded().code;
        return code == platform::ErrorCode::SendNotConfirmed ||
               code == platform::ErrorCode::SendNotConfirmedEmpty ||
               code == platform::ErrorCode::DeleteNotConfirmed;
    } catch (const SongSlotEmptied& emptied) {
        return ofCause(emptied.cause(), &changeNotShown);
    } catch (...) {
        return false;
    }
}

bool changeUnconfirmed() {
    try {
        throw;
    } catch (const platform::CausedError& e) {
        return isUnconfirmed(e.code()) || ofCause(e.cause(), &changeUnconfirmed);
    } catch (const SongSlotEmptied& emptied) {
        return ofCause(emptied.cause(), &changeUnconfirmed);
    } catch (...) {
        return false;
    }
}

bool wantsKeptCopy() {
    try {
        throw;
    } catch (const SongSlotEmptied&) {
        return true;
    } catch (...) {
        return changeNotShown() || changeUnconfirmed();
    }
}

namespace {

// Inside a catch block: the failure being handled, said as a song slot emptied.
[[noreturn]] void throwAsSlotEmptied() {
    try {
        throw;
    } catch (const SongSlotEmptied&) {
        throw;
    } catch (const platform::Cancelled&) {
        throw SongSlotEmptied(std::current_exception(), true);
    } catch (...) {
        throw SongSlotEmptied(std::current_exception(), false);
    }
}

}  // namespace

bool withRetry(const std::function<void()>& transfer, const std::function<void()>& beforeRetry) {
    bool slotEmptied = false;
    try {
        transfer();
        return false;
    } catch (...) {
        if (!isLinkFailure() || platform::Cancellation::isRequested()) {
            throw;
        }
        try {
            throw;
        } catch (const SongSlotEmptied&) {
            slotEmptied = true;
        } catch (...) {
        }
    }
    if (beforeRetry) {
        beforeRetry();
    }
    try {
        transfer();
    } catch (...) {
        if (slotEmptied) {
            throwAsSlotEmptied();
        }
        throw;
    }
    return true;
}

void sendItem(EkDataFile& item, const SlotInTree& where, const KeyboardLink& link,
              NvbStreamObserver* progress, std::function<void()> beforeChange) {
    EkData& slot = *where.slot;
    NvbMidiStream keyboard(slot, where.directoryPath, link.inputDevice, link.outputDevice,
                           link.driver);
    keyboard.attachObserver(progress);
    keyboard.setBeforeChange(std::move(beforeChange));
    const bool heldSong = slot.type() == DataType::Song && slot.isPresent();
    try {
        keyboard.write(item);
    } catch (...) {
        // A song sent but not confirmed may be in the slot: the slot is not said to be empty.
        if (heldSong && !slot.isPresent() && !changeUnconfirmed()) {
            bool cancelled = false;
            try {
                throw;
            } catch (const platform::Cancelled&) {
                cancelled = true;
            } catch (...) {
            }
            throw SongSlotEmptied(std::current_exception(), cancelled);
        }
        throw;
    }
    if (link.itemSeen) {
        link.itemSeen(slot, item, ItemMove::Sent);
    }
}

void fetchItem(const SlotInTree& where, const KeyboardLink& link, NvbStreamObserver* progress,
               EkDataFile& item) {
    NvbMidiStream keyboard(*where.slot, where.directoryPath, link.inputDevice, link.outputDevice,
                           link.driver);
    keyboard.attachObserver(progress);
    keyboard.read(item);
    if (link.itemSeen) {
        link.itemSeen(*where.slot, item, ItemMove::Fetched);
    }
}

void requireFolder(const QString& folder) {
    if (!QFileInfo(folder).isDir()) {
        throw platform::SystemError(platform::ErrorCode::NotAFolder,
                                    {QDir::toNativeSeparators(folder)});
    }
}

void makeFolder(const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists() || info.isSymLink()) {
        requireFolder(folder);
        return;
    }
    if (!QDir().mkpath(folder)) {
        // The nearest folder above that exists is where it could not be made.
        QString above = QFileInfo(info.absoluteFilePath()).absolutePath();
        while (!QFileInfo(above).exists() && QDir(above).cdUp()) {
            above = QFileInfo(above).absolutePath();
        }
        throw platform::FileError(platform::ErrorCode::CannotCreateFolderIn,
                                  QDir::toNativeSeparators(above), qt_error_string(errno));
    }
}

QString importSlot(const SlotInTree& where, const QString& folder, const KeyboardLink& link,
                   NvbStreamObserver* progress, const QString& fileName, FileFormat format) {
    requireFolder(folder);
    EkDataFile item(DataType::NoType);
    fetchItem(where, link, progress, item);
    const QString name =
        fileName.isEmpty() ? importFileName(item.type(), item.name(), format) : fileName;
    const QString path = QDir(folder).filePath(name);
    saveItem(item, SlotAddress::of(*where.slot), path, format);
    return path;
}

void saveItem(EkDataFile& item, const SlotAddress& slot, const QString& path, FileFormat format) {
    if (format == FileFormat::Nvb) {
        NvbFileStream(path, NvbFileStream::Create).write(item);
        return;
    }
    const std::vector<std::uint8_t> dump = syx::dumpOf(item, slot);
    platform::saveFile(
        path, QByteArray(reinterpret_cast<const char*>(dump.data()), qsizetype(dump.size())));
}

void saveNewItem(EkDataFile& item, const QString& path) {
    NvbFileStream(path, NvbFileStream::CreateNew).write(item);
}

void requireKeyboardFile(const QString& path) {
    if (syx::isDumpFile(path)) {
        readDumpWithItems(path);  // a dump of any number of whole items
        return;
    }
    EkDataFile item(DataType::NoType);
    loadFile(path, item);
}

QString copyNvbFile(const QString& source, const QString& folder) {
    requireKeyboardFile(source);
    const QString target = QDir(folder).filePath(QFileInfo(source).fileName());
    if (QFileInfo(target).canonicalFilePath() == QFileInfo(source).canonicalFilePath()) {
        return target;
    }
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::FileError(platform::ErrorCode::CannotRead, source, file.errorString());
    }
    platform::saveFile(target, file.readAll());
    return target;
}

bool sameItem(const EkDataFile& a, const EkDataFile& b) {
    if (a.type() != b.type() || a.size() != b.size() || a.name() != b.name()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a.dataByte(i) != b.dataByte(i)) {
            return false;
        }
    }
    return true;
}

void checkSent(const EkDataFile& sent, const SlotInTree& where, const KeyboardLink& link,
               NvbStreamObserver* progress) {
    EkDataFile held(DataType::NoType);
    fetchItem(where, link, progress, held);
    if (!sameItem(sent, held)) {
        throw platform::SystemError(platform::ErrorCode::KeptDifferentData, {});
    }
}

}  // namespace transfer
