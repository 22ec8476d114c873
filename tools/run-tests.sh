#!/bin/sh
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer, warnings as errors,
# and runs every test (unit, end-to-end over a private JACK server, window tests offscreen).
set -eu
cd "$(dirname "$0")/.."
build=${NVBMAN_TEST_BUILD:-build-asan}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DNVBMAN_SANITIZE=ON -DNVBMAN_WERROR=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$(pwd)/tools/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --test-dir "$build" --output-on-failure --timeout 600 -j "$(nproc)"
