#include "jobitem.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "msg/errortext.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"
#include "sysex/ekexception.h"

namespace backup {

Outcome failedItem(const SlotAddress& slot, const QString& file) {
    if (platform::Cancellation::isRequested()) {
        // A stop after a song slot was emptied keeps saying so.
        try {
            throw;
        } catch (const transfer::SongSlotEmptied&) {
            throw;
        } catch (...) {
            throw platform::Cancelled();
        }
    }
    Outcome outcome{slot, file, currentError(), currentErrorCode()};
    try {
        throw;
    } catch (const transfer::SongSlotEmptied&) {
        outcome.emptied = true;
    } catch (...) {
    }
    outcome.notShown = transfer::changeNotShown() || transfer::changeUnconfirmed();
    return outcome;
}

bool FreshFileNames::taken(const QString& name) const {
    if (used_.contains(name)) {
        return true;
    }
    if (folder_.isEmpty()) {
        return false;
    }
    const QFileInfo file(QDir(folder_).filePath(name));
    return file.exists() || file.isSymLink();  // a link that leads nowhere counts too
}

QString FreshFileNames::take(const QString& plain) {
    QString file = plain;
    if (taken(file)) {
        const qsizetype dot = plain.lastIndexOf('.');
        int& number = nextNumber_[plain];
        number = std::max(number, 2);
        do {
            file = plain.left(dot) + QString(" (%1)").arg(number++) + plain.mid(dot);
        } while (taken(file));
    }
    used_.insert(file);
    return file;
}

JobRun::JobRun(JobProgress* progress, std::int64_t totalBytes) : progress_(progress) {
    if (progress_ != nullptr) {
        progress_->jobStarted(totalBytes);
    }
}

void JobRun::ItemProgress::notify(NvbStream& stream) {
    if (job_ != nullptr) {
        job_->jobAdvanced(before_ + stream.position());
    }
}

Outcome JobRun::stoppedItem(const SlotAddress& slot, const QString& file) const {
    return {slot, file, platform::CodedText{platform::ErrorCode::NotTried}, Outcome::kStoppedCode};
}

void JobRun::itemDone(std::uint32_t bytes) {
    done_ += bytes;
    if (progress_ != nullptr) {
        progress_->jobAdvanced(done_);
    }
}

}  // namespace backup
