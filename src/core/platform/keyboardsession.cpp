#include "keyboardsession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>

#include "filelock.h"
#include "midiservice.h"
#include "systemerror.h"

namespace platform {

namespace {

// A folder only this user can reach: a real folder (not a link), the user's own, open to no
// one else. Creates it when missing; a folder of the user's that others could reach is closed
// to them. False when it is someone else's, or not a folder.
bool makePrivateFolder(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), S_IRWXU) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::getuid()) {
        return false;
    }
    constexpr mode_t kOthersBits = S_IRWXG | S_IRWXO | S_ISVTX;
    return (info.st_mode & kOthersBits) == 0 || ::chmod(name.constData(), S_IRWXU) == 0;
}

}  // namespace

QString userRuntimeFolder() {
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        // The login's own folder (Qt checks that it is the user's, and closes it to others).
        return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    }
    // Without a login manager (cron, a plain ssh session): a folder of the user's in the
    // temporary folder; Qt's own fallback would warn on stderr at every start. Anyone may
    // create that name first, and a folder another user holds could block the keyboard or
    // fail every command: then the user's cache folder instead, which no one else can reach.
    const QString inTemp = QDir::temp().filePath(QString("nvbman-runtime-%1").arg(::getuid()));
    if (makePrivateFolder(inTemp)) {
        return inTemp;
    }
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    const QString inCache = cache.isEmpty() ? QString() : cache + "/NvbMan/runtime";
    if (!inCache.isEmpty() && QDir().mkpath(QFileInfo(inCache).path()) &&
        makePrivateFolder(inCache)) {
        return inCache;
    }
    if (inCache.isEmpty()) {
        throw SystemError(ErrorCode::NoLockFolder, {QDir::toNativeSeparators(inTemp)});
    }
    throw SystemError(ErrorCode::NoLockFolderEither,
                      {QDir::toNativeSeparators(inTemp), QDir::toNativeSeparators(inCache)});
}

QString KeyboardSession::lockPath(const QString& sharedName) {
    // Device names hold any character (JACK's "client:port" among them): the file is named by
    // a hash. The runtime folder is the user's own, so another user's program never blocks us.
    const QByteArray hash =
        QCryptographicHash::hash(sharedName.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(userRuntimeFolder())
        .filePath("nvbman-keyboard-" + QString::fromLatin1(hash) + ".lock");
}

KeyboardSession::KeyboardSession(int outputDevice) : outputDevice_(outputDevice) {
    auto& service = MidiService::instance();
    const QString name = service.outputName(outputDevice);
    if (name.isEmpty()) {
        return;  // no such device: opening it says so
    }
    const QString sharedName = service.sharedName(outputDevice);
    if (sharedName.isEmpty()) {
        service.beginUse(outputDevice);
        return;  // no other program can reach it
    }
    // Held as long as this program runs the command; released by the system when the program
    // ends, however it ends.
    lock_ = std::make_unique<FileLock>(lockPath(sharedName));
    lock_->lockOrThrow([&] { return KeyboardBusy(ErrorCode::KeyboardBusy, {name}); });
    service.beginUse(outputDevice);
}

KeyboardSession::~KeyboardSession() {
    if (finished_) {
        return;
    }
    // A command that failed or was stopped may still have changed the memory before: that
    // change is kept too. Its own failure is what the user is told.
    try {
        MidiService::instance().endUse(outputDevice_);
    } catch (const SystemError&) {
    }
}

void KeyboardSession::finish() {
    finished_ = true;
    MidiService::instance().endUse(outputDevice_);
}

}  // namespace platform
