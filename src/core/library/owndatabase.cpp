#include "owndatabase.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "platform/systemerror.h"

namespace library {
namespace {

constexpr const char* kDriver = "QSQLITE";
// How long an open waits for another program that is writing.
constexpr const char* kWaitForOthers = "QSQLITE_BUSY_TIMEOUT=10000";

}  // namespace

QSqlDatabase openOwnDatabase(const QString& connection, const QString& path, int format,
                             const std::vector<const char*>& create,
                             platform::ErrorCode unreadable, platform::ErrorCode newer) {
    const auto refuse = [&](const QString& reason) {
        throw platform::SystemError(unreadable, {QDir::toNativeSeparators(path), reason});
    };
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, connection);
    db.setDatabaseName(path);
    db.setConnectOptions(kWaitForOthers);
    if (!db.open()) {
        refuse(db.lastError().text());
    }
    QSqlQuery check(db);
    if (!check.exec("PRAGMA quick_check") || !check.next() ||
        check.value(0).toString() != QLatin1String("ok")) {
        refuse(check.lastError().isValid() ? check.lastError().text()
                                           : check.value(0).toString());
    }
    QSqlQuery stored(db);
    if (!stored.exec("PRAGMA user_version") || !stored.next()) {
        refuse(stored.lastError().text());
    }
    const int version = stored.value(0).toInt();
    if (version > format) {
        throw platform::SystemError(newer, {QDir::toNativeSeparators(path)});
    }
    if (version == 0) {
        // A new file; one with tables of another program's is left alone.
        QSqlQuery tables(db);
        if (!tables.exec("SELECT count(*) FROM sqlite_master") || !tables.next() ||
            tables.value(0).toInt() != 0) {
            refuse(QStringLiteral("not NvbMan's"));
        }
        for (const char* statement : create) {
            QSqlQuery step(db);
            if (!step.exec(QString::fromLatin1(statement))) {
                throw platform::FileError(platform::ErrorCode::CannotWrite,
                                          QDir::toNativeSeparators(path), step.lastError().text());
            }
        }
    }
    return db;
}

}  // namespace library
