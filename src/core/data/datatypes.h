#pragma once

#include <cstdint>

// The 16-bit type code of a data item, stored in item headers, ".nvb" files and messages.
struct DataType {
    enum : std::uint16_t {
        Tone = 2,
        DSP = 9,
        Song = 10,
        Rhythm = 11,
        Registration = 12,
        Keyboard = 13,    // the root of the keyboard's tree
        NoType = 0xFFFF,  // an item made for a file before the file has been read
    };
};

// The class of a data-tree object, recorded in the object itself: 1 EkData, 3 EkDataDrive,
// 5 EkDataDirectory, 9 EkDataFile. Code that holds an item asks these bits what it is.
struct KindFlags {
    enum : std::uint8_t {
        Item = 1,
        Drive = 2,
        Directory = 4,
        File = 8,
    };
};

// What a folder walk (EkKbdDrv::openDirectory) visits: its subfolders, its slots, or both.
namespace walk {
inline constexpr std::uint8_t kFolders = KindFlags::Directory;
inline constexpr std::uint8_t kSlots = KindFlags::Item | KindFlags::File;
inline constexpr std::uint8_t kFoldersAndSlots = kFolders | kSlots;
}  // namespace walk
