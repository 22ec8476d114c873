#pragma once

// A keyboard memory for the tests of the song and rhythm memory: the demo's tones, DSP settings
// and registrations, no user rhythms, and two songs of the given sizes.

#include <cstdint>
#include <vector>

#include "data/datatypes.h"
#include "kbdsim/keyboardmemory.h"

inline kbdsim::KeyboardMemory twoSongsNoRhythms(int firstBytes, int secondBytes) {
    constexpr std::uint16_t kFirstWord = 0x1234;
    constexpr std::uint16_t kSecondWord = 0x2345;
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    for (int rhythm = 0; rhythm < kbdsim::KeyboardMemory::kRhythms; ++rhythm) {
        memory.setData({DataType::Rhythm, 0, rhythm}, {});
    }
    memory.setData({DataType::Song, 0, 0},
                   std::vector<std::uint16_t>(std::size_t(firstBytes / 2), kFirstWord));
    memory.setData({DataType::Song, 0, 1},
                   std::vector<std::uint16_t>(std::size_t(secondBytes / 2), kSecondWord));
    return memory;
}
