#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QStringList>
#include <QTimer>

namespace library {

// Says when files come, go or are renamed in the folders it watches, once things have settled
// (a copy of many files is one change). A file written over in place is not seen by the system's
// folder watch (Linux reports it on the file, not on its folder); a scan when the user comes back
// to the window covers that.
class FolderWatch : public QObject {
    Q_OBJECT
public:
    // The most folders watched: each takes one of the system's watches, of which a user has a
    // limited number for every program together.
    static constexpr int kMaxFolders = 4096;
    static constexpr int kSettleMs = 500;

    explicit FolderWatch(QObject* parent = nullptr);

    // Watches these folders (the first kMaxFolders of them) and no others.
    void watch(const QStringList& folders);
    QStringList watched() const { return watcher_.directories(); }

Q_SIGNALS:
    void changed();

private:
    QFileSystemWatcher watcher_;
    QTimer settle_;
};

}  // namespace library
