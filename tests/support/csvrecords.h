#pragma once

// The records of a CSV text as Python's own reader reads them (RFC 4180, as spreadsheets do):
// a parser that is not ours, so that a fault of our writer cannot hide in a reader of ours.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>

inline QList<QStringList> csvRecords(const QByteArray& csv) {
    QProcess python;
    python.start("python3", {"-c",
                             "import csv, io, json, sys; "
                             "text = sys.stdin.buffer.read().decode('utf-8'); "
                             "print(json.dumps(list(csv.reader(io.StringIO(text, newline='')))))"});
    python.write(csv);
    python.closeWriteChannel();
    python.waitForFinished(-1);
    QList<QStringList> records;
    const QJsonArray all = QJsonDocument::fromJson(python.readAllStandardOutput()).array();
    for (const QJsonValue record : all) {
        records << record.toVariant().toStringList();
    }
    return records;
}
