#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "kbddrv/keyboardlink.h"
#include "platform/errorcatalog.h"

class EkData;
class EkDataFile;

namespace versions {

class Store;

// Records what a link tells of (items fetched, items sent and shown, slots emptied) as
// versions of one keyboard's slots. Recording never stops a command: a version that cannot be
// written is given up, and the first such failure is kept for the command to mention. The
// store is opened on the first version, on the thread that records (the keyboard's).
class Recorder {
public:
    // `keyboard` as keyboardIdentity says it; `source` says what the program was doing ("send
    // song.nvb tone:3"); `folder` is the store's.
    Recorder(QString keyboard, QString source, QString folder);
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void saw(const EkData& slot, const EkDataFile& item, ItemMove move);
    void emptied(const EkData& slot);
    // What kept a version from being recorded, the first time it happened.
    std::optional<platform::CodedText> problem() const { return problem_; }
    // Told of that first problem as it happens, on the recording thread.
    void onProblem(std::function<void(const platform::CodedText&)> tell) {
        tell_ = std::move(tell);
    }

private:
    void record(const EkData& slot, const EkDataFile* item, ItemMove move);

    QString keyboard_;
    QString source_;
    QString folder_;
    std::unique_ptr<Store> store_;
    std::optional<platform::CodedText> problem_;
    std::function<void(const platform::CodedText&)> tell_;
};

// Makes `link` tell `recorder` too, after whoever it told already. The recorder lives as long
// as the link's copies.
void attach(KeyboardLink& link, const std::shared_ptr<Recorder>& recorder);

}  // namespace versions
