#!/bin/sh
# Builds NvbMan's Debian package and prints its path. By default from a Release tree of its own
# (build-package, without tests and benchmarks). NVBMAN_PACKAGE_BUILD names a tree that is
# already configured, such as the default build: that tree is brought up to date and packaged
# as it is (stripped), so CI packages the very programs its tests ran, built once.
set -eu
cd "$(dirname "$0")/.."
build=${NVBMAN_PACKAGE_BUILD:-build-package}
if [ -z "${NVBMAN_PACKAGE_BUILD:-}" ] || [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DNVBMAN_BUILD_TESTS=OFF \
        -DNVBMAN_BUILD_BENCH=OFF >&2
fi
cmake --build "$build" -j "$(nproc)" >&2
rm -f "$build"/nvbman_*.deb
(cd "$build" && cpack -G DEB >&2)
realpath "$build"/nvbman_*.deb
