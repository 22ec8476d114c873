// The library of the user's files: the first index of 10,000 keyboard files (9,000 ".nvb" and
// 1,000 ".syx" in 100 folders) and a scan of them again when nothing changed.

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "benchiterations.h"
#include "data/ekdatafile.h"
#include "kbddrv/slotaddress.h"
#include "library/libraryindex.h"
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

}  // namespace
