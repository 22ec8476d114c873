#include "keyboardsession.h"

#include <unistd.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

#include "midiservice.h"
#include "systemerror.h"

namespace platform {

QString userRuntimeFolder() {
    // Qt's own fallback warns on stderr at every start; ours is silent and per user as well.
    const QString folder = qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")
                               ? QDir::temp().filePath(QString("nvbman-runtime-%1").arg(::getuid()))
                               : QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!QFileInfo::exists(folder)) {
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return folder;
}

QString KeyboardSession::lockPath(const QString& deviceName) {
    // Device names hold any character (JACK's "client:port" among them): the file is named by
    // a hash. The runtime folder is the user's own, so another user's program never blocks us.
    const QByteArray hash =
        QCryptographicHash::hash(deviceName.toUtf8(), QCryptographicHash::Sha1).toHex().left(16);
    return QDir(userRuntimeFolder())
        .filePath("nvbman-keyboard-" + QString::fromLatin1(hash) + ".lock");
}

QString KeyboardSession::busyText(const QString& deviceName) {
    return QString(
               "The keyboard on \"%1\" is busy with another program. Try again when it "
               "has finished.")
        .arg(deviceName);
}

KeyboardSession::KeyboardSession(int outputDevice) : outputDevice_(outputDevice) {
    auto& service = MidiService::instance();
    const QString name = service.outputName(outputDevice);
    if (name.isEmpty()) {
        return;  // no such device: opening it says so
    }
    if (!service.isShared(outputDevice)) {
        service.beginUse(outputDevice);
        return;  // no other program can reach it
    }
    const QString path = lockPath(name);
    lock_ = std::make_unique<QLockFile>(path);
    // Never stale by age (a backup may take minutes); a lock whose program has died is taken
    // over.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        const bool busy = lock_->error() == QLockFile::LockFailedError;
        lock_.reset();
        if (busy) {
            throw SystemError(busyText(name).toStdString());
        }
        throw FileError("Cannot create the lock file", path.toStdString(),
                        "the runtime folder is not writable");
    }
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
