// The library of the user's files: the first index of 10,000 keyboard files (9,000 ".nvb" and
// 1,000 ".syx" in 100 folders), a scan of them again when nothing changed, the keyboard list's
// "On PC" column over that index after a listing (every slot of the keyboard looked up, half of
// them fetched before), and how late a 5 ms timer of the window's thread fires while the first
// index is built on the scan's thread (the worst lateness: the window's worst stall), and a
// search by name and a look-up of the item (as "status" does) in an index that holds 24,000
// identical copies of one item.

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <chrono>
#include <memory>

#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "library/backgroundscan.h"
#include "library/libraryindex.h"
#include "library/slotsonpc.h"
#include "msg/msgstr.h"
#include "stream/nvbfilestream.h"
#include "syx/syxdump.h"

namespace {

constexpr int kFolders = 100;
constexpr int kFilesPerFolder = 100;
constexpr int kDumpEvery = 10;  // every tenth file a ".syx"
constexpr std::uint32_t kToneBytes = 60;

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The user's files, made once for every benchmark of this program.
const QTemporaryDir& collection() {
    static QTemporaryDir folder;
    static const bool made = [] {
        for (int f = 0; f < kFolders; ++f) {
            const QDir dir(folder.filePath(QString("set %1").arg(f)));
            QDir().mkpath(dir.path());
            for (int n = 0; n < kFilesPerFolder; ++n) {
                EkDataFile item(DataType::Tone);
                item.setSize(kToneBytes);
                item.words().assign(kToneBytes / 2, std::uint16_t(f * kFilesPerFolder + n));
                item.storeName(QString("T%1").arg(n).toStdString());
                if (n % kDumpEvery == 0) {
                    const auto dump = syx::dumpOf(item, *SlotAddress::parse("tone:3"));
                    QFile file(dir.filePath(QString("tone %1.syx").arg(n)));
                    file.open(QIODevice::WriteOnly);
                    file.write(reinterpret_cast<const char*>(dump.data()), qsizetype(dump.size()));
                } else {
                    NvbFileStream(dir.filePath(QString("tone %1.nvb").arg(n)),
                                  NvbFileStream::Create)
                        .write(item);
                }
            }
        }
        return true;
    }();
    (void)made;
    return folder;
}

void BM_FirstIndex(benchmark::State& state) {
    const QString files = collection().path();
    QTemporaryDir data;
    double seconds = 0;
    int count = 0;
    for (auto _ : state) {
        QFile::remove(data.filePath("library.sqlite"));
        library::Index index(data.filePath("library.sqlite"));
        const auto start = std::chrono::steady_clock::now();
        count = index.scan({files}, MsgStr()).read;
        seconds += secondsSince(start);
    }
    state.counters["files"] = count;
    state.counters["seconds"] = seconds / double(state.iterations());
}
BENCHMARK(BM_FirstIndex)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

void BM_RescanWithoutChanges(benchmark::State& state) {
    const QString files = collection().path();
    QTemporaryDir data;
    library::Index index(data.filePath("library.sqlite"));
    index.scan({files}, MsgStr());
    double seconds = 0;
    int read = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        read = index.scan({files}, MsgStr()).read;
        seconds += secondsSince(start);
    }
    state.counters["read"] = read;
    state.counters["seconds"] = seconds / double(state.iterations());
}
BENCHMARK(BM_RescanWithoutChanges)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(5));

// The slots of a full MLS-850 list: 10 tones, 10 DSP settings, 16 registrations, 2 songs and
// 4 rhythms, each holding an item of the sizes the collection's tones have or not.
constexpr int kSlots = 42;
constexpr int kFetchedEvery = 2;

void BM_OnPcColumnAfterAListing(benchmark::State& state) {
    const QString files = collection().path();
    QTemporaryDir data;
    library::Index index(data.filePath("library.sqlite"));
    index.scan({files}, MsgStr());
    std::vector<std::unique_ptr<EkData>> slots;
    library::SeenItems seen;
    for (int n = 0; n < kSlots; ++n) {
        auto slot = std::make_unique<EkData>(n < kFolders / 10 ? DataType::Tone : DataType::DSP);
        slot->setNumber(n);
        slot->setName(QString("T%1").arg(n).toStdString());
        slot->setSize(kToneBytes);
        slot->setPresent();
        if (n % kFetchedEvery == 0) {
            EkDataFile item(slot->type());
            item.setSize(kToneBytes);
            item.words().assign(kToneBytes / 2, std::uint16_t(n));
            item.storeName(slot->name());
            seen.saw(*slot, item);
        }
        slots.push_back(std::move(slot));
    }
    double seconds = 0;
    int known = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        known = 0;
        for (const auto& slot : slots) {
            known += library::onPc(index, seen, *slot).state == library::OnPc::Yes ? 1 : 0;
        }
        seconds += secondsSince(start);
    }
    state.counters["onPc"] = known;
    state.counters["ms"] = seconds * 1000 / double(state.iterations());
}
BENCHMARK(BM_OnPcColumnAfterAListing)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(benchIterations(20));

constexpr int kTickMs = 5;

void BM_WindowStallDuringAScan(benchmark::State& state) {
    const QString files = collection().path();
    QTemporaryDir data;
    double worst = 0;
    for (auto _ : state) {
        QFile::remove(data.filePath("library.sqlite"));
        library::BackgroundScan scan(data.filePath("library.sqlite"), MsgStr());
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            worst = std::max(worst, double(now - last) / 1e6 - kTickMs);
            last = now;
        });
        bool finished = false;
        QObject::connect(&scan, &library::BackgroundScan::finished,
                         [&](const library::ScanSummary&) { finished = true; });
        clock.start();
        tick.start(kTickMs);
        scan.scan({files});
        while (!finished) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    state.counters["worstStallMs"] = worst;
}
// 24,000 copies of one tone in 24 folders: a search by its name, and its look-up by hash.
void BM_FindAmongIdenticalCopies(benchmark::State& state) {
    constexpr int kCopies = 24000;
    constexpr int kCopiesPerFolder = 1000;
    QTemporaryDir folder;
    EkDataFile item(DataType::Tone);
    item.setSize(kToneBytes);
    item.words().assign(kToneBytes / 2, 0x1234);
    item.storeName("Copied");
    for (int n = 0; n < kCopies; ++n) {
        const QDir dir(folder.filePath(QString("set %1").arg(n / kCopiesPerFolder)));
        QDir().mkpath(dir.path());
        NvbFileStream(dir.filePath(QString("copy %1.nvb").arg(n)), NvbFileStream::Create)
            .write(item);
    }
    library::Index index(folder.filePath("library.sqlite"));
    index.scan({folder.path()}, MsgStr());
    const QString hash = library::Index::itemHash(item);
    double seconds = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const auto found = index.find("Copied");
        const auto same = index.holding(hash);
        seconds += secondsSince(start);
        if (found.size() != std::size_t(kCopies) || same.size() != std::size_t(kCopies)) {
            state.SkipWithError("not every copy was found");
        }
    }
    state.counters["seconds_find_and_lookup"] = seconds / double(state.iterations());
}
BENCHMARK(BM_FindAmongIdenticalCopies)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

BENCHMARK(BM_WindowStallDuringAScan)->Unit(benchmark::kMillisecond)->Iterations(benchIterations(3));

}  // namespace
