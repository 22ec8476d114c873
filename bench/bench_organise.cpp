// Organising the keyboard in place and restoring it, against the in-process software keyboard
// paced at 31,250 baud: seconds per job and that time divided by the wire time of the messages
// the job exchanged (1.0 would be the cable's own speed). A restore's wire time is its fetches
// (every slot is compared) plus the items that differ: the restore of an unchanged keyboard
// sends nothing, the one with three changed slots sends three, the full one (onto a keyboard
// emptied of everything) sends every item. A send of one item says what each send costs now that
// the keyboard is asked afterwards whether it took the item: a tone of another name, a tone of
// the same name (only a fetch tells it from the old one), a registration (its name is fixed, so
// the same), and a song.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <chrono>
#include <functional>

#include "backup/keyboardbackup.h"
#include "benchiterations.h"
#include "data/datatypes.h"
#include "data/ekdatafile.h"
#include "organise/slotedits.h"
#include "pacedrig.h"
#include "safety/history.h"
#include "stream/nvbtransfer.h"

namespace {

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
        safety::ChangeRecord record(store, keyboardIdentity(rig.link()), organise::actionOf(edit),
                                    {from, to});
        organise::editSlots(rig.link(), edit, *SlotAddress::parse(from), *SlotAddress::parse(to),
                            record, nullptr);
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

// A restore of the demo keyboard's backup onto the keyboard as `since` leaves it: with some of
// its tones changed, or emptied of everything (then every item is sent).
void BM_Restore(benchmark::State& state,
                const std::function<void(kbdsim::KeyboardMemory&)>& since) {
    PacedRig rig;
    QTemporaryDir folder;
    QTemporaryDir kept;
    safety::Store store(kept.path());
    backup::backupKeyboard(rig.link(), folder.path(), nullptr);
    const backup::Manifest manifest = backup::Manifest::read(folder.path());
    double seconds = 0;
    std::chrono::microseconds wire{0};
    for (auto _ : state) {
        since(rig.keyboard.memory());
        rig.driver.getList(rig.number, rig.number);
        rig.wire = {};
        const auto start = std::chrono::steady_clock::now();
        safety::ChangeRecord record(store, keyboardIdentity(rig.link()), "restore",
                                    {folder.path()});
        backup::restoreKeyboard(rig.link(), manifest, folder.path(), nullptr, &record);
        record.commit();
        seconds += secondsSince(start);
        wire += rig.wire;
    }
    rig.wire = wire;
    report(state, seconds, rig);
}

std::function<void(kbdsim::KeyboardMemory&)> tonesChanged(int changed) {
    return [changed](kbdsim::KeyboardMemory& memory) {
        const kbdsim::KeyboardMemory demo = kbdsim::KeyboardMemory::demo();
        for (int tone = 0; tone < changed; ++tone) {
            memory.setData({DataType::Tone, 0, tone},
                           demo.data({DataType::Tone, 0, tone + changed}));
        }
    };
}

BENCHMARK_CAPTURE(BM_Restore, unchanged, tonesChanged(0))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));
BENCHMARK_CAPTURE(BM_Restore, three_tones_changed, tonesChanged(3))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));
BENCHMARK_CAPTURE(BM_Restore, onto_an_emptied_keyboard,
                  [](kbdsim::KeyboardMemory& memory) { memory = kbdsim::KeyboardMemory(); })
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

// One item sent into `slot`, again and again: the demo keyboard's item of `source` and, in
// turns, the slot's own, so that every send changes the slot. `sameName`: the source item is
// given the slot's name first.
void BM_Send(benchmark::State& state, const char* slot, const char* source, bool sameName) {
    kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::demo();
    // A second song, of 3,000 bytes.
    memory.setData({DataType::Song, 0, 1}, std::vector<std::uint16_t>(1500, 0x2345));
    memory.setName({DataType::Song, 0, 1}, "Ballad");
    PacedRig rig(memory);
    const SlotAddress target = *SlotAddress::parse(slot);
    const SlotAddress from = *SlotAddress::parse(source);
    const SlotInTree where = findSlot(rig.driver, target);
    EkDataFile items[2]{EkDataFile(DataType::NoType), EkDataFile(DataType::NoType)};
    transfer::fetchItem(findSlot(rig.driver, from), rig.link(), nullptr, items[0]);
    transfer::fetchItem(where, rig.link(), nullptr, items[1]);
    if (sameName && EkDataFile::nameOffsetInData(items[0].type()) >= 0) {
        items[0].storeName(items[1].name());
    }
    double seconds = 0;
    std::chrono::microseconds wire{0};
    int turn = 0;
    for (auto _ : state) {
        rig.wire = {};
        const auto start = std::chrono::steady_clock::now();
        transfer::sendItem(items[turn++ % 2], where, rig.link(), nullptr);
        seconds += secondsSince(start);
        wire += rig.wire;
    }
    rig.wire = wire;
    report(state, seconds, rig);
}
BENCHMARK_CAPTURE(BM_Send, tone, "tone:0", "tone:3", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(10));
BENCHMARK_CAPTURE(BM_Send, tone_same_name, "tone:0", "tone:3", true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(10));
BENCHMARK_CAPTURE(BM_Send, registration, "reg:0.0", "reg:1.1", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(10));
BENCHMARK_CAPTURE(BM_Send, song, "song:0", "song:1", false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(2));

}  // namespace
