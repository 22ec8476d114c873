#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan), writes their seed corpora
# from valid traffic, and runs each target for a bounded time. Any crash, leak, sanitizer report,
# uncaught exception, out-of-memory or time-out fails the run (libFuzzer exits non-zero).
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 s, every target; as many
#   targets at once as there are processors)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_sysexdecoder fuzz_nvbfile fuzz_keyboard fuzz_kbdsimstate fuzz_kbdsimrequests fuzz_slotargument fuzz_syxreader"}
build=${NVBMAN_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNVBMAN_FUZZ=ON -DNVBMAN_BUILD_TESTS=OFF -DNVBMAN_BUILD_BENCH=OFF >/dev/null
# The targets and their seed writer only: nothing else of the tree is fuzzed.
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target fuzz_make_seeds $targets

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export LSAN_OPTIONS="suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
seeds="$build/fuzz/seeds"
rm -rf "$seeds"
"$build/fuzz/fuzz_make_seeds" "$seeds"

# One target: its run, its findings said, its figures shown. Exits non-zero on a finding.
fuzz_target() {
    target=$1
    corpus="$build/fuzz/corpus/$target"
    mkdir -p "$corpus" "$build/fuzz/findings"
    # -timeout: one input running over 10 s is a hang; -rss_limit_mb also bounds any single
    # allocation (a keyboard that makes the program allocate gigabytes is a finding).
    if ! "$build/fuzz/$target" "$corpus" "$seeds/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/findings/$target-" 2>"$build/fuzz/$target.log"; then
        echo "$target: FINDING (see $build/fuzz/$target.log and $build/fuzz/findings/)" >&2
        tail -40 "$build/fuzz/$target.log" >&2
        return 1
    fi
}

# As many targets at once as the machine has processors: each is one process on one of them.
status=0
set -- $targets
while [ $# -gt 0 ]; do
    batch=""
    for _ in $(seq "$(nproc)"); do
        [ $# -gt 0 ] || break
        batch="$batch $1"
        shift
    done
    echo "== $seconds s:$batch"
    pids=""
    for target in $batch; do
        fuzz_target "$target" &
        pids="$pids $!"
    done
    for pid in $pids; do
        wait "$pid" || status=1
    done
    for target in $batch; do
        echo "$target:"
        grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|cov: " \
            "$build/fuzz/$target.log" | tail -3 || true
    done
done
exit $status
