// A ".nvb" file made of arbitrary bytes: reading it either fails with the stream's own errors or
// gives an item that, written back and read again, is the same item: the same header and the
// words its header's size announces (a file's data length need not agree with its header, and
// only the announced words are filed).

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "data/ekdatafile.h"
#include "platform/systemerror.h"
#include "stream/nvbfilestream.h"
#include "stream/nvbstreamexception.h"

namespace {

QTemporaryDir* folder() {
    static QTemporaryDir dir;
    return &dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString input = folder()->filePath("input.nvb");
    const QString copy = folder()->filePath("copy.nvb");
    {
        QFile file(input);
        if (!file.open(QIODevice::WriteOnly)) {
            std::abort();
        }
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    EkDataFile item(DataType::NoType);
    try {
        NvbFileStream(input, NvbFileStream::OpenRead).read(item);
    } catch (const NvbStreamException&) {
        return 0;
    } catch (const platform::SystemError&) {
        return 0;
    }
    try {
        NvbFileStream(copy, NvbFileStream::Create).write(item);
    } catch (const platform::SystemError&) {
        return 0;  // an item the program refuses to file (odd size, fewer words than announced)
    }
    EkDataFile again(DataType::NoType);
    NvbFileStream(copy, NvbFileStream::OpenRead).read(again);
    const std::size_t words = item.size() / 2;
    if (again.header().bytes() != item.header().bytes() || again.words().size() != words ||
        !std::equal(again.words().begin(), again.words().end(), item.words().begin())) {
        std::abort();
    }
    return 0;
}
