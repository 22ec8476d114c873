#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ekmidi/ekexchange.h"
#include "kbddrv/ekkbddrv.h"
#include "nvbstream.h"
#include "sysex/eksysexdecoder.h"
#include "sysex/eksysexencoder.h"

class EkData;
class EkKbdDrv;

// The stream whose other side is one slot of the keyboard's memory. An item travels in blocks
// of at most 64 words, each acknowledged by the receiver before the next one goes; the
// observers are told after every block. The stream has its own ports, codec and answer timer;
// the driver only finds the slot and, around a send, checks and refreshes the free memory and
// deletes the old song.
class NvbMidiStream : public NvbStream {
public:
    // `slotPath`: the slot's path in the keyboard tree below its root, the area name, folder
    // names and the slot's name joined by backslashes ("Song Rhythm:\Song\Sunrise "). Throws
    // platform::SystemError when the path names no slot of the driver's tree.
    NvbMidiStream(const std::string& slotPath, int inputDevice, int outputDevice, EkKbdDrv& driver);
    // On a slot of the driver's tree given directly, with the path of its folder. Slot names
    // need not be unique within a folder; a caller that holds the slot itself uses this.
    NvbMidiStream(EkData& slot, const std::string& directoryPath, int inputDevice, int outputDevice,
                  EkKbdDrv& driver);
    ~NvbMidiStream() override;

    // Fetches the slot's data into the item, which then takes the slot's type, size and name.
    // On any failure the item is left as it was.
    void read(EkDataFile& item) override;
    // Stores the item into the slot: checks type and free memory, deletes an old song, sends the
    // blocks, ends with End, and updates the slot in the tree and the area's free memory. The
    // keyboard is then asked whether it holds the item; while it does not, the item is sent
    // again from its first block, EkKbdDrv::kChangeTries times in all, and then
    // platform::SystemError SendNotConfirmed (or SendNotConfirmedEmpty) says what the slot holds.
    void write(EkDataFile& item) override;
    // Called once by write(), after its checks and right before its first message that
    // changes the slot (the old song's deletion, the first block): a change recorded ahead is
    // recorded only when something will change.
    void setBeforeChange(std::function<void()> beforeChange) {
        beforeChange_ = std::move(beforeChange);
    }
    std::int32_t position() const override { return position_; }
    std::int32_t size() const override;

    EkData& slot() const { return *slot_; }
    const std::string& directoryPath() const { return directoryPath_; }

    // The largest item a transfer can address: block numbers travel in 14 bits.
    static constexpr std::uint32_t kMaxItemSize = sysex::kMaxItemBytes;
    // How often one block is sent again when the keyboard answers it with an unknown status;
    // on a fetch, how many blocks beyond those the item needs the keyboard may send.
    static constexpr int kMaxResends = 8;

    // The wire address of a slot from its type, number and bank.
    static int addressOf(const EkData& slot);

private:
    class OpenPorts;

    static EkData& findSlot(EkKbdDrv& driver, const std::string& slotPath);

    // Whether the keyboard holds `item` in the slot, and what it holds.
    struct Holding {
        bool item = false;
        SlotState state;
    };

    // The records and codec of a transfer of `size` bytes between the slot and `words`.
    void beginTransfer(std::uint32_t size, std::vector<std::uint16_t>& words);
    void fetchWords(std::uint32_t size, std::vector<std::uint16_t>& words);
    void sendBlocks(EkDataFile& item);
    Holding holds(const EkDataFile& item, const SlotState& before);
    SlotState heldNow();
    void exchange();
    void sendOnly();
    // Sends one block and returns the status that answers it, or kNotAStatus.
    std::uint8_t sendBlock(int block, int bytes);
    // Status values travel in 7 bits: this one never comes from the keyboard.
    static constexpr std::uint8_t kNotAStatus = 0xFF;

    std::int32_t position_ = 0;
    std::function<void()> beforeChange_;
    int inputDevice_;
    int outputDevice_;
    EkData* slot_ = nullptr;
    EkKbdDrv& driver_;
    std::string directoryPath_;
    EkSysExEncoder encoder_;
    EkSysExDecoder decoder_;
    EkExchange ports_;
    std::vector<std::uint8_t> sendBuffer_;
    std::vector<std::uint8_t> receiveBuffer_;
    AreaAddress record_;
    // Where the decoder puts a parameter message that comes in the middle of a transfer, so
    // that it is recognised and refused.
    ParamAddress unexpectedParam_;
};
