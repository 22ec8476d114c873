#include "savefile.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <cerrno>
#include <QFileInfo>

#include "systemerror.h"

namespace platform {

void refuseLink(const QString& fileName) {
    if (QFileInfo(fileName).isSymLink()) {
        throw FileError(ErrorCode::CannotCreate, QDir::toNativeSeparators(fileName),
                        CodedText{ErrorCode::IsSymbolicLink});
    }
}

bool openSaveFile(QSaveFile& file) {
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool writeFully(QSaveFile& file, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            return false;
        }
        done += written;
    }
    return true;
}

void saveFile(const QString& fileName, const QByteArray& bytes) {
    refuseLink(fileName);
    QSaveFile file(fileName);
    ErrorCode action = ErrorCode::CannotCreate;
    if (openSaveFile(file)) {
        action = ErrorCode::CannotWrite;
        if (writeFully(file, bytes) && file.commit()) {
            return;
        }
    }
    const QString reason = file.errorString().isEmpty() ? "Unknown error" : file.errorString();
    throw FileError(action, QDir::toNativeSeparators(fileName), reason);
}

void syncFileSystem(const QString& folder) {
    const int descriptor =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && ::syncfs(descriptor) == 0;
    const int error = errno;
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    if (!synced) {
        throw FileError(ErrorCode::CannotWrite, QDir::toNativeSeparators(folder),
                        qt_error_string(error));
    }
}

}  // namespace platform
