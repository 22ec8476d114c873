// A ".syx" recording made of arbitrary bytes: reading it never fails and never reads outside
// it, and every item it gives is one the keyboard could hold; dumped again and read back, it is
// the same item in the same slot.

#include <cstdlib>

#include "data/ekdatafile.h"
#include "kbddrv/mls850layout.h"
#include "syx/syxdump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const syx::DumpContents dump = syx::readDump({data, size});
    for (const syx::DumpedItem& found : dump.items) {
        if (!mls850::isItemSize(found.type(), found.size())) {
            std::abort();
        }
        EkDataFile item(DataType::NoType);
        found.fill(item);
        const syx::DumpContents again = syx::readDump(syx::dumpOf(item, found.slot));
        if (again.items.size() != 1 || !again.unusable.empty() ||
            !(again.items.front().slot == found.slot) || again.items.front().words != found.words) {
            std::abort();
        }
    }
    for (const platform::CodedText& text : dump.unusable) {
        if (text.code != platform::ErrorCode::DumpItemUnusable || !text.reason) {
            std::abort();
        }
    }
    return 0;
}
