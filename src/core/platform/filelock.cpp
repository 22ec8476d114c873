#include "filelock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <thread>

#include "systemerror.h"

namespace platform {
namespace {

// How often a lock held by another is tried again while the caller is willing to wait.
constexpr std::chrono::milliseconds kRetryStep{20};
// Only this user reads or writes a lock file.
constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

struct flock wholeFile(short type) {
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0;  // to the end, however long
    return range;
}

// Opens the lock file itself, never a link that someone put in its place.
int openLockFile(const QString& path, int* error) {
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
    if (fd < 0) {
        *error = errno;
        return -1;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        *error = EINVAL;
        return -1;
    }
    return fd;
}

}  // namespace

FileLock::FileLock(QString path) : path_(std::move(path)) {}

FileLock::~FileLock() {
    unlock();
}

FileLock::State FileLock::tryLock(std::chrono::milliseconds patience) {
    if (state_ == State::Locked) {
        return state_;
    }
    int error = 0;
    fd_ = openLockFile(path_, &error);
    if (fd_ < 0) {
        state_ = State::Failed;
        error_ = error == EINVAL ? QStringLiteral("it is not a regular file") : systemReason(error);
        return state_;
    }
    const auto giveUpAt = std::chrono::steady_clock::now() + patience;
    for (;;) {
        struct flock range = wholeFile(F_WRLCK);
        if (::fcntl(fd_, F_OFD_SETLK, &range) == 0) {
            state_ = State::Locked;
            // For whoever looks at the file: which process holds it. Nothing reads it back.
            const QByteArray holder = QByteArray::number(qint64(::getpid())) + '\n';
            if (::ftruncate(fd_, 0) == 0) {
                [[maybe_unused]] const ssize_t written =
                    ::pwrite(fd_, holder.constData(), size_t(holder.size()), 0);
            }
            return state_;
        }
        error = errno;
        if ((error != EAGAIN && error != EACCES) || std::chrono::steady_clock::now() >= giveUpAt) {
            break;
        }
        std::this_thread::sleep_for(kRetryStep);
    }
    ::close(fd_);
    fd_ = -1;
    const bool busy = error == EAGAIN || error == EACCES;
    state_ = busy ? State::Busy : State::Failed;
    error_ = busy ? QString() : systemReason(error);
    return state_;
}

void FileLock::throwFailure() const {
    throw FileError(ErrorCode::CannotLock, path_, error_);
}

void FileLock::unlock() {
    if (fd_ >= 0) {
        ::close(fd_);  // releases the lock
        fd_ = -1;
    }
    state_ = State::Unlocked;
}

bool FileLock::isHeld(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;
    }
    struct flock range = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

}  // namespace platform
