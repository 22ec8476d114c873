#pragma once

#include <string>
#include <vector>

class EkDataDrive;

namespace mls850 {

inline constexpr const char* kModel = "MLS-850";
inline constexpr int kSongRhythmMemory = 21504;

// Builds the MLS-850's fixed memory under `root`: the areas "Tone:", "DSP:", "Registration:" and
// "Song Rhythm:" with their folders ("Bank0" to "Bank3", "Song", "Rhythm") and 42 slots, each
// with its number, bank, model code and placeholder name. Appends each area's name to
// `areaNames` as it appends the area to the root.
void buildLayout(EkDataDrive& root, std::vector<std::string>& areaNames);

// The placeholder name of an empty slot: the word and the digit of its number.
std::string placeholderName(const char* word, int number);

}  // namespace mls850
