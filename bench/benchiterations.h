#pragma once

#include <benchmark/benchmark.h>

#include <cstdlib>

// How many times a benchmark with a fixed count runs: that count, or once when NVBMAN_BENCH_ONCE
// is set. CI runs every benchmark once (tools/run-benches.sh) so that none can stop working
// unnoticed; its figures are not judged there.
inline benchmark::IterationCount benchIterations(benchmark::IterationCount count) {
    const char* once = std::getenv("NVBMAN_BENCH_ONCE");
    return once != nullptr && *once != '\0' && *once != '0' ? 1 : count;
}
