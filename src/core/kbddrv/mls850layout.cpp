#include "mls850layout.h"

#include <memory>

#include "data/datatypes.h"
#include "data/ekdatadrive.h"
#include "sysex/sysexrecords.h"

namespace mls850 {
namespace {

void appendSlots(EkDataDrive& parent, std::uint16_t type, int count, const char* word,
                 int bank = 0) {
    for (int number = 0; number < count; ++number) {
        auto* slot = parent.append(std::make_unique<EkData>(type));
        slot->setNumber(number);
        slot->setBank(bank);
        slot->setModelCode(sysex::kModelCode);
        slot->setName(placeholderName(word, number));
    }
}

EkDataDrive& appendArea(EkDataDrive& root, std::vector<std::string>& areaNames, std::uint16_t type,
                        const char* name, int capacity, int freeSpace) {
    auto* area = root.append(std::make_unique<EkDataDrive>(type));
    area->setName(name);
    area->setCapacity(capacity);
    area->setFreeSpace(freeSpace);
    areaNames.emplace_back(name);
    return *area;
}

EkDataDirectory& appendFolder(EkDataDrive& area, std::uint16_t type, const std::string& name) {
    auto* folder = area.append(std::make_unique<EkDataDirectory>(type));
    folder->setName(name);
    return *folder;
}

}  // namespace

int memoryAddress(std::uint16_t type, int bank, int number) {
    constexpr int kToneBase = 384;
    constexpr int kDspRhythmBase = 100;
    constexpr int kRegistrationBase = 16;
    switch (type) {
        case DataType::Tone:
            return number + kToneBase;
        case DataType::DSP:
        case DataType::Rhythm:
            return number + kDspRhythmBase;
        case DataType::Registration:
            return kBanks * number + bank +
                   kRegistrationBase;  // the banks of a number side by side
        default:
            return number;
    }
}

std::string registrationName(int bank, int number) {
    return "Preset" + std::to_string(bank) + std::to_string(number + 1);
}

bool isItemSize(std::uint16_t type, std::uint32_t bytes) {
    switch (type) {
        case DataType::Tone:
            return bytes == kToneSize;
        case DataType::DSP:
            return bytes == kDspSize;
        case DataType::Registration:
            return bytes == kRegistrationSize;
        case DataType::Song:
        case DataType::Rhythm:
            return bytes > 0 && bytes % 2 == 0;
        default:
            return false;
    }
}

std::string placeholderName(const char* word, int number) {
    return std::string(word) + " " + static_cast<char>('0' + number);
}

void buildLayout(EkDataDrive& root, std::vector<std::string>& areaNames) {
    appendSlots(appendArea(root, areaNames, DataType::Tone, kToneArea, kToneSlots * kToneSize, 0),
                DataType::Tone, kToneSlots, kUserSlotWord);
    appendSlots(appendArea(root, areaNames, DataType::DSP, kDspArea, kDspSlots * kDspSize, 0),
                DataType::DSP, kDspSlots, kUserSlotWord);

    EkDataDrive& registrations =
        appendArea(root, areaNames, DataType::Registration, kRegistrationArea,
                   kBanks * kRegistrationsPerBank * kRegistrationSize, 0);
    for (int bank = 0; bank < kBanks; ++bank) {
        EkDataDirectory& folder =
            appendFolder(registrations, DataType::Registration, kBankFolder + std::to_string(bank));
        appendSlots(folder, DataType::Registration, kRegistrationsPerBank, kUserSlotWord, bank);
    }

    EkDataDrive& songsAndRhythms = appendArea(root, areaNames, DataType::Song, kSongRhythmArea,
                                              kSongRhythmMemory, kSongRhythmMemory);
    appendSlots(appendFolder(songsAndRhythms, DataType::Song, kSongFolder), DataType::Song,
                kSongSlots, kSongSlotWord);
    appendSlots(appendFolder(songsAndRhythms, DataType::Rhythm, kRhythmFolder), DataType::Rhythm,
                kRhythmSlots, kUserSlotWord);
}

}  // namespace mls850
