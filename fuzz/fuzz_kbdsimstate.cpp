// The software keyboard's state file from arbitrary bytes: it loads or says what is wrong, and a
// memory it loads saves to a text that loads as the same memory.

#include <QJsonDocument>
#include <cstdlib>

#include "kbdsim/keyboardmemory.h"
#include "platform/systemerror.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    try {
        const kbdsim::KeyboardMemory memory = kbdsim::KeyboardMemory::fromJson(document.object());
        const QJsonObject saved = memory.toJson();
        if (kbdsim::KeyboardMemory::fromJson(saved).toJson() != saved) {
            std::abort();
        }
    } catch (const platform::SystemError&) {
    }
    return 0;
}
