// Writes the fuzz targets' seed corpora from valid traffic: each target starts from inputs the
// real program, file stream and software keyboard make, so the fuzzer begins deep inside.
//   fuzz_make_seeds DIR   (writes DIR/<target>/seed-N)

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/slotaddress.h"
#include "kbdsim/simulatedkeyboard.h"
#include "kbdsim/simulatordevice.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbmidistream.h"
#include "sysex/eksysexencoder.h"
#include "syx/syxdump.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class SeedWriter {
public:
    SeedWriter(const QString& root, const QString& target) : dir_(root + "/" + target) {
        QDir().mkpath(dir_);
    }
    void write(const QByteArray& bytes) {
        QFile file(QString("%1/seed-%2").arg(dir_).arg(++count_));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(bytes);
        }
    }
    void write(const Bytes& bytes) {
        write(QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())));
    }

private:
    QString dir_;
    int count_ = 0;
};

Bytes frame(std::uint8_t type, std::uint8_t area, int address, ParamAddress* param = nullptr,
            std::vector<std::uint16_t>* words = nullptr, std::uint16_t block = 0) {
    AreaAddress record{area, words ? std::int32_t(words->size() * 2) : 0, address, words};
    EkSysExEncoder encoder;
    encoder.setModelCode(sysex::kModelCode);
    encoder.setDeviceNumber(sysex::kDeviceNumber);
    encoder.setAreaAddress(&record);
    encoder.setParamAddress(param);
    encoder.setType(type);
    if (type == SysExType::DataBlock) {
        encoder.setBlockNumber(block);
        encoder.setDataSize(std::uint8_t(std::min<std::size_t>(128, words->size() * 2)));
    }
    if (type == SysExType::Status) {
        encoder.setStatus(TransferStatus::Ack);
    }
    Bytes out;
    encoder.encode(out);
    return out;
}

void decoderSeeds(const QString& root) {
    SeedWriter seeds(root, "fuzz_sysexdecoder");
    ParamAddress kind{0, 14, 1, {0, 0, 0, 0}, 0};
    ParamAddress name{96, 32, 1, {0, 0, 0, 0}, 0x57617276};
    std::vector<std::uint16_t> words(256, 0x1234);
    seeds.write(frame(SysExType::ParamRequest, 0, 0, &kind));
    seeds.write(frame(SysExType::ParamData, 2, 384, &name));
    seeds.write(frame(SysExType::Status, 10, 0));
    seeds.write(frame(SysExType::DataRequest, 10, 1));
    seeds.write(frame(SysExType::DataBlock, 10, 0, nullptr, &words, 3));
}

void fileSeeds(const QString& root, const QString& scratch) {
    SeedWriter seeds(root, "fuzz_nvbfile");
    for (const auto& [type, size] : {std::pair{DataType::Tone, 60}, {DataType::Song, 300}}) {
        EkDataFile item(type);
        item.setSize(std::uint32_t(size));
        item.words().assign(std::size_t(size) / 2, 0xBEEF);
        item.storeName("Seed    ");
        const QString path = scratch + "/seed.nvb";
        NvbFileStream(path, NvbFileStream::Create).write(item);
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        seeds.write(file.readAll());
    }
}

// Dumps as the keyboard sends them: one tone, and a registration, a song and a rhythm one after
// another with a block sent twice.
void dumpSeeds(const QString& root) {
    SeedWriter seeds(root, "fuzz_syxreader");
    Bytes all;
    for (const auto& [slot, size] :
         {std::pair{"tone:1", 60}, {"reg:1.2", 176}, {"song:0", 300}, {"rhythm:3", 130}}) {
        const SlotAddress address = *SlotAddress::parse(slot);
        EkDataFile item(address.type());
        item.setSize(std::uint32_t(size));
        item.words().assign(std::size_t(size) / 2, 0x2A55);
        const Bytes dump = syx::dumpOf(item, address);
        if (all.empty()) {
            seeds.write(dump);
        }
        all.insert(all.end(), dump.begin(), dump.end());
    }
    seeds.write(all);
}

// The software keyboard's answers to a listing and one transfer, as the fuzz keyboard plays
// them back: the operation and slot bytes, then [0][length][frame] per answer.
void keyboardSeeds(const QString& root) {
    SeedWriter seeds(root, "fuzz_keyboard");
    for (const auto& [operation, slotText] :
         {std::pair{0, "song:0"}, {1, "song:0"}, {1, "tone:3"}, {1, "reg:1.2"}, {2, "tone:3"}}) {
        kbdsim::SimulatedKeyboard keyboard;
        keyboard.setTiming({false, {}});
        kbdsim::SimulatorDevice device("Seed MLS-850", &keyboard);
        auto& service = platform::MidiService::instance();
        service.addVirtualDevice(&device);
        const int number = int(service.inputDevices().indexOf(device.name()));
        service.outputDevices();
        QByteArray seed;
        QObject::connect(&keyboard, &kbdsim::SimulatedKeyboard::traffic,
                         [&seed](bool fromProgram, const QByteArray& message) {
                             if (!fromProgram) {
                                 seed.append(char(0));
                                 seed.append(char(message.size()));
                                 seed.append(message);
                             }
                         });
        EkKbdDrv driver("MLS-850");
        driver.getList(number, number);
        const auto slots = allSlots(driver);
        std::size_t index = 0;
        while (slots[index].first.text() != slotText) {
            ++index;
        }
        const SlotInTree& where = slots[index].second;
        NvbMidiStream stream(*where.slot, where.directoryPath, number, number, driver);
        if (operation == 1) {
            EkDataFile item(DataType::NoType);
            stream.read(item);
        } else if (operation == 2) {
            EkDataFile item(where.slot->type());
            item.setSize(where.slot->size());
            item.words().assign(where.slot->size() / 2, 0x1234);
            item.storeName("Fuzzed  ");
            stream.write(item);
        }
        seeds.write(QByteArray(1, char(operation)) + QByteArray(1, char(index)) + seed);
    }
}

void simulatorSeeds(const QString& root) {
    SeedWriter state(root, "fuzz_kbdsimstate");
    state.write(QJsonDocument(kbdsim::KeyboardMemory::demo().toJson()).toJson());
    state.write(QJsonDocument(kbdsim::KeyboardMemory().toJson()).toJson());

    SeedWriter requests(root, "fuzz_kbdsimrequests");
    ParamAddress kind{0, 14, 1, {0, 0, 0, 0}, 0};
    ParamAddress songSize{38, 32, 1, {0, 0, 0, 0}, 0};
    ParamAddress deleteSong{32, 8, 1, {0, 0, 0, 0}, 1};
    std::vector<std::uint16_t> words(30, 0x0102);
    QByteArray seed;
    for (const Bytes& message :
         {frame(SysExType::ParamRequest, 0, 0, &kind),
          frame(SysExType::ParamRequest, 0, 0, &songSize), frame(SysExType::DataRequest, 10, 0),
          frame(SysExType::Status, 10, 0), frame(SysExType::DataBlock, 2, 384, nullptr, &words),
          frame(SysExType::ParamData, 0, 0, &deleteSong)}) {
        seed.append(char(message.size()));
        seed.append(reinterpret_cast<const char*>(message.data()), qsizetype(message.size()));
    }
    requests.write(seed);
}

void slotSeeds(const QString& root) {
    SeedWriter seeds(root, "fuzz_slotargument");
    for (const char* text : {"tone:3", "dsp:9", "reg:1.2", "song:0", "rhythm:3"}) {
        seeds.write(QByteArray(text));
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: fuzz_make_seeds DIR\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(root);
    decoderSeeds(root);
    fileSeeds(root, root);
    keyboardSeeds(root);
    simulatorSeeds(root);
    slotSeeds(root);
    dumpSeeds(root);
    QFile::remove(root + "/seed.nvb");
    return 0;
}
