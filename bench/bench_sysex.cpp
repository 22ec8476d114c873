// Encoding and decoding cost of the two message shapes that dominate the traffic: a full
// 64-word data block (item transfers) and a 32-bit parameter value (listing).

#include <benchmark/benchmark.h>

#include <numeric>
#include <vector>

#include "sysex/eksysexdecoder.h"
#include "sysex/eksysexencoder.h"

namespace {

std::vector<std::uint16_t> sampleWords() {
    std::vector<std::uint16_t> words(64);
    std::iota(words.begin(), words.end(), std::uint16_t{0x7F00});
    return words;
}

void encodeBlock(benchmark::State& state) {
    std::vector<std::uint16_t> words = sampleWords();
    AreaAddress area{10, 128, 0, &words};
    EkSysExEncoder encoder;
    encoder.setModelCode(0x1101);
    encoder.setDeviceNumber(0x7F);
    encoder.setAreaAddress(&area);
    encoder.setType(SysExType::DataBlock);
    std::vector<std::uint8_t> out;
    out.reserve(256);
    for (auto _ : state) {
        out.clear();
        encoder.setBlockNumber(0);
        encoder.setDataSize(128);
        encoder.encode(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(encodeBlock);

void decodeBlock(benchmark::State& state) {
    std::vector<std::uint16_t> words = sampleWords();
    AreaAddress area{10, 128, 0, &words};
    EkSysExEncoder encoder;
    encoder.setAreaAddress(&area);
    encoder.setType(SysExType::DataBlock);
    encoder.setBlockNumber(0);
    encoder.setDataSize(128);
    std::vector<std::uint8_t> frame;
    encoder.encode(frame);
    EkSysExDecoder decoder;
    AreaAddress received;
    decoder.setAreaAddress(&received);
    for (auto _ : state) {
        decoder.decode(frame);
        benchmark::DoNotOptimize(decoder.words().data());
    }
}
BENCHMARK(decodeBlock);

void encodeParamData(benchmark::State& state) {
    AreaAddress area{0, 0, 0, nullptr};
    ParamAddress param{34, 32, 1, {0, 0, 0, 0}, 21504};
    EkSysExEncoder encoder;
    encoder.setAreaAddress(&area);
    encoder.setParamAddress(&param);
    encoder.setType(SysExType::ParamData);
    std::vector<std::uint8_t> out;
    out.reserve(256);
    for (auto _ : state) {
        out.clear();
        encoder.encode(out);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(encodeParamData);

void decodeParamData(benchmark::State& state) {
    AreaAddress area{0, 0, 0, nullptr};
    ParamAddress param{34, 32, 1, {0, 0, 0, 0}, 21504};
    EkSysExEncoder encoder;
    encoder.setAreaAddress(&area);
    encoder.setParamAddress(&param);
    encoder.setType(SysExType::ParamData);
    std::vector<std::uint8_t> frame;
    encoder.encode(frame);
    EkSysExDecoder decoder;
    decoder.setAreaAddress(&area);
    decoder.setParamAddress(&param);
    for (auto _ : state) {
        decoder.decode(frame);
        benchmark::DoNotOptimize(decoder.value());
    }
}
BENCHMARK(decodeParamData);

}  // namespace

BENCHMARK_MAIN();
