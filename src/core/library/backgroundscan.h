#pragma once

#include <QObject>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <memory>

#include "libraryindex.h"
#include "msg/msgstr.h"

namespace library {

// Scans on a thread of its own, so that a window stays responsive while thousands of files are
// read; the thread has its own connection to the index (a database connection belongs to the
// thread that opened it). Asked again while it scans, it scans once more afterwards with the
// newest folders: requests in between are one.
class BackgroundScan : public QObject {
    Q_OBJECT
public:
    BackgroundScan(QString databasePath, const MsgStr& messages, QObject* parent = nullptr);
    // Stops a scan under way (what it has read is kept) and waits for the thread.
    ~BackgroundScan() override;

    void scan(const QStringList& folders);
    bool isScanning() const { return running_; }

Q_SIGNALS:
    // On the thread that made this object, after each scan. An index that cannot be opened
    // finishes with its reason as the one problem.
    void finished(const library::ScanSummary& summary);

private:
    void start(const QStringList& folders);
    void done(const library::ScanSummary& summary);

    QString databasePath_;
    MsgStr messages_;
    QThread thread_;
    QObject* worker_ = nullptr;     // lives on thread_; deleted there when it ends
    std::unique_ptr<Index> index_;  // used on thread_ only
    std::atomic<bool> stopping_{false};
    bool running_ = false;
    std::optional<QStringList> again_;
};

}  // namespace library

Q_DECLARE_METATYPE(library::ScanSummary)
