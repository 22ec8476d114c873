#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

namespace platform {

// Throws FileError (CannotCreate, IsSymbolicLink) when `fileName` is a symbolic link: a new
// file is never written through one (QSaveFile would write the file it leads to, wherever
// that is).
void refuseLink(const QString& fileName);

// Opens a file that replaces `fileName` only when committed. Unbuffered on purpose: a buffered
// QSaveFile (Qt 6.4) writes its buffer out while committing and, when that write stops short
// (a full disk, a file-size limit), still commits the truncated file and reports success. Each
// write here reaches the file system at once, so writeFully sees the failure.
bool openSaveFile(QSaveFile& file);

// Writes every byte or returns false with the file's error set: a short write is retried, so
// the system's reason for stopping (e.g. "No space left on device") becomes the error text.
bool writeFully(QSaveFile& file, const QByteArray& bytes);

// Creates or replaces `fileName` with `bytes` as one step; throws FileError with the reason.
void saveFile(const QString& fileName, const QByteArray& bytes);

// Waits until everything written to the file system that holds `folder` is on the disk: the
// end of a job that wrote many new files without syncing each. Throws FileError (CannotWrite,
// naming the folder) when the system cannot.
void syncFileSystem(const QString& folder);

}  // namespace platform
