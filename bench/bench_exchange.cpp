// Exchange with other SysEx tools: "convert" of a dump that holds many copies of one item, each
// of which becomes a ".nvb" file of its own under the next free name ("TON_Velvet   (2).nvb",
// ...). Seconds per dump, and per item, for dumps of 1,000, 4,000 and 16,000 copies.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>

#include "backup/batchjobs.h"
#include "benchiterations.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "syx/syxdump.h"

namespace {

void BM_ConvertCopiesOfOneItem(benchmark::State& state) {
    const auto copies = std::size_t(state.range(0));
    EkDataFile tone(DataType::Tone);
    tone.setSize(60);
    tone.words().assign(30, 0x1234);
    tone.storeName("Velvet");
    const std::vector<std::uint8_t> one = syx::dumpOf(tone, *SlotAddress::parse("tone:0"));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(one.size() * copies);
    for (std::size_t i = 0; i < copies; ++i) {
        bytes.insert(bytes.end(), one.begin(), one.end());
    }
    const syx::DumpContents dump = syx::readDump(bytes);
    double seconds = 0;
    for (auto _ : state) {
        QTemporaryDir folder;
        const auto start = std::chrono::steady_clock::now();
        const auto outcomes = batch::convertDump(dump, folder.path());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (outcomes.size() != copies) {
            state.SkipWithError("not every copy was converted");
        }
    }
    state.counters["seconds_per_dump"] = seconds / double(state.iterations());
    state.counters["us_per_item"] = 1e6 * seconds / double(state.iterations()) / double(copies);
    state.counters["dump_bytes"] = double(bytes.size());
}
BENCHMARK(BM_ConvertCopiesOfOneItem)
    ->Arg(1000)
    ->Arg(4000)
    ->Arg(16000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(1));

}  // namespace
