// The software keyboard fed arbitrary messages from the program's side: whatever arrives, it
// answers, ignores or refuses it, and never fails. Input: [length][bytes] messages in a row.

#include <QCoreApplication>

#include "kbdsim/simulatedkeyboard.h"
#include "platform/eventwait.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kbdsim::SimulatedKeyboard keyboard;
    keyboard.setTiming({false, {}});
    std::size_t answers = 0;
    keyboard.setTransmitter([&answers](const std::vector<std::uint8_t>&) { ++answers; });
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        keyboard.receive(std::vector<std::uint8_t>(data + at + 1, data + at + 1 + length));
        at += 1 + length;
        QCoreApplication::processEvents();
    }
    QCoreApplication::processEvents();
    return 0;
}
