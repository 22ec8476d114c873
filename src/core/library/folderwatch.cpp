#include "folderwatch.h"

#include <QSet>

namespace library {

FolderWatch::FolderWatch(QObject* parent) : QObject(parent) {
    settle_.setSingleShot(true);
    settle_.setInterval(kSettleMs);
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, &settle_,
            qOverload<>(&QTimer::start));
    connect(&settle_, &QTimer::timeout, this, &FolderWatch::changed);
}

void FolderWatch::watch(const QStringList& folders) {
    QStringList wanted = folders;
    wanted.removeDuplicates();  // a folder inside another scanned folder is walked twice
    wanted = wanted.mid(0, kMaxFolders);
    const QSet<QString> keep(wanted.cbegin(), wanted.cend());
    QStringList gone;
    for (const QString& folder : watcher_.directories()) {
        if (!keep.contains(folder)) {
            gone << folder;
        }
    }
    if (!gone.isEmpty()) {
        watcher_.removePaths(gone);
    }
    const QStringList current = watcher_.directories();
    const QSet<QString> have(current.cbegin(), current.cend());
    QStringList added;
    for (const QString& folder : wanted) {
        if (!have.contains(folder)) {
            added << folder;
        }
    }
    if (!added.isEmpty()) {
        watcher_.addPaths(added);  // a folder that cannot be watched is left out
    }
}

}  // namespace library
