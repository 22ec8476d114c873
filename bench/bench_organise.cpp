// Organising the keyboard in place and restoring it, against the in-process software keyboard
// paced at 31,250 baud: seconds per job and that time divided by the wire time of the messages
// the job exchanged (1.0 would be the cable's own speed). A restore's wire time is its fetches
// (every slot is compared) plus the items that differ: the restore of an unchanged keyboard
// sends nothing, the one with three changed slots sends three.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>

#include "backup/history.h"
#include "backup/keyboardbackup.h"
#include "benchiterations.h"
#include "data/datatypes.h"
#include "msg/msgstr.h"
#include "organise/slotedits.h"
#include "pacedrig.h"
#include "platform/userlocale.h"

namespace {

const MsgStr kMessages(platform::kLocaleEnglishUs);

void report(benchmark::State& state, double seconds, const PacedRig& rig) {
    const auto iterations = double(state.iterations());
    state.counters["seconds_per_job"] = seconds / iterations;
    state.counters["wall_per_wire"] = seconds / (double(rig.wire.count()) / 1e6);
}

// A copy of a tone, and a swap of the two songs (1,800 and 800 bytes).
void BM_Edit(benchmark::State& state, organise::Edit edit, const char* from, const char* to) {
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    memory.setData({DataType::Song, 0, 1}, std::vector<std::uint16_t>(400, 0x1234));
    PacedRig rig(memory);
    QTemporaryDir kept;
    safety::Store store(kept.path());
    double seconds = 0;
    rig.wire = {};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        safety::ChangeRecord record(store, organise::actionOf(edit), {from, to});
        organise::editSlots(rig.link(), edit, *SlotAddress::parse(from), *SlotAddress::parse(to),
                            record, kMessages, nullptr);
        record.commit();
        seconds += secondsSince(start);
    }
    report(state, seconds, rig);
}
BENCHMARK_CAPTURE(BM_Edit, copy_tone, organise::Edit::Copy, "tone:0", "tone:1")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(5));
BENCHMARK_CAPTURE(BM_Edit, swap_songs, organise::Edit::Swap, "song:0", "song:1")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

// A restore of the demo keyboard's backup onto the keyboard with `changed` tones changed since.
void BM_Restore(benchmark::State& state) {
    const int changed = int(state.range(0));
    PacedRig rig;
    QTemporaryDir folder;
    QTemporaryDir kept;
    safety::Store store(kept.path());
    backup::backupKeyboard(rig.link(), folder.path(), kMessages, nullptr);
    const backup::Manifest manifest = backup::Manifest::read(folder.path());
    const kbdsim::KeyboardMemory demo = kbdsim::KeyboardMemory::demo();
    double seconds = 0;
    std::chrono::microseconds wire{0};
    for (auto _ : state) {
        for (int tone = 0; tone < changed; ++tone) {
            rig.keyboard.memory().setData({DataType::Tone, 0, tone},
                                          demo.data({DataType::Tone, 0, tone + changed}));
        }
        rig.driver.getList(rig.number, rig.number);
        rig.wire = {};
        const auto start = std::chrono::steady_clock::now();
        safety::ChangeRecord record(store, "restore", {folder.path()});
        backup::restoreKeyboard(rig.link(), manifest, folder.path(), kMessages, nullptr, &record);
        record.commit();
        seconds += secondsSince(start);
        wire += rig.wire;
    }
    rig.wire = wire;
    report(state, seconds, rig);
}
BENCHMARK(BM_Restore)
    ->ArgName("changed")
    ->Arg(0)
    ->Arg(3)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

}  // namespace
