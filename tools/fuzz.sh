#!/bin/sh
# Builds the libFuzzer targets with clang (AddressSanitizer + UBSan), writes their seed corpora
# from valid traffic, and runs each target for a bounded time. Any crash, leak, sanitizer report,
# uncaught exception, out-of-memory or time-out fails the run (libFuzzer exits non-zero).
#   tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 60 s, every target)
set -eu
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=${*:-"fuzz_sysexdecoder fuzz_nvbfile fuzz_keyboard fuzz_kbdsimstate fuzz_kbdsimrequests fuzz_slotargument fuzz_syxreader"}
build=${NVBMAN_FUZZ_BUILD:-build-fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DNVBMAN_FUZZ=ON -DNVBMAN_BUILD_TESTS=OFF -DNVBMAN_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export LSAN_OPTIONS="suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
seeds="$build/fuzz/seeds"
rm -rf "$seeds"
"$build/fuzz/fuzz_make_seeds" "$seeds"

status=0
for target in $targets; do
    corpus="$build/fuzz/corpus/$target"
    mkdir -p "$corpus" "$build/fuzz/findings"
    echo "== $target: $seconds s"
    # -timeout: one input running over 10 s is a hang; -rss_limit_mb also bounds any single
    # allocation (a keyboard that makes the program allocate gigabytes is a finding).
    if ! "$build/fuzz/$target" "$corpus" "$seeds/$target" -max_total_time="$seconds" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$build/fuzz/findings/$target-" 2>"$build/fuzz/$target.log"; then
        echo "$target: FINDING (see $build/fuzz/$target.log and $build/fuzz/findings/)" >&2
        tail -40 "$build/fuzz/$target.log" >&2
        status=1
    fi
    grep -E "^stat::number_of_executed_units|^stat::peak_rss_mb|cov: " "$build/fuzz/$target.log" \
        | tail -3 || true
done
exit $status
