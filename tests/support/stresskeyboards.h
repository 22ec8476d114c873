#pragma once

// What the stress loops (the command-line tool's, the window's) share: the keyboards they run
// against, as rows of nvbman-kbdsim's options, how many commands each row runs, and what the
// keyboard holds along their cycle.

#include <QJsonObject>
#include <QStringList>
#include <QtTest>

#include "data/datatypes.h"
#include "kbdsim/keyboardmemory.h"

// The data rows "simulatorOptions": paced like the real cable, answering at once, losing an
// answer now and then (each is asked again), losing now and then a message the keyboard never
// answers (a send's End, a deletion: each change is found missing and made again).
inline void addStressKeyboards() {
    QTest::addColumn<QStringList>("simulatorOptions");
    QTest::newRow("paced keyboard") << QStringList{};
    QTest::newRow("keyboard answering at once") << QStringList{"--no-pacing"};
    // One request in 25 unanswered: a listing (84 requests) meets three or four lost answers.
    QTest::newRow("keyboard losing answers")
        << QStringList{"--no-pacing", "--unanswered-request-every", "25"};
    // One End or deletion in 7 lost: each send and delete of the cycle meets some.
    QTest::newRow("keyboard losing unanswered messages")
        << QStringList{"--no-pacing", "--lose-unanswered-every", "7"};
}

// NVBMAN_STRESS_OPS when set, else `byDefault`.
inline int stressOperations(int byDefault) {
    const int asked = qEnvironmentVariableIntValue("NVBMAN_STRESS_OPS");
    return asked > 0 ? asked : byDefault;
}

// What the keyboard holds along the loops' cycle (a song copied out and into song:1, tone:0 and
// tone:1 swapped, the swap undone and redone, the song deleted): the demo memory, the demo with
// song:0's song in song:1 too, and that with the two tones swapped.
struct StressMemories {
    QJsonObject demo;
    QJsonObject withSong;
    QJsonObject swapped;
};

inline StressMemories stressMemories() {
    const kbdsim::KeyboardMemory demo = kbdsim::KeyboardMemory::demo();
    const kbdsim::SlotRef song0{DataType::Song, 0, 0}, song1{DataType::Song, 0, 1},
        tone0{DataType::Tone, 0, 0}, tone1{DataType::Tone, 0, 1};
    kbdsim::KeyboardMemory withSong = demo;
    withSong.setData(song1, demo.data(song0));
    kbdsim::KeyboardMemory swapped = withSong;
    swapped.setData(tone0, demo.data(tone1));
    swapped.setData(tone1, demo.data(tone0));
    return {demo.toJson(), withSong.toJson(), swapped.toJson()};
}
