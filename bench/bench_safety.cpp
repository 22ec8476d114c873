// What the safety net costs, against the in-process software keyboard paced at 31,250 baud:
//  - the copy a send or a delete keeps first, per item type: seconds per copy, and that time
//    divided by the pure wire time of the messages the copy exchanged (1.0 would be the cable's
//    own speed);
//  - a request whose answer was lost: the extra seconds of a listing in which one answer is
//    never sent (the time-out, then the same request again).

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>

#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "kbddrv/ekkbddrv.h"
#include "kbddrv/slotaddress.h"
#include "pacedrig.h"
#include "safety/history.h"
#include "safety/safetystore.h"
#include "stream/nvbtransfer.h"

namespace {

// The demo keyboard's slot of each type: a 60-byte tone, a 36-byte DSP setting, a 176-byte
// registration, its 1,800-byte song and its 1,024-byte rhythm.
void BM_SafetyCopy(benchmark::State& state, const char* slotText) {
    PacedRig rig;
    QTemporaryDir folder;
    safety::Store store(folder.path());
    const SlotInTree where = findSlot(rig.driver, *SlotAddress::parse(slotText));
    double seconds = 0;
    rig.wire = {};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // A record per copy, as each command keeps its own (it would keep a slot only once).
        const KeyboardLink link{rig.driver, rig.number, rig.number};
        safety::ChangeRecord record(store, keyboardIdentity(link), "send", {slotText});
        EkDataFile held(DataType::NoType);
        transfer::fetchItem(where, link, nullptr, held);
        record.keep(held, SlotAddress::of(*where.slot), safety::Why::Send);
        record.take();
        seconds += secondsSince(start);
    }
    const auto iterations = double(state.iterations());
    state.counters["seconds_per_copy"] = seconds / iterations;
    state.counters["wall_per_wire"] = seconds / (double(rig.wire.count()) / 1e6);
    state.counters["bytes"] = double(where.slot->size());
}
BENCHMARK_CAPTURE(BM_SafetyCopy, tone, "tone:0")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(5));
BENCHMARK_CAPTURE(BM_SafetyCopy, dsp, "dsp:0")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(5));
BENCHMARK_CAPTURE(BM_SafetyCopy, registration, "reg:0.0")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(5));
BENCHMARK_CAPTURE(BM_SafetyCopy, song, "song:0")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(3));
BENCHMARK_CAPTURE(BM_SafetyCopy, rhythm, "rhythm:2")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(3));

// A whole listing, with or without one lost answer (the tenth request's).
void BM_ListingWithLostAnswer(benchmark::State& state) {
    const bool lose = state.range(0) != 0;
    PacedRig rig;
    double seconds = 0;
    for (auto _ : state) {
        kbdsim::Faults faults;
        if (lose) {
            faults.dropAnswer = rig.answers + 10;
        }
        rig.keyboard.setFaults(faults);
        const int retriesBefore = rig.driver.requestRetries();
        const auto start = std::chrono::steady_clock::now();
        rig.driver.getList(rig.number, rig.number);
        seconds += secondsSince(start);
        state.counters["retries"] = double(rig.driver.requestRetries() - retriesBefore);
        rig.keyboard.setFaults({});
    }
    state.counters["seconds_per_listing"] = seconds / double(state.iterations());
}
BENCHMARK(BM_ListingWithLostAnswer)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

}  // namespace
