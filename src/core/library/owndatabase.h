#pragma once

#include <QSqlDatabase>
#include <QString>
#include <vector>

#include "platform/errorcatalog.h"

namespace library {

// Opens one of the program's own SQLite files at `path` under the connection name
// `connection`, creating its folder and, in a new file, its tables (`create`, ending with the
// statement that sets its `format` as user_version). Another program's waits on it up to ten
// seconds. A file that fails SQLite's check, or holds tables of something else, throws
// platform::SystemError `unreadable` (path, reason); one of a later format `newer` (path).
// Nothing is ever replaced: the user's data in it stays as it is.
QSqlDatabase openOwnDatabase(const QString& connection, const QString& path, int format,
                             const std::vector<const char*>& create,
                             platform::ErrorCode unreadable, platform::ErrorCode newer);

}  // namespace library
