// The frame decoder on arbitrary bytes: it either decodes or throws EkSysExException; nothing
// else (no other exception, no read outside the frame) is acceptable for any input.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sysex/ekexception.h"
#include "sysex/eksysexdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint16_t> words;
    AreaAddress area{0, 0, 0, &words};
    ParamAddress param;
    EkSysExDecoder decoder;
    decoder.setAreaAddress(&area);
    decoder.setParamAddress(&param);
    try {
        decoder.decode(std::vector<std::uint8_t>(data, data + size));
    } catch (const EkSysExException&) {
    }
    return 0;
}
