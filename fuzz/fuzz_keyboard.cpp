// The program's driver and keyboard stream against a keyboard that answers every message it
// receives with the next frame of the fuzzer's bytes: a listing, then an import or a send. Every
// failure must be one the window can show (the program's own codes, a system error); nothing
// else may escape, crash or leak. When the bytes run out the keyboard refuses (a Status
// Rejected for the area and address asked), so every run ends quickly.
//
// Input: an operation byte (0 list, 1 list and import, 2 list and send), a slot byte, then
// frames of [control][length][bytes]; control bit 0 copies the request's area, command,
// address and parameter bytes into the frame, so most frames get past the answer check.

#include <QCoreApplication>
#include <QTemporaryDir>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/slotaddress.h"
#include "platform/answertimer.h"
#include "platform/midiservice.h"
#include "platform/systemerror.h"
#include "stream/nvbmidistream.h"
#include "stream/nvbstreamexception.h"
#include "sysex/ekexception.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class FuzzKeyboard : public platform::VirtualMidiDevice {
public:
    FuzzKeyboard() : VirtualMidiDevice("Fuzz MLS-850") {
        platform::MidiService::instance().addVirtualDevice(this);
    }

    void play(const std::uint8_t* data, std::size_t size) {
        data_ = data;
        size_ = size;
    }

protected:
    void receive(const Bytes& request) override {
        if (size_ < 2) {
            transmit(refusal(request));
            return;
        }
        const std::uint8_t control = data_[0];
        const std::size_t length = std::min<std::size_t>(data_[1], size_ - 2);
        Bytes frame(data_ + 2, data_ + 2 + length);
        data_ += 2 + length;
        size_ -= 2 + length;
        if ((control & 1) != 0 && request.size() >= 11) {
            for (std::size_t at :
                 {std::size_t(6), std::size_t(8), std::size_t(9), std::size_t(10)}) {
                if (at < frame.size()) {
                    frame[at] = request[at];
                }
            }
            if (frame.size() > 5) {
                frame[5] = std::uint8_t((frame[5] & 0xF0) | (request[5] & 0x0F));
            }
        }
        transmit(frame);
    }

private:
    static Bytes refusal(const Bytes& request) {
        if (request.size() < 10) {
            return {};
        }
        return {0xF0, 0x44, 0x11,       0x01,       0x7F, std::uint8_t(0x70 | (request[5] & 0x0F)),
                0x00, 0x00, request[8], request[9], 0x02, 0xF7};
    }

    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

struct Harness {
    Harness() {
        // A request the random keyboard leaves unanswered costs milliseconds, not 200.
        platform::AnswerTimer::setAnswerTime(std::chrono::milliseconds(5));
        auto& service = platform::MidiService::instance();
        device = int(service.inputDevices().indexOf(keyboard.name()));
        service.outputDevices();
    }
    FuzzKeyboard keyboard;
    int device = -1;
    QTemporaryDir folder;
};

Harness* harness = nullptr;

void transfer(EkKbdDrv& driver, std::uint8_t operation, std::uint8_t slotByte) {
    const auto slots = allSlots(driver);
    const SlotInTree& where = slots[slotByte % slots.size()].second;
    EkData& slot = *where.slot;
    NvbMidiStream stream(slot, where.directoryPath, harness->device, harness->device, driver);
    if (operation == 1) {
        EkDataFile item(DataType::NoType);
        stream.read(item);
        // A fetch that succeeds holds every word the slot announced.
        if (item.words().size() * 2 != slot.size() || item.size() != slot.size()) {
            std::abort();
        }
    } else {
        EkDataFile item(slot.type());
        const std::uint32_t size = slot.isPresent() && slot.size() > 0 ? slot.size() : 300;
        item.setSize(size);
        item.words().assign(size / 2, 0x1234);
        item.storeName("Fuzzed  ");
        stream.write(item);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    static Harness instance;
    harness = &instance;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    harness->keyboard.play(data + 2, size - 2);
    EkKbdDrv driver("MLS-850");
    try {
        driver.getList(harness->device, harness->device);
    } catch (const EkException&) {
    } catch (const platform::SystemError&) {
    }
    if (data[0] % 3 != 0) {
        try {
            transfer(driver, data[0] % 3, data[1]);
        } catch (const EkException&) {
        } catch (const platform::SystemError&) {
        }
    }
    return 0;
}
