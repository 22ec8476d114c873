#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// Reads the whole of `path` when it is a regular file of at most `maxBytes` bytes: never
// through a symbolic link (a kept copy or a backup's item replaced by a link could lead
// anywhere), never waiting on a FIFO or reading a device without end. What the caller checks
// (a hash, say) is then exactly what it uses. Throws FileError with the reason.
QByteArray readRegularFile(const QString& path, qint64 maxBytes);

}  // namespace platform
