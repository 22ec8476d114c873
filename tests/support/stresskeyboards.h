#pragma once

// What the stress loops (the command-line tool's, the window's) share: the keyboards they run
// against, as rows of nvbman-kbdsim's options, and how many commands each row runs.

#include <QStringList>
#include <QtTest>

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
