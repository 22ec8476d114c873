#!/bin/sh
# Runs every benchmark of a build once, briefly (NVBMAN_BENCH_ONCE: each fixed count becomes 1),
# so that none can stop working unnoticed. The figures are not judged here; run a benchmark
# on its own in a release build for them (README, "Benchmarks"). bench_link talks through the
# test JACK server, which this starts and stops.
#   tools/run-benches.sh [BUILD-DIR]      (default: build-asan)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build-asan}
export NVBMAN_BENCH_ONCE=1 QT_QPA_PLATFORM=offscreen
export JACK_DEFAULT_SERVER=nvbman-test JACK_NO_AUDIO_RESERVATION=1
pidfile="$(pwd)/$build/bench/jackd.pid"
tests/e2e/jack-server.sh start "$pidfile" >/dev/null
trap 'tests/e2e/jack-server.sh stop "$pidfile" >/dev/null' EXIT
failed=""
for bench in "$build"/bench/bench_*; do
    [ -x "$bench" ] && [ -f "$bench" ] || continue
    name=$(basename "$bench")
    start=$(date +%s)
    if "$bench" --benchmark_min_time=0.001 >"$build/bench/$name.log" 2>&1; then
        echo "$name: ran ($(($(date +%s) - start)) s)"
    else
        echo "$name: FAILED ($(($(date +%s) - start)) s); its output:" >&2
        tail -30 "$build/bench/$name.log" >&2
        failed="$failed $name"
    fi
done
[ -z "$failed" ] || { echo "benchmarks that failed:$failed" >&2; exit 1; }
