#!/bin/sh
# Inside the ALSA test machine (alsa-vm.sh): the end-to-end tests on the ALSA sequencer, first
# with the simulator on sequencer ports of its own, then with it at the far end of a virtual MIDI
# cable (snd-virmidi) sending clock and Active Sensing bytes in and between its messages, as a
# keyboard behind a USB-MIDI interface. No JACK server runs here.
#
#   alsa-suite.sh BUILD_FOLDER
set -u
build=$1
export QT_QPA_PLATFORM=offscreen NVBMAN_KBDSIM_API=alsa
unset JACK_DEFAULT_SERVER
failed=""
# Commands per stress loop: under the sanitizers (several times slower in the emulated
# machine) one whole cycle of each loop, every command and keyboard; more otherwise.
cli_ops=20
window_ops=16
if grep -q '^NVBMAN_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    cli_ops=8
    window_ops=8
fi

run() {
    echo "alsa-suite: $*"
    "$@" || failed="$failed $1"
}

# The cases of the command-line tool that every MIDI stack must pass.
cli_cases="devicesListsBothDirections listJsonHasEveryAreaAndSlot
importThenSendBackKeepsTheMemory severalSlotsAtOnceAndLeanSingleSlots deleteEmptiesASong
backupThenRestoreRoundTrip backupsAreCheckedAgainstTheKeyboardAndThemselves
sendVerifyCatchesAKeyboardThatKeepsOtherData verboseSaysWhenAnAnswerWasLost
aLostAnswerInASingleTransferIsTriedAgain deletedItemsComeBack
organisedInPlaceAndUndone frozenKeyboardStopsAJobInBoundedTime ctrlCStopsASendAtTheNextBlock
versionsOfASlotAndTheKeyboardAsOfATime"

echo "alsa-suite: sequencer ports of the simulator's own"
aconnect -l
# shellcheck disable=SC2086
run "$build/tests/tst_clijack" $cli_cases
# Changes whose End or deletion the cable loses: made again, or a plain failure.
run "$build/tests/tst_clijack" "lostChangesAreMadeAgainOrFail:send a song over another, paced" \
    "lostChangesAreMadeAgainOrFail:delete a rhythm, paced" "lostChangesAreMadeAgainOrFail:swap"
# The keyboard that went and came back under a new client number.
run "$build/tests/tst_kbddrvjack"
# The sequencer's own failures: an exclusive connection, a full client table, a huge answer.
run "$build/tests/tst_alsafaults"
NVBMAN_STRESS_OPS=$cli_ops run "$build/tests/tst_clistress"
# The window's commands in a row, from its keyboard thread.
NVBMAN_STRESS_OPS=$window_ops run "$build/tests/tst_windowstress"

echo "alsa-suite: behind a virtual MIDI cable (snd-virmidi), with real-time bytes"
export NVBMAN_KBDSIM_RAWMIDI=1
# shellcheck disable=SC2086
run "$build/tests/tst_clijack" $cli_cases "lostChangesAreMadeAgainOrFail:rename"
NVBMAN_STRESS_OPS=$cli_ops run "$build/tests/tst_clistress"
NVBMAN_STRESS_OPS=$window_ops run "$build/tests/tst_windowstress"

# The stacks' benchmark once, so that its ALSA part keeps working (figures: README).
if [ -x "$build/bench/bench_stacks" ]; then
    unset NVBMAN_KBDSIM_RAWMIDI
    NVBMAN_BENCH_ONCE=1 run "$build/bench/bench_stacks" --benchmark_filter='alsa|jack2_256'
fi

if [ -n "$failed" ]; then
    echo "alsa-suite: FAILED:$failed"
    exit 1
fi
echo "alsa-suite: all passed"
