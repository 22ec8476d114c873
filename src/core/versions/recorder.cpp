#include "recorder.h"

#include <QDateTime>

#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "stream/nvbtransfer.h"
#include "versionstore.h"

namespace versions {

Recorder::Recorder(QString keyboard, QString source, QString folder)
    : keyboard_(std::move(keyboard)), source_(std::move(source)), folder_(std::move(folder)) {}

Recorder::~Recorder() = default;

void Recorder::saw(const EkData& slot, const EkDataFile& item, ItemMove move) {
    record(slot, &item, move);
}

void Recorder::emptied(const EkData& slot) {
    record(slot, nullptr, ItemMove::Sent);
}

void Recorder::record(const EkData& slot, const EkDataFile* item, ItemMove move) {
    if (problem_) {
        return;  // said once; the command goes on
    }
    try {
        if (store_ == nullptr) {
            store_ = std::make_unique<Store>(folder_);
        }
        Version version;
        version.keyboard = keyboard_;
        version.slot = SlotAddress::of(slot);
        version.type = slot.type();
        version.name = item != nullptr ? transfer::keyboardText(item->name()) : QString();
        version.at = QDateTime::currentDateTimeUtc();
        version.how = item == nullptr            ? How::Emptied
                      : move == ItemMove::Fetched ? How::Fetched
                                                  : How::Sent;
        version.source = source_;
        // Only what the keyboard answered or showed reaches here: a change it did not show
        // ends in an error before.
        version.confirmed = true;
        store_->record(version, item);
    } catch (const platform::SystemError& error) {
        problem_ = error.coded();
    } catch (const std::exception& error) {
        problem_ = platform::CodedText::service(QString::fromLocal8Bit(error.what()));
    }
    if (problem_ && tell_) {
        tell_(*problem_);
    }
}

void attach(KeyboardLink& link, const std::shared_ptr<Recorder>& recorder) {
    link.itemSeen = [recorder, told = link.itemSeen](const EkData& slot, const EkDataFile& item,
                                                     ItemMove move) {
        if (told) {
            told(slot, item, move);
        }
        recorder->saw(slot, item, move);
    };
    link.slotEmptied = [recorder, told = link.slotEmptied](const EkData& slot) {
        if (told) {
            told(slot);
        }
        recorder->emptied(slot);
    };
}

}  // namespace versions
