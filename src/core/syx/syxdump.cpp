#include "syxdump.h"

#include <QFileInfo>
#include <optional>
#include <set>
#include <utility>

#include "data/ekdatafile.h"
#include "kbddrv/mls850layout.h"
#include "platform/regularfile.h"
#include "sysex/ekexception.h"
#include "sysex/eksysexdecoder.h"
#include "sysex/eksysexencoder.h"
#include "sysex/midibytes.h"

namespace syx {

namespace {

constexpr int kManufacturerAt = 1;
constexpr int kModelHighAt = 2;
constexpr int kModelLowAt = 3;
constexpr int kTypeAreaAt = 5;  // the type in the high nibble, the area in the low one
constexpr int kAddressAt = 8;   // two 7-bit groups, low first
constexpr int kBlockNumberAt = 10;
constexpr int kHeaderBytes = 10;
constexpr int kByteBits = 8;
constexpr int kGroupBits = 7;
constexpr std::uint8_t kGroupMask = 0x7F;
constexpr std::uint8_t kNibbleMask = 0x0F;
constexpr int kNibbleBits = 4;

int twoGroups(const std::vector<std::uint8_t>& message, std::size_t at) {
    return (message[at] & kGroupMask) | ((message[at + 1] & kGroupMask) << kGroupBits);
}

bool isBlock(const std::vector<std::uint8_t>& message) {
    return (message[kTypeAreaAt] >> kNibbleBits) == SysExType::DataBlock;
}

bool isOurs(const std::vector<std::uint8_t>& message) {
    return message.size() >= std::size_t(kHeaderBytes) &&
           message[kManufacturerAt] == sysex::kManufacturer &&
           message[kModelHighAt] == (sysex::kModelCode >> kByteBits) &&
           message[kModelLowAt] == (sysex::kModelCode & 0xFF);
}

QString placeText(int area, int address) {
    if (const auto slot = SlotAddress::atMemoryAddress(area, address)) {
        return slot->text();
    }
    return QString("area %1, address %2").arg(area).arg(address);
}

// Gathers the blocks of one item after another, as the keyboard sends them.
class DumpAssembler {
public:
    explicit DumpAssembler(DumpContents& contents) : contents_(contents) {}

    void take(const std::vector<std::uint8_t>& message) {
        if (!isOurs(message)) {
            return;  // another maker's, or no frame of ours
        }
        AreaAddress record;
        ParamAddress param;
        decoder_.setAreaAddress(&record);
        decoder_.setParamAddress(&param);
        try {
            decoder_.decode(message);
        } catch (const EkSysExException& e) {
            // A block whose checksum or length is wrong is lost to its item; other messages
            // that do not decode are no part of an item.
            if (isBlock(message)) {
                takeBrokenBlock(message, e.code() == EkSysExException::BadChecksum);
            }
            return;
        }
        if (decoder_.type() == SysExType::DataBlock) {
            block(record.area, record.address, decoder_.blockNumber(), decoder_.words());
        } else if (decoder_.type() == SysExType::Status) {
            status(record.area, record.address, decoder_.status());
        }
        // Requests, parameter data: the program's side, or the listing's; no part of an item.
    }

    // The recording has ended, `unfinished` begun and never ended.
    void finish(const std::vector<std::uint8_t>& unfinished) {
        if (isOurs(unfinished) && isBlock(unfinished)) {
            switchTo(unfinished[kTypeAreaAt] & kNibbleMask, twoGroups(unfinished, kAddressAt));
            if (!current_->failed) {
                fail(platform::ErrorCode::DumpCutShort, {});
            }
        }
        if (current_ && !current_->failed) {
            if (current_->lastShort) {
                complete();
            } else {
                fail(platform::ErrorCode::DumpCutShort, {});
            }
        }
        current_.reset();
    }

private:
    struct Item {
        Item(int area, int address) : area(area), address(address) {}

        int area;
        int address;
        std::vector<std::uint16_t> words;
        int nextBlock = 0;
        bool lastShort = false;  // the last block taken was shorter than a whole one
        bool failed = false;     // reported; its further blocks are passed over
    };

    bool isCurrent(int area, int address) const {
        return current_ && current_->area == area && current_->address == address;
    }

    // The item at `area` and `address` is the one under way from here on. The one before is
    // whole only if its last block was.
    void switchTo(int area, int address) {
        if (isCurrent(area, address)) {
            return;
        }
        if (current_ && !current_->failed) {
            if (current_->lastShort) {
                complete();
            } else {
                fail(platform::ErrorCode::DumpMixedItems, {placeText(area, address)});
            }
        }
        current_.emplace(area, address);
    }

    void block(int area, int address, int number, const std::vector<std::uint16_t>& words) {
        const bool fresh = !isCurrent(area, address);
        switchTo(area, address);
        if (fresh && number != 0 && reported_.count({area, address}) > 0) {
            current_->failed = true;  // the rest of an item already said to be unusable
            return;
        }
        Item& item = *current_;
        if (item.failed) {
            // A new dump of the same slot starts again from its first block.
            if (number != 0) {
                return;
            }
            item = Item(area, address);
        }
        if (number == item.nextBlock - 1) {
            // Sent again: the keyboard did not hear the Ack. The later copy counts.
            const std::size_t first = std::size_t(number) * sysex::kWordsPerBlock;
            item.words.resize(first);
            item.words.insert(item.words.end(), words.begin(), words.end());
            item.lastShort = words.size() < std::size_t(sysex::kWordsPerBlock);
            return;
        }
        if (number != item.nextBlock || (item.lastShort && number > 0)) {
            fail(platform::ErrorCode::DumpMissingBlock,
                 {QString::number(item.nextBlock), QString::number(number)});
            return;
        }
        item.words.insert(item.words.end(), words.begin(), words.end());
        item.lastShort = words.size() < std::size_t(sysex::kWordsPerBlock);
        ++item.nextBlock;
        if (item.words.size() > sysex::kMaxItemBytes / 2) {
            fail(platform::ErrorCode::DumpWrongSize, {QString::number(2 * item.words.size())});
        }
    }

    // A block that did not decode: its checksum is wrong, or it was cut short.
    void takeBrokenBlock(const std::vector<std::uint8_t>& message, bool checksum) {
        const int area = message[kTypeAreaAt] & kNibbleMask;
        const int address = twoGroups(message, kAddressAt);
        // A block cut before its number counts as the first one missing.
        const int block = message.size() > std::size_t(kBlockNumberAt + 1)
                              ? twoGroups(message, kBlockNumberAt)
                              : 0;
        badBlock(area, address, block, checksum);
    }

    void badBlock(int area, int address, int number, bool checksum) {
        switchTo(area, address);
        if (current_->failed) {
            return;
        }
        if (checksum) {
            fail(platform::ErrorCode::DumpBadChecksum, {QString::number(number)});
        } else {
            // Cut short on the wire: as good as missing.
            fail(platform::ErrorCode::DumpMissingBlock,
                 {QString::number(number), QString::number(number + 1)});
        }
    }

    void status(int area, int address, int status) {
        if (!isCurrent(area, address) || current_->failed) {
            return;  // an Ack or an End of nothing under way
        }
        if (status == TransferStatus::Ack) {
            return;  // the program's side of a fetch
        }
        if (status == TransferStatus::End && current_->nextBlock > 0) {
            complete();
            return;
        }
        fail(platform::ErrorCode::DumpStoppedByStatus,
             {QString::number(status), QString::number(current_->nextBlock - 1)});
    }

    void complete() {
        Item& item = *current_;
        const auto slot = SlotAddress::atMemoryAddress(item.area, item.address);
        if (!slot) {
            fail(platform::ErrorCode::DumpUnknownAddress,
                 {QString::number(item.area), QString::number(item.address)});
        } else if (!mls850::isItemSize(slot->type(), std::uint32_t(2 * item.words.size()))) {
            fail(platform::ErrorCode::DumpWrongSize, {QString::number(2 * item.words.size())});
        } else {
            reported_.erase({item.area, item.address});
            contents_.items.push_back({*slot, std::move(item.words)});
        }
        current_.reset();
    }

    void fail(platform::ErrorCode reason, const QStringList& args) {
        Item& item = *current_;
        contents_.unusable.push_back(platform::CodedText(platform::ErrorCode::DumpItemUnusable,
                                                         {placeText(item.area, item.address)})
                                         .because({reason, args}));
        item.failed = true;
        item.words.clear();
        reported_.insert({item.area, item.address});
    }

    DumpContents& contents_;
    EkSysExDecoder decoder_;
    std::optional<Item> current_;
    // The items said to be unusable: their later blocks are not reported again, until a block 0
    // starts a new dump of them.
    std::set<std::pair<int, int>> reported_;
};

}  // namespace

void DumpedItem::fill(EkDataFile& item) const {
    item.setType(type());
    item.words() = words;
    item.setSize(size());
    if (type() == DataType::Registration) {
        // A registration's data holds no name: it gets the one the keyboard's list gives it.
        item.storeName(mls850::registrationName(slot.bank, slot.number));
    } else {
        item.loadName();
    }
}

std::string DumpedItem::name() const {
    EkDataFile item(DataType::NoType);
    fill(item);
    return item.name();
}

std::vector<std::uint8_t> dumpOf(const EkDataFile& item, const SlotAddress& slot) {
    std::vector<std::uint16_t> words = item.words();
    words.resize(item.size() / 2);
    AreaAddress record{std::uint8_t(item.type()), std::int32_t(item.size()),
                       mls850::memoryAddress(item.type(), slot.bank, slot.number), &words};
    EkSysExEncoder encoder;
    encoder.setModelCode(sysex::kModelCode);
    encoder.setDeviceNumber(sysex::kDeviceNumber);
    encoder.setAreaAddress(&record);
    std::vector<std::uint8_t> out;
    const int totalWords = int(words.size());
    for (int block = 0; block * sysex::kWordsPerBlock < totalWords; ++block) {
        const int count =
            std::min(sysex::kWordsPerBlock, totalWords - block * sysex::kWordsPerBlock);
        encoder.setType(SysExType::DataBlock);
        encoder.setBlockNumber(std::uint16_t(block));
        encoder.setDataSize(std::uint8_t(2 * count));
        encoder.encode(out);
    }
    encoder.setType(SysExType::Status);
    encoder.setStatus(TransferStatus::End);
    encoder.encode(out);
    return out;
}

DumpContents readDump(std::span<const std::uint8_t> bytes) {
    DumpContents contents;
    DumpAssembler assembler(contents);
    sysex::MidiByteReader reader;
    for (const auto& message : reader.feed(bytes)) {
        assembler.take(message);
    }
    assembler.finish(reader.unfinished());
    return contents;
}

DumpContents readDumpFile(const QString& path) {
    const QByteArray bytes = platform::readRegularFile(path, kMaxDumpFile);
    return readDump(
        {reinterpret_cast<const std::uint8_t*>(bytes.constData()), std::size_t(bytes.size())});
}

bool isDumpFile(const QString& path) {
    return path.endsWith(QLatin1String(kSuffix), Qt::CaseInsensitive);
}

}  // namespace syx
