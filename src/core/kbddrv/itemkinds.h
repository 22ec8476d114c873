#pragma once

#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdint>

#include "data/datatypes.h"
#include "mls850layout.h"

// The kinds of item the MLS-850 keeps, one row each: every word, prefix and count the programs
// use for a kind comes from here.
namespace mls850 {

struct ItemKind {
    std::uint16_t type;
    const char* typeName;    // the command-line tool's and JSON's word: "Tone", "Registration"
    const char* slotWord;    // SLOT as it is written: "tone" in tone:3, "reg" in reg:1.2
    const char* filePrefix;  // of an imported item's file: "TON_Piano   .nvb"
    // The window's words, translated in the contexts named here. The keyboard list writes
    // "Registraion" and the item's Properties "Regstration": the keyboard software's own
    // spellings, kept as they are.
    const char* listWord;
    const char* propertyWord;
    const char* area;    // the memory area the keyboard lists it in
    const char* folder;  // its folder in the area; nullptr: slots lie directly in the area
    int banks;
    int slots;          // per bank
    bool canBeEmptied;  // songs and user rhythms; the other slots always hold an item
};

// clang-format off
inline constexpr std::array<ItemKind, 5> kItemKinds{{
    {DataType::Tone, "Tone", "tone", "TON_",
     QT_TRANSLATE_NOOP("KbdListModel", "Tone"), QT_TRANSLATE_NOOP("TEkDataPropertyForm", "Tone"),
     kToneArea, nullptr, 1, kToneSlots, false},
    {DataType::DSP, "DSP", "dsp", "DSP_",
     QT_TRANSLATE_NOOP("KbdListModel", "DSP"), QT_TRANSLATE_NOOP("TEkDataPropertyForm", "DSP"),
     kDspArea, nullptr, 1, kDspSlots, false},
    {DataType::Registration, "Registration", "reg", "REG_",
     QT_TRANSLATE_NOOP("KbdListModel", "Registraion"),
     QT_TRANSLATE_NOOP("TEkDataPropertyForm", "Regstration"),
     kRegistrationArea, kBankFolder, kBanks, kRegistrationsPerBank, false},
    {DataType::Song, "Song", "song", "SNG_",
     QT_TRANSLATE_NOOP("KbdListModel", "Song"), QT_TRANSLATE_NOOP("TEkDataPropertyForm", "Song"),
     kSongRhythmArea, kSongFolder, 1, kSongSlots, true},
    {DataType::Rhythm, "Rhythm", "rhythm", "RHY_",
     QT_TRANSLATE_NOOP("KbdListModel", "Rhythm"), QT_TRANSLATE_NOOP("TEkDataPropertyForm", "Rhythm"),
     kSongRhythmArea, kRhythmFolder, 1, kRhythmSlots, true},
}};
// clang-format on

// The kind of items of `type`; null for a type the keyboard does not keep.
constexpr const ItemKind* itemKindOf(std::uint16_t type) {
    for (const ItemKind& kind : kItemKinds) {
        if (kind.type == type) {
            return &kind;
        }
    }
    return nullptr;
}

// Whether slots of `type` can be empty: songs and user rhythms, of any even size. The slots of
// every other kind always hold an item of the kind's fixed size.
constexpr bool canBeEmptied(std::uint16_t type) {
    const ItemKind* kind = itemKindOf(type);
    return kind != nullptr && kind->canBeEmptied;
}

// The kind SLOT names with this word ("tone"); null for none.
inline const ItemKind* itemKindWritten(const QString& slotWord) {
    for (const ItemKind& kind : kItemKinds) {
        if (slotWord == QLatin1String(kind.slotWord)) {
            return &kind;
        }
    }
    return nullptr;
}

// The command-line tool's word for `type`: "Tone", ..., "Keyboard" for the root, "unknown".
inline QString typeName(std::uint16_t type) {
    if (const ItemKind* kind = itemKindOf(type)) {
        return QString::fromLatin1(kind->typeName);
    }
    return type == DataType::Keyboard ? QStringLiteral("Keyboard") : QStringLiteral("unknown");
}

}  // namespace mls850
