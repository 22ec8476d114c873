#include "nvbmidistream.h"

#include <algorithm>
#include <exception>
#include <utility>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/itemkinds.h"
#include "kbddrv/mls850layout.h"
#include "kbddrv/slotaddress.h"
#include "kbddrv/unconfirmedchange.h"
#include "nvbstreamexception.h"
#include "platform/systemerror.h"
#include "sysex/ekexception.h"

namespace {

// The folder part of a slot path: up to its last backslash, which is dropped unless a colon or
// another backslash stands right before it ("Tone:\User 0" gives "Tone:\", "Song Rhythm:\Song\X"
// gives "Song Rhythm:\Song").
std::string directoryOf(const std::string& path) {
    const auto last = path.rfind('\\');
    if (last == std::string::npos) {
        return {};
    }
    if (last > 0 && (path[last - 1] == ':' || path[last - 1] == '\\')) {
        return path.substr(0, last + 1);
    }
    return path.substr(0, last);
}

std::string lastComponent(const std::string& path) {
    const auto last = path.rfind('\\');
    return last == std::string::npos ? path : path.substr(last + 1);
}

std::string areaOf(const std::string& path) {
    return path.substr(0, path.find('\\'));
}

// What of a slot's area and address travels in a message header.
constexpr std::uint8_t kAreaMask = 0x0F;
constexpr std::int32_t kAddressMask = 0x3FFF;

}  // namespace

// Opens the stream's ports and closes them when it goes, on every path; a fetch closes its
// input first, a send its output.
class NvbMidiStream::OpenPorts {
public:
    OpenPorts(NvbMidiStream& stream, bool inputClosesFirst)
        : ports_(stream.ports_),
          inputClosesFirst_(inputClosesFirst),
          exceptionsBefore_(std::uncaught_exceptions()) {
        ports_.open(stream.inputDevice_, stream.outputDevice_);
    }
    // A transfer that fails closes its output first, as a time-out does.
    ~OpenPorts() {
        ports_.close(inputClosesFirst_ && std::uncaught_exceptions() == exceptionsBefore_);
    }
    OpenPorts(const OpenPorts&) = delete;
    OpenPorts& operator=(const OpenPorts&) = delete;

private:
    EkExchange& ports_;
    bool inputClosesFirst_;
    int exceptionsBefore_;
};

NvbMidiStream::NvbMidiStream(const std::string& slotPath, int inputDevice, int outputDevice,
                             EkKbdDrv& driver)
    : NvbMidiStream(findSlot(driver, slotPath), directoryOf(slotPath), inputDevice, outputDevice,
                    driver) {}

NvbMidiStream::NvbMidiStream(EkData& slot, const std::string& directoryPath, int inputDevice,
                             int outputDevice, EkKbdDrv& driver)
    : inputDevice_(inputDevice),
      outputDevice_(outputDevice),
      slot_(&slot),
      driver_(driver),
      directoryPath_(directoryPath) {}

EkData& NvbMidiStream::findSlot(EkKbdDrv& driver, const std::string& slotPath) {
    const std::string slotName = lastComponent(slotPath);
    EkData* item = nullptr;
    if (driver.openDirectory(directoryOf(slotPath), walk::kSlots, item)) {
        while (item != nullptr && item->name() != slotName) {
            driver.nextItem(item);
        }
        driver.closeDirectory();
    }
    // A path that names no slot must not fall back on whatever slot was looked at last.
    if (item == nullptr || item->isContainer()) {
        throw platform::SystemError(platform::ErrorCode::NoSuchSlotPath,
                                    {QString::fromStdString(slotPath)});
    }
    return *item;
}

NvbMidiStream::~NvbMidiStream() = default;

int NvbMidiStream::addressOf(const EkData& slot) {
    return mls850::memoryAddress(slot.type(), slot.bank(), slot.number());
}

std::int32_t NvbMidiStream::size() const {
    return static_cast<std::int32_t>(slot_->size());
}

void NvbMidiStream::beginTransfer(std::uint32_t size, std::vector<std::uint16_t>& words) {
    record_ = {static_cast<std::uint8_t>(slot_->type()), static_cast<std::int32_t>(size),
               addressOf(*slot_), &words};
    encoder_.setModelCode(sysex::kModelCode);
    encoder_.setDeviceNumber(sysex::kDeviceNumber);
    encoder_.setAreaAddress(&record_);
    decoder_.setAreaAddress(&record_);
    decoder_.setParamAddress(&unexpectedParam_);
    position_ = 0;
}

void NvbMidiStream::exchange() {
    sendBuffer_.clear();
    encoder_.encode(sendBuffer_);
    ports_.request(sendBuffer_, receiveBuffer_);
    decoder_.setAreaAddress(&record_);
    decoder_.decode(receiveBuffer_);
}

void NvbMidiStream::sendOnly() {
    sendBuffer_.clear();
    encoder_.encode(sendBuffer_);
    ports_.send(sendBuffer_);
}

void NvbMidiStream::read(EkDataFile& item) {
    // Fetched into a buffer of its own: the item changes only once the whole item has arrived.
    std::vector<std::uint16_t> words;
    fetchWords(slot_->size(), words);
    item.words() = std::move(words);
    item.adopt(*slot_);
}

void NvbMidiStream::fetchWords(std::uint32_t size, std::vector<std::uint16_t>& fetched) {
    // The buffer is sized from the listing: never from a size no keyboard can hold.
    if (size % 2 != 0 || size > kMaxItemSize) {
        throw EkSysExException(EkSysExException::InvalidMessage);
    }
    std::vector<std::uint16_t> words(size / 2, 0);
    beginTransfer(size, words);
    encoder_.setType(SysExType::DataRequest);

    // Blocks arrive in order; the last one may come once more (the keyboard did not hear its
    // Ack). Anything else, an End before every word, or more blocks than the item needs plus a
    // few, is a broken transfer: nothing of it may be saved as if it were the item.
    const std::size_t blocksNeeded =
        (words.size() + sysex::kWordsPerBlock - 1) / sysex::kWordsPerBlock;
    std::size_t nextBlock = 0;
    std::size_t blocksTaken = 0;
    bool lastRepeated = false;
    const auto broken = [] { return EkSysExException(EkSysExException::CommError); };
    // Every block must be of this slot: a keyboard answers every program that listens, and a
    // block of another slot (another program's fetch) must never be saved as this item.
    const std::uint8_t area = record_.area & kAreaMask;
    const std::int32_t address = record_.address & kAddressMask;

    EkKbdDrv::BusyScope busy(driver_);
    {
        OpenPorts ports(*this, true);
        for (;;) {
            exchange();
            if (decoder_.type() == SysExType::DataBlock) {
                if (++blocksTaken > blocksNeeded + kMaxResends || record_.area != area ||
                    record_.address != address) {
                    throw broken();
                }
                const auto& block = decoder_.words();
                const std::size_t number = decoder_.blockNumber();
                const std::size_t first = number * sysex::kWordsPerBlock;
                const bool repeat = nextBlock > 0 && number == nextBlock - 1;
                if ((number != nextBlock && (!repeat || lastRepeated)) || first >= words.size() ||
                    block.size() !=
                        std::min<std::size_t>(sysex::kWordsPerBlock, words.size() - first)) {
                    throw broken();
                }
                std::copy(block.begin(), block.end(),
                          words.begin() + static_cast<std::ptrdiff_t>(first));
                lastRepeated = repeat;
                if (!repeat) {
                    ++nextBlock;
                    position_ += static_cast<std::int32_t>(2 * block.size());
                    notifyObservers();
                }
                encoder_.setType(SysExType::Status);
                encoder_.setStatus(TransferStatus::Ack);
            } else if (decoder_.type() == SysExType::Status) {
                if (decoder_.status() != TransferStatus::End) {
                    throw EkSysExException::forStatus(decoder_.status());
                }
                if (nextBlock != blocksNeeded) {
                    throw broken();
                }
                break;
            } else {
                // A parameter message has no place in a transfer: say so, and fail.
                encoder_.setType(SysExType::Status);
                encoder_.setStatus(TransferStatus::Error);
                sendOnly();
                throw EkSysExException(EkSysExException::InvalidMessage);
            }
        }
    }
    fetched = std::move(words);
}


std::uint8_t NvbMidiStream::sendBlock(int block, int bytes) {
    encoder_.setType(SysExType::DataBlock);
    encoder_.setBlockNumber(static_cast<std::uint16_t>(block));
    encoder_.setDataSize(static_cast<std::uint8_t>(bytes));
    exchange();
    // Anything but a status answers nothing: it counts as an unknown status.
    return decoder_.type() == SysExType::Status ? decoder_.status() : kNotAStatus;
}

void NvbMidiStream::sendBlocks(EkDataFile& item) {
    const std::uint32_t size = item.size();
    // Every try starts from block 0, which begins a new item on the keyboard: an item the
    // keyboard holds back for want of its End is dropped, never completed by a lone second
    // End (whose effect on a keyboard that did commit is not known).
    beginTransfer(size, item.words());
    EkKbdDrv::BusyScope busy(driver_);
    OpenPorts ports(*this, false);
    int remaining = static_cast<int>(size);
    int block = 0;
    int resends = 0;
    while (remaining > 0) {
        const int bytes = std::min(remaining, sysex::kBytesPerBlock);
        const bool last = bytes == remaining;
        const std::uint8_t status = sendBlock(block, bytes);
        if (status == TransferStatus::Ack) {
            ++block;
            remaining -= bytes;
            position_ += bytes;
            resends = 0;
            notifyObservers();
        } else if (status == TransferStatus::Rejected || status == TransferStatus::Error) {
            throw EkSysExException::forStatus(status);
        } else if (last && status != kNotAStatus) {
            // The keyboard's way with the last block: any other status counts as taken.
            remaining = 0;
        } else if (++resends > kMaxResends) {
            // The same block again and again: give up rather than loop for ever.
            throw EkSysExException::forStatus(status);
        }
    }
    encoder_.setType(SysExType::Status);
    encoder_.setStatus(TransferStatus::End);
    sendOnly();
}

// The keyboard answers neither the End nor anything after it, and a cable can lose the End:
// only asking tells whether the item was taken. What is asked is the least that tells the
// item from what the slot held before:
// - a name and size the slot did not hold before (a new song, a tone of another name): the
//   slot's name and size by parameter requests, two for a tone or DSP setting, three for a
//   song or rhythm, far less than the item's blocks;
// - the same name and size as before (an item sent again after a change, a registration,
//   whose name is fixed and cannot be asked): only the data tells, so the item is fetched and
//   compared word for word. A tone, DSP setting or registration is one or two blocks; a song
//   or rhythm of the same name and size costs a second transfer.
// A name that differs where the size agrees is settled by the data too: the keyboard's name
// requests end a name at its first zero byte, its data does not.
NvbMidiStream::Holding NvbMidiStream::holds(const EkDataFile& item, const SlotState& before) {
    const bool sameAsBefore =
        before.present && before.size == item.size() && before.name == item.name();
    if (EkKbdDrv::namesAreAsked(slot_->type()) && !sameAsBefore) {
        const SlotState now = driver_.readSlot(*slot_);
        if (!now.present || now.size != item.size()) {
            return {false, now};
        }
        if (now.name == item.name()) {
            return {true, now};
        }
    }
    std::vector<std::uint16_t> held;
    try {
        fetchWords(item.size(), held);
    } catch (const EkSysExException& e) {
        // A slot whose item is of another size breaks the fetch off; a lost link is the link's.
        if (e.code() == EkSysExException::Timeout) {
            throw;
        }
        return {false, heldNow()};
    }
    const auto& sent = item.words();
    const bool same = held.size() <= sent.size() && std::equal(held.begin(), held.end(), sent.begin());
    return {same, same ? SlotState{true, item.size(), item.name()} : heldNow()};
}

SlotState NvbMidiStream::heldNow() {
    if (EkKbdDrv::namesAreAsked(slot_->type())) {
        return driver_.readSlot(*slot_);
    }
    return {slot_->isPresent(), slot_->size(), slot_->name()};
}

void NvbMidiStream::write(EkDataFile& item) {
    if (item.type() != slot_->type()) {
        throw NvbStreamException(NvbStreamException::TypeMismatch);
    }
    const std::uint32_t size = item.size();
    // Checked before anything is deleted on the keyboard. An item of a size its type cannot
    // have is no item of this keyboard: an empty one would only wipe a song, a tone of 80 bytes
    // would be taken in part, an odd-sized song would lose its last byte.
    if (!mls850::isItemSize(item.type(), size)) {
        throw NvbStreamException(NvbStreamException::NotNvbFile);
    }
    if (size > kMaxItemSize) {
        throw platform::SystemError(platform::ErrorCode::ItemTooLarge,
                                    {QString::number(size), QString::number(kMaxItemSize)});
    }
    if (item.words().size() * 2 < size) {
        throw platform::SystemError(
            platform::ErrorCode::ItemShortNotSent,
            {QString::number(size), QString::number(item.words().size() * 2)});
    }
    if (mls850::canBeEmptied(slot_->type())) {
        // A song slot's old song is deleted before the new one goes, so its bytes count as
        // free: a song can replace itself, or a larger one, in a full memory. A rhythm is not
        // deleted first, so only the free memory counts.
        const bool replacesSong = slot_->type() == DataType::Song && slot_->isPresent();
        const std::uint64_t available =
            std::uint64_t(driver_.queryFreeMemory()) + (replacesSong ? slot_->size() : 0);
        if (available < size) {
            throw NvbStreamException(NvbStreamException::NotEnoughMemory);
        }
    }
    if (beforeChange_) {
        std::exchange(beforeChange_, {})();
    }
    if (slot_->type() == DataType::Song) {
        driver_.deleteData(*slot_);
    }

    // What the slot holds as the first block goes: what a send the keyboard did not take
    // leaves there. The tree shows it: every change reads its slot from the keyboard right
    // before it keeps the old item (EkKbdDrv::refreshSlot), never trusting a listing the panel
    // may have outdated, and the song deleted above has been seen gone.
    const SlotState before{slot_->isPresent(), slot_->size(), slot_->name()};
    for (int attempt = 1;; ++attempt) {
        sendBlocks(item);
        Holding now;
        try {
            now = holds(item, before);
        } catch (...) {
            unconfirmed::rethrowFor(platform::ErrorCode::ChangeUnconfirmed, SlotAddress::of(*slot_));
        }
        if (now.item) {
            break;
        }
        if (attempt == EkKbdDrv::kChangeTries) {
            const QString slotText = SlotAddress::of(*slot_).text();
            const QString tries = QString::number(EkKbdDrv::kChangeTries);
            if (!now.state.present) {
                throw platform::SystemError(platform::ErrorCode::SendNotConfirmedEmpty,
                                            {slotText, tries});
            }
            throw platform::SystemError(
                platform::ErrorCode::SendNotConfirmed,
                {slotText, tries,
                 QString::fromLatin1(now.state.name.data(), qsizetype(now.state.name.size())),
                 QString::number(now.state.size)});
        }
        driver_.noteRetry(RetryReason::ChangeNotShown);
    }

    slot_->setName(item.name());
    slot_->setSize(size);
    slot_->setPresent();
    item.setBank(slot_->bank());
    item.setNumber(slot_->number());
    driver_.refreshAreaMemory(areaOf(directoryPath_));
}
