#include "regularfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

#include "systemerror.h"

namespace platform {
namespace {

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Closes the descriptor however the read ends.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

QByteArray readRegularFile(const QString& path, qint64 maxBytes) {
    const QString shown = QDir::toNativeSeparators(path);
    // O_NONBLOCK: opening a FIFO returns at once instead of waiting for a writer.
    const Descriptor file(::open(QFile::encodeName(path).constData(),
                                 O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        const int error = errno;
        if (error == ELOOP) {
            throw FileError(ErrorCode::CannotOpen, shown, CodedText{ErrorCode::IsSymbolicLink});
        }
        throw FileError(ErrorCode::CannotOpen, shown, systemReason(error));
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        throw FileError(ErrorCode::CannotRead, shown, systemReason(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw FileError(ErrorCode::CannotOpen, shown, CodedText{ErrorCode::NotRegularFile});
    }
    if (info.st_size > maxBytes) {
        throw FileError(ErrorCode::CannotRead, shown,
                        CodedText{ErrorCode::LargerThanItsKind,
                                  {QString::number(info.st_size), QString::number(maxBytes)}});
    }
    QByteArray bytes(qsizetype(info.st_size), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + done, size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw FileError(ErrorCode::CannotRead, shown, systemReason(errno));
        }
        if (got == 0) {
            break;  // shrank while being read: what was read is what is checked and used
        }
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

}  // namespace platform
