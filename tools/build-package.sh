#!/bin/sh
# Builds NvbMan's Debian package (Release, without tests and benchmarks) and prints its path.
set -eu
cd "$(dirname "$0")/.."
build=${NVBMAN_PACKAGE_BUILD:-build-package}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNVBMAN_BUILD_TESTS=OFF \
    -DNVBMAN_BUILD_BENCH=OFF >&2
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/nvbman_*.deb
(cd "$build" && cpack -G DEB >&2)
realpath "$build"/nvbman_*.deb
