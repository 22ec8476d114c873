#pragma once

#include <QString>
#include <chrono>

namespace platform {

// A lock that the system itself releases when its holder ends, however it ends: an
// open-file-description lock (fcntl F_OFD_SETLK) on a file. A lock file that names its holder
// inside can be left behind by a crash, emptied or filled with garbage, and then blocks every
// later program for good; this one cannot, whatever the file holds.
//
// The file stays when the lock is released: removing it would let a newcomer lock a fresh file
// of the same name while an earlier holder still holds the removed one.
class FileLock {
public:
    enum class State { Unlocked, Locked, Busy, Failed };

    explicit FileLock(QString path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock, trying again for up to `patience` while another holds it. Locked, Busy
    // (another program or another FileLock holds it) or Failed (errorString() gives the
    // system's reason: a read-only or full file system, a folder in the file's place...).
    State tryLock(std::chrono::milliseconds patience = std::chrono::milliseconds::zero());
    // tryLock, or throws: what `busyError()` returns when another holds the lock, FileError with
    // the system's reason when it cannot be had at all.
    template <typename BusyError>
    void lockOrThrow(BusyError busyError,
                     std::chrono::milliseconds patience = std::chrono::milliseconds::zero()) {
        switch (tryLock(patience)) {
            case State::Locked:
                return;
            case State::Busy:
                throw busyError();
            default:
                throwFailure();
        }
    }
    void unlock();
    State state() const { return state_; }
    QString errorString() const { return error_; }
    QString path() const { return path_; }

    // Whether some holder has the lock of `path` now, asked without taking it.
    static bool isHeld(const QString& path);

private:
    [[noreturn]] void throwFailure() const;

    QString path_;
    int fd_ = -1;
    State state_ = State::Unlocked;
    QString error_;
};

}  // namespace platform
