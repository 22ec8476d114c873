#include "backgroundscan.h"

#include "msg/errortext.h"
#include "platform/handover.h"
#include "platform/keyboardthread.h"

namespace library {

BackgroundScan::BackgroundScan(QString databasePath, const MsgStr& messages, QObject* parent)
    : QObject(parent), databasePath_(std::move(databasePath)), messages_(messages) {
    qRegisterMetaType<library::ScanSummary>();
    worker_ = new QObject;
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.setObjectName("library scan");
    thread_.start(QThread::LowPriority);
}

BackgroundScan::~BackgroundScan() {
    stopping_ = true;
    // The index is closed on its own thread, after any scan under way has stopped.
    platform::callOn(worker_, [this] { index_.reset(); });
    thread_.quit();
    thread_.wait();
}

void BackgroundScan::scan(const QStringList& folders) {
    if (running_) {
        again_ = folders;
        return;
    }
    start(folders);
}

void BackgroundScan::start(const QStringList& folders) {
    running_ = true;
    platform::postTo(worker_, [this, folders] {
        ScanSummary summary;
        try {
            if (!index_) {
                index_ = std::make_unique<Index>(databasePath_);
            }
            summary = index_->scan(folders, messages_, [this] { return stopping_.load(); });
        } catch (...) {
            summary.problems << currentErrorText(messages_);
        }
        platform::postTo(this, [this, summary] { done(summary); });
    });
}

void BackgroundScan::done(const ScanSummary& summary) {
    running_ = false;
    if (again_) {
        const QStringList folders = *std::exchange(again_, std::nullopt);
        start(folders);
    }
    Q_EMIT finished(summary);
}

}  // namespace library
