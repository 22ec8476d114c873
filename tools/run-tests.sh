#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors,
# and runs every test (unit, end-to-end over a private JACK server, window tests offscreen);
# the end-to-end tests on ALSA, in their emulated machine, run the default build's programs.
#
# With --tsan: builds with ThreadSanitizer instead (build-tsan, only what the run needs) and runs
# the unit and window suites and the stress loops over JACK; a report fails its test. Debian's
# Qt is not built with the sanitizer: tools/tsan.supp names the Qt libraries whose own memory
# calls it leaves, and our hand-overs through Qt's queue are marked (platform/handover.h).
set -eu
cd "$(dirname "$0")/.."
# Under a sanitizer, one whole cycle of each stress loop per keyboard (every command, each kind
# of lost message: the sanitizer sees every hand-over); the long loops are a developer's run
# (README, "Stress loops").
sanitized_stress_ops=8
if [ "${1:-}" = "--tsan" ]; then
    build=${NVBMAN_TEST_BUILD:-build-tsan}
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNVBMAN_TSAN=ON \
        -DNVBMAN_BUILD_BENCH=OFF -DNVBMAN_WERROR=ON
    cmake --build "$build" -j "$(nproc)" --target thread-suite
    # Child processes (the simulator, the command-line tool) are started after fork: the
    # sanitizer must not stop them there.
    export TSAN_OPTIONS="${TSAN_OPTIONS:-die_after_fork=0 halt_on_error=0 second_deadlock_stack=1 suppressions=$(pwd)/tools/tsan.supp}"
    export NVBMAN_STRESS_OPS="${NVBMAN_STRESS_OPS:-$sanitized_stress_ops}"
    ctest --test-dir "$build" --output-on-failure --timeout 900 -j "$(nproc)" \
        -L "unit|gui|stress" -E "_pipewire$"
    exit
fi
build=${NVBMAN_TEST_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNVBMAN_SANITIZE=ON -DNVBMAN_WERROR=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export NVBMAN_STRESS_OPS="${NVBMAN_STRESS_OPS:-$sanitized_stress_ops}"
status=0
ctest --test-dir "$build" --output-on-failure --timeout 600 -j "$(nproc)" -E '^e2e_alsa$' ||
    status=$?
# The ALSA machine runs the programs of the default build (the one README's first command
# builds; nothing to build again when it has run): under the sanitizers the emulated machine
# takes about 1,150 s of the run on its own, twice the default build's time. Its suite under the
# sanitizers: ctest --test-dir build-asan -L e2e-alsa.
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -L e2e-alsa || status=$?
exit "$status"
