// The command-line tool's slot argument on arbitrary text: a slot it accepts is one of the
// MLS-850's and prints back as the same text.

#include <QString>
#include <cstdlib>

#include "kbddrv/slotaddress.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto slot = SlotAddress::parse(text);
    if (slot && (slot->text() != text || !SlotAddress::parse(slot->text()))) {
        std::abort();
    }
    return 0;
}
