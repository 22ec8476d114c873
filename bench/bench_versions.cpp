// The keyboard's past: a store of 100,000 versions over 10 keyboards (of 2,000 distinct items,
// each seen a hundred times running, as backups of a keyboard that changes little see them):
//  - one slot's versions listed (the Versions dialog, "versions SLOT");
//  - the plan of the keyboard as of a time, a whole keyboard ("restore --as-of");
//  - what changed since a time ("changes");
//  - the store's size on disk per 1,000 distinct items;
// and what recording costs a full backup of the paced software keyboard whose items the store
// holds already: the time against the same backup unrecorded, and the item bytes it adds.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <chrono>
#include <memory>

#include "backup/keyboardbackup.h"
#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "pacedrig.h"
#include "versions/asof.h"
#include "versions/recorder.h"
#include "versions/versionstore.h"

namespace {

constexpr int kKeyboards = 10;
constexpr int kVersions = 100000;
constexpr int kDistinctItems = 2000;
constexpr int kSeenRunning = 100;  // versions in a row of one item
constexpr int kTones = 10;
constexpr std::uint32_t kToneBytes = 60;
constexpr int kItemsPerThousand = 1000;
// Versions are a minute apart: the store spans about ten weeks.
constexpr qint64 kMsBetween = 60 * 1000;

QString keyboardName(int k) {
    return QString("JACK Keyboard %1").arg(k);
}

const QDateTime& epoch() {
    static const QDateTime start = QDateTime::fromString("2026-01-01T00:00:00Z", Qt::ISODate);
    return start;
}

// The store, filled once for every benchmark of this program.
versions::Store& filled() {
    static QTemporaryDir folder;
    static versions::Store store(folder.path());
    static const bool made = [] {
        store.inOneTransaction([] {
            for (int n = 0; n < kVersions; ++n) {
                EkDataFile item(DataType::Tone);
                item.setSize(kToneBytes);
                const int which = (n / kSeenRunning) % kDistinctItems;
                item.words().assign(kToneBytes / 2, std::uint16_t(which));
                item.storeName(QString("T%1").arg(which).toStdString());
                versions::Version version;
                version.keyboard = keyboardName(n % kKeyboards);
                version.slot = {"tone", 0, (n / kKeyboards) % kTones};
                version.name = QString("T%1").arg((n / kSeenRunning) % kDistinctItems);
                version.at = epoch().addMSecs(qint64(n) * kMsBetween);
                version.how = versions::How::Fetched;
                version.source = "backup /home/user/backups";
                version.confirmed = true;
                store.record(version, &item);
            }
        });
        return true;
    }();
    (void)made;
    return store;
}

QDateTime middle() {
    return epoch().addMSecs(qint64(kVersions / 2) * kMsBetween);
}

void BM_SlotVersions(benchmark::State& state) {
    versions::Store& store = filled();
    std::size_t found = 0;
    for (auto _ : state) {
        found = store.ofSlot(keyboardName(3), {"tone", 0, 4}).size();
    }
    state.counters["versions"] = double(found);
}
BENCHMARK(BM_SlotVersions)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(50));

void BM_AsOfPlan(benchmark::State& state) {
    versions::Store& store = filled();
    std::size_t slots = 0;
    for (auto _ : state) {
        slots = store.asOf(keyboardName(3), middle()).size();
    }
    state.counters["slots"] = double(slots);
}
BENCHMARK(BM_AsOfPlan)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(20));

void BM_ChangesSince(benchmark::State& state) {
    versions::Store& store = filled();
    std::size_t changed = 0;
    for (auto _ : state) {
        changed = versions::changesBetween(store, keyboardName(3), middle(),
                                           epoch().addMSecs(qint64(kVersions) * kMsBetween))
                      .size();
    }
    state.counters["changed"] = double(changed);
}
BENCHMARK(BM_ChangesSince)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(20));

// The items' files per 1,000 distinct items, and the table per 1,000 versions.
void BM_StoreSize(benchmark::State& state) {
    versions::Store& store = filled();
    std::int64_t itemBytes = 0;
    for (auto _ : state) {
        itemBytes = store.itemBytes();
    }
    const auto tableBytes =
        double(QFileInfo(QDir(store.folder()).filePath(versions::kTableFile)).size());
    state.counters["item_bytes_per_1000_items"] =
        double(itemBytes) * kItemsPerThousand / double(kDistinctItems);
    state.counters["table_bytes_per_1000_versions"] =
        tableBytes * kItemsPerThousand / double(kVersions);
}
BENCHMARK(BM_StoreSize)->Unit(benchmark::kMillisecond)->Iterations(1);

// A full backup of the paced keyboard, recorded (arg 1: the store has seen every item) or not.
void BM_BackupRecorded(benchmark::State& state) {
    const bool recorded = state.range(0) != 0;
    PacedRig rig;
    QTemporaryDir stores;
    const QString folder = stores.filePath("versions");
    std::int64_t itemBytesAdded = 0;
    double seconds = 0;
    int run = 0;
    for (auto _ : state) {
        KeyboardLink link = rig.link();
        if (recorded) {
            versions::attach(link, std::make_shared<versions::Recorder>(
                                       keyboardIdentity(link), "backup", folder));
            if (run == 0) {
                // Every item seen once before: what is timed is a backup of an unchanged
                // keyboard.
                QDir().mkpath(stores.filePath("first"));
                backup::backupKeyboard(link, stores.filePath("first"), nullptr,
                                       backup::OldBackup::Replace);
            }
        }
        const std::int64_t before = recorded ? versions::Store(folder).itemBytes() : 0;
        const QString into = stores.filePath(QString("backup%1").arg(run++));
        QDir().mkpath(into);
        const auto start = std::chrono::steady_clock::now();
        backup::backupKeyboard(link, into, nullptr, backup::OldBackup::Replace);
        seconds += secondsSince(start);
        if (recorded) {
            itemBytesAdded += versions::Store(folder).itemBytes() - before;
        }
    }
    state.counters["seconds_per_backup"] = seconds / double(state.iterations());
    state.counters["item_bytes_added"] = double(itemBytesAdded);
}
BENCHMARK(BM_BackupRecorded)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(3));

}  // namespace
