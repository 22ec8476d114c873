#include "ekkbddrv.h"

#include <algorithm>

#include "ekkbd.h"
#include "ekkbddrvexception.h"
#include "itemkinds.h"
#include "mls850layout.h"
#include "platform/systemerror.h"
#include "slotaddress.h"
#include "unconfirmedchange.h"

namespace {

// An expected kind no keyboard answers: the kind travels in 14 bits.
constexpr int kNoKind = -1;

}  // namespace

class EkKbdDrv::PortSession {
public:
    explicit PortSession(EkKbdDrv& driver) : transceiver_(*driver.transceiver_) {
        transceiver_.openPorts(driver.inputDevice_, driver.outputDevice_);
    }
    ~PortSession() { transceiver_.closePorts(); }
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;

private:
    EkKbd& transceiver_;
};

EkKbdDrv::BusyScope::BusyScope(EkKbdDrv& driver) : busy_(driver.busy_) {
    if (busy_) {
        throw DriverBusyError();
    }
    busy_ = true;
}

EkKbdDrv& EkKbdDrv::instance(const std::string& model) {
    static std::unique_ptr<EkKbdDrv> driver;
    if (!driver) {
        driver = std::make_unique<EkKbdDrv>(model);
    }
    return *driver;
}

EkKbdDrv::EkKbdDrv(const std::string& model) : transceiver_(std::make_unique<EkKbd>()) {
    if (model == mls850::kModel) {
        expectedKind_ = 0;
        progressTotal_ = mls850::kListingProgress;
    } else {
        expectedKind_ = kNoKind;
        progressTotal_ = 0;
    }
    rebuildTree(model);
}

EkKbdDrv::~EkKbdDrv() = default;

int EkKbdDrv::requestRetries() const {
    return transceiver_->retries();
}

void EkKbdDrv::setRetryListener(std::function<void(RetryReason)> listener) {
    retryListener_ = std::move(listener);
    if (retryListener_) {
        transceiver_->setRetryListener([this] { noteRetry(RetryReason::AnswerLost); });
    } else {
        transceiver_->setRetryListener({});
    }
}

void EkKbdDrv::noteRetry(RetryReason reason) const {
    if (retryListener_) {
        retryListener_(reason);
    }
}

void EkKbdDrv::rebuildTree(const std::string& rootName) {
    cursorStack_.clear();
    root_ = std::make_unique<EkDataDrive>(DataType::Keyboard);
    root_->setName(rootName);
    areaNames_.clear();
    if (expectedKind_ == 0) {
        mls850::buildLayout(*root_, areaNames_);
    }
    cursor_ = {root_.get(), 0, 0};
}

void EkKbdDrv::disconnect() {
    BusyScope busy(*this);
    rebuildTree(root_->name());
    connected_ = false;
    ++listings_;
}

void EkKbdDrv::attachObserver(EkKbdDrvObserver* observer) {
    observers_.push_back(observer);
    std::sort(observers_.begin(), observers_.end());
    observers_.erase(std::unique(observers_.begin(), observers_.end()), observers_.end());
}

void EkKbdDrv::detachObserver(EkKbdDrvObserver* observer) {
    std::erase(observers_, observer);
}

void EkKbdDrv::notifyObservers() {
    for (EkKbdDrvObserver* observer : observers_) {
        observer->notify(*this);
    }
}

void EkKbdDrv::requireExpectedKind() {
    if (transceiver_->queryKeyboardKind() != expectedKind_) {
        throw EkKbdDrvException(EkKbdDrvException::UnknownKeyboard);
    }
}

void EkKbdDrv::getList(int inputDevice, int outputDevice) {
    BusyScope busy(*this);
    inputDevice_ = inputDevice;
    outputDevice_ = outputDevice;
    PortSession ports(*this);
    requireExpectedKind();
    for (int i = 0; i < areaCount(); ++i) {
        EkDataDrive* area = findArea(areaNames_[static_cast<std::size_t>(i)]);
        if (mls850::canBeEmptied(area->type())) {
            area->setFreeSpace(static_cast<std::int32_t>(transceiver_->queryFreeMemory()));
        }
        fillFolder(*EkDataDrive::from(root_->child(i)));
    }
    connected_ = true;
    ++listings_;
}

void EkKbdDrv::getSlots(int inputDevice, int outputDevice, const std::vector<EkData*>& slots) {
    BusyScope busy(*this);
    inputDevice_ = inputDevice;
    outputDevice_ = outputDevice;
    PortSession ports(*this);
    requireExpectedKind();
    bool songOrRhythm = false;
    for (EkData* slot : slots) {
        fillSlot(*slot);
        songOrRhythm = songOrRhythm || mls850::canBeEmptied(slot->type());
    }
    if (songOrRhythm) {
        if (EkDataDrive* area = findArea(mls850::kSongRhythmArea)) {
            area->setFreeSpace(static_cast<std::int32_t>(transceiver_->queryFreeMemory()));
        }
    }
}

void EkKbdDrv::fillFolder(EkDataDrive& folder) {
    progressStep_ = 0;
    for (int i = 0; i < folder.childCount(); ++i) {
        EkData& child = *folder.child(i);
        if (child.isDirectory()) {
            auto& directory = *EkDataDrive::from(&child);
            fillFolder(directory);
            if (mls850::canBeEmptied(directory.type())) {
                directory.setSize(transceiver_->queryFreeMemory());
            }
            directory.setPresent();
        } else {
            fillSlot(child);
        }
        notifyObservers();
        ++progressStep_;
    }
}

void EkKbdDrv::fillSlot(EkData& slot) {
    const SlotState state = askSlot(slot);
    if (!mls850::canBeEmptied(slot.type())) {
        // Another kind of keyboard gives no sizes: the slot keeps what it had.
        if (state.size != 0) {
            slot.setPresent();
            slot.setSize(state.size);
            slot.setName(state.name);
        }
        return;
    }
    slot.setSize(state.size);
    if (state.present) {
        slot.setPresent();
        slot.setName(state.name);
    } else {
        slot.clearPresent();
        slot.setName(state.name);
    }
}

bool EkKbdDrv::namesAreAsked(std::uint16_t type) {
    return type != DataType::Registration;
}

SlotState EkKbdDrv::askSlot(const EkData& slot) {
    const int number = slot.number();
    SlotState state;
    auto fixed = [&state](int size, auto readName) {
        state.size = static_cast<std::uint32_t>(size);
        state.present = size != 0;
        if (state.present) {
            state.name = readName();
        }
    };
    auto variable = [&state, number](std::uint32_t size, auto readName, const char* word) {
        state.size = size;
        state.present = size != 0;
        state.name = state.present ? readName() : mls850::placeholderName(word, number);
    };
    switch (slot.type()) {
        case DataType::Tone:
            fixed(transceiver_->toneSize(), [&] { return transceiver_->readToneName(number); });
            break;
        case DataType::DSP:
            fixed(transceiver_->dspSize(), [&] { return transceiver_->readDspName(number); });
            break;
        case DataType::Registration:
            fixed(transceiver_->registrationSize(),
                  [&] { return transceiver_->registrationName(slot.bank(), number); });
            break;
        case DataType::Song:
            variable(
                transceiver_->querySongSize(number),
                [&] { return transceiver_->readSongName(number); }, mls850::kSongSlotWord);
            break;
        case DataType::Rhythm:
            variable(
                transceiver_->queryRhythmSize(number),
                [&] { return transceiver_->readRhythmName(number); }, mls850::kUserSlotWord);
            break;
        default:
            break;
    }
    return state;
}

SlotState EkKbdDrv::readSlot(const EkData& slot) {
    BusyScope busy(*this);
    PortSession ports(*this);
    // The sizes of fixed items are known from the keyboard's kind.
    if (!mls850::canBeEmptied(slot.type())) {
        requireExpectedKind();
    }
    return askSlot(slot);
}

void EkKbdDrv::refreshSlot(EkData& slot) {
    if (!namesAreAsked(slot.type())) {
        return;
    }
    BusyScope busy(*this);
    PortSession ports(*this);
    if (!mls850::canBeEmptied(slot.type())) {
        requireExpectedKind();
    }
    fillSlot(slot);
}

std::string EkKbdDrv::areaName(int index) const {
    if (index < 0 || index >= areaCount()) {
        return {};
    }
    return areaNames_[static_cast<std::size_t>(index)];
}

EkDataDrive* EkKbdDrv::findArea(const std::string& name) const {
    const auto found = std::find(areaNames_.begin(), areaNames_.end(), name);
    if (found == areaNames_.end()) {
        return nullptr;
    }
    return EkDataDrive::from(root_->child(static_cast<int>(found - areaNames_.begin())));
}

namespace {

// The folder a path names below `folder`, or null when the path does not start with its name.
// A path that goes on past the folders that exist yields the deepest one reached.
EkDataDrive* resolveFrom(const std::string& path, EkDataDrive* folder) {
    const std::string& name = folder->name();
    if (!path.starts_with(name)) {
        return nullptr;
    }
    const std::string rest =
        path.size() > name.size() ? path.substr(name.size() + 1) : std::string();
    if (rest.empty()) {
        return folder;
    }
    for (int i = 0; i < folder->childCount(); ++i) {
        EkData* child = folder->child(i);
        if (child->isDirectory() && rest.starts_with(child->name())) {
            return resolveFrom(rest, EkDataDrive::from(child));
        }
    }
    return folder;
}

}  // namespace

EkDataDrive* EkKbdDrv::resolve(const std::string& path) const {
    for (int i = 0; i < areaCount(); ++i) {
        if (path.starts_with(areaNames_[static_cast<std::size_t>(i)])) {
            return resolveFrom(path, EkDataDrive::from(root_->child(i)));
        }
    }
    return nullptr;
}

bool EkKbdDrv::hasSubdirectories(const std::string& path) const {
    const EkDataDrive* folder = resolve(path);
    return folder != nullptr && folder->hasSubdirectory();
}

bool EkKbdDrv::scan(EkData*& item) {
    while (cursor_.index < static_cast<std::uint32_t>(cursor_.folder->childCount())) {
        EkData* child = cursor_.folder->child(static_cast<int>(cursor_.index));
        if ((child->kind() & cursor_.mask) != 0) {
            item = child;
            return true;
        }
        ++cursor_.index;
    }
    item = nullptr;
    return false;
}

bool EkKbdDrv::openDirectory(const std::string& path, std::uint8_t mask, EkData*& item) {
    EkDataDrive* folder = resolve(path);
    if (folder == nullptr) {
        item = nullptr;
        return false;
    }
    cursorStack_.push_back(cursor_);
    cursor_ = {folder, 0, mask};
    if (scan(item)) {
        return true;
    }
    closeDirectory();
    return false;
}

bool EkKbdDrv::nextItem(EkData*& item) {
    if (cursor_.folder == nullptr) {
        item = nullptr;
        return false;
    }
    ++cursor_.index;
    return scan(item);
}

void EkKbdDrv::closeDirectory() {
    if (cursorStack_.empty()) {
        return;
    }
    cursor_ = cursorStack_.back();
    cursorStack_.pop_back();
}

std::uint32_t EkKbdDrv::queryFreeMemory() {
    BusyScope busy(*this);
    PortSession ports(*this);
    return transceiver_->queryFreeMemory();
}

void EkKbdDrv::refreshAreaMemory(const std::string& areaName) {
    EkDataDrive* area = findArea(areaName);
    if (area == nullptr || !mls850::canBeEmptied(area->type())) {
        return;
    }
    BusyScope busy(*this);
    PortSession ports(*this);
    area->setFreeSpace(static_cast<std::int32_t>(transceiver_->queryFreeMemory()));
}

void EkKbdDrv::deleteData(EkData& item) {
    BusyScope busy(*this);
    PortSession ports(*this);
    std::string newName;
    std::function<void()> erase;
    std::function<std::uint32_t()> sizeNow;
    const int number = item.number();
    if (item.type() == DataType::Song) {
        erase = [this, number] { transceiver_->deleteSong(number); };
        sizeNow = [this, number] { return transceiver_->querySongSize(number); };
        newName = mls850::placeholderName(mls850::kSongSlotWord, number);
    } else if (item.type() == DataType::Rhythm) {
        erase = [this, number] { transceiver_->deleteRhythm(number); };
        sizeNow = [this, number] { return transceiver_->queryRhythmSize(number); };
        newName = mls850::placeholderName(mls850::kUserSlotWord, number);
    } else {
        throw EkKbdDrvException(EkKbdDrvException::UnknownKeyboard);
    }
    // The keyboard takes its messages in order, so the size asked after the deletion is the
    // size after it. Deleting an empty slot changes nothing, so asking again is safe.
    const SlotAddress address = SlotAddress::of(item);
    for (int attempt = 1;; ++attempt) {
        erase();
        std::uint32_t sizeAfter = 0;
        try {
            sizeAfter = sizeNow();
        } catch (...) {
            unconfirmed::rethrowFor(platform::ErrorCode::DeleteUnconfirmed, address);
        }
        if (sizeAfter == 0) {
            break;
        }
        if (attempt == kChangeTries) {
            const SlotState held = askSlot(item);
            throw platform::SystemError(
                platform::ErrorCode::DeleteNotConfirmed,
                {address.text(), QString::number(kChangeTries),
                 QString::fromLatin1(held.name.data(), qsizetype(held.name.size())),
                 QString::number(held.size)});
        }
        noteRetry(RetryReason::ChangeNotShown);
    }
    if (!areaNames_.empty()) {
        EkDataDrive* area = findArea(areaNames_.back());
        if (mls850::canBeEmptied(area->type())) {
            area->setFreeSpace(static_cast<std::int32_t>(transceiver_->queryFreeMemory()));
        }
    }
    item.setName(newName);
    item.setSize(0);
    item.clearPresent();
}
