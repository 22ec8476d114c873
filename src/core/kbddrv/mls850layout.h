#pragma once

#include <cstdint>
#include <string>
#include <vector>

class EkDataDrive;

namespace mls850 {

inline constexpr const char* kModel = "MLS-850";
inline constexpr int kSongRhythmMemory = 21504;
// The fixed sizes of the items that are not songs or rhythms, in bytes.
inline constexpr int kToneSize = 60;
inline constexpr int kDspSize = 36;
inline constexpr int kRegistrationSize = 176;

// The memory areas as the keyboard's list names them (drives in the data tree), their folders,
// and the words of the empty slots' placeholder names ("User 3", "Song 1").
inline constexpr const char* kToneArea = "Tone:";
inline constexpr const char* kDspArea = "DSP:";
inline constexpr const char* kRegistrationArea = "Registration:";
inline constexpr const char* kSongRhythmArea = "Song Rhythm:";
inline constexpr const char* kBankFolder = "Bank";  // followed by the bank's digit
inline constexpr const char* kSongFolder = "Song";
inline constexpr const char* kRhythmFolder = "Rhythm";
inline constexpr const char* kUserSlotWord = "User";
inline constexpr const char* kSongSlotWord = "Song";
// How many slots each area or folder has.
inline constexpr int kToneSlots = 10;
inline constexpr int kDspSlots = 10;
inline constexpr int kBanks = 4;
inline constexpr int kRegistrationsPerBank = 4;
inline constexpr int kSongSlots = 2;
inline constexpr int kRhythmSlots = 4;

// The progress a full listing reports, the window's bar maximum. Each slot of a folder adds its
// position in the folder (0 + 1 + ... + n-1); a folder inside an area (a bank, Song, Rhythm)
// reports once more after its slots and adds their count.
constexpr int listingProgressOf(int slots, bool innerFolder) {
    return slots * (slots - 1) / 2 + (innerFolder ? slots : 0);
}
inline constexpr int kListingProgress =
    listingProgressOf(kToneSlots, false) + listingProgressOf(kDspSlots, false) +
    kBanks * listingProgressOf(kRegistrationsPerBank, true) + listingProgressOf(kSongSlots, true) +
    listingProgressOf(kRhythmSlots, true);
// The keyboard's own figure for it.
static_assert(kListingProgress == 143);

// Whether an item of `type` can be `bytes` long on this keyboard: tones, DSP settings and
// registrations have their fixed size; songs and rhythms any even size above nothing (an item
// is whole 16-bit words). The upper bound of songs and rhythms is the free memory's to judge.
bool isItemSize(std::uint16_t type, std::uint32_t bytes);

// The keyboard's memory address of a slot, as its System Exclusive messages carry it beside the
// item's type (their area): tones from 384, DSP settings and user rhythms from 100,
// registrations at 16 + 4 × number + bank, songs from 0.
int memoryAddress(std::uint16_t type, int bank, int number);

// The name the keyboard's list gives a registration, which holds no name of its own:
// "Preset" with the bank and the number from 1 ("Preset13" for bank 1, number 2).
std::string registrationName(int bank, int number);

// Builds the MLS-850's fixed memory under `root`: the areas "Tone:", "DSP:", "Registration:" and
// "Song Rhythm:" with their folders ("Bank0" to "Bank3", "Song", "Rhythm") and 42 slots, each
// with its number, bank, model code and placeholder name. Appends each area's name to
// `areaNames` as it appends the area to the root.
void buildLayout(EkDataDrive& root, std::vector<std::string>& areaNames);

// The placeholder name of an empty slot: the word and the digit of its number.
std::string placeholderName(const char* word, int number);

}  // namespace mls850
