#pragma once

// Keyboard frames written out by hand, independently of the project's codec, so that a codec
// fault cannot hide by being made on both sides of a test.

#include <cstdint>
#include <vector>

namespace handframes {

using Bytes = std::vector<std::uint8_t>;

inline Bytes header(int type, int area, int byte6, int byte7, int address) {
    return {0xF0,
            0x44,
            0x11,
            0x01,
            0x7F,
            std::uint8_t((type << 4) | (area & 0x0F)),
            std::uint8_t(byte6),
            std::uint8_t(byte7),
            std::uint8_t(address & 0x7F),
            std::uint8_t((address >> 7) & 0x7F)};
}

inline int groups(int bits) {
    return bits <= 7 ? 1 : bits <= 14 ? 2 : bits <= 21 ? 3 : bits <= 28 ? 4 : 5;
}

inline Bytes request(int area, int address, int command, int bits, int parameter) {
    Bytes m = header(1, area, command, bits - 1, address);
    m.push_back(std::uint8_t(parameter));
    m.push_back(0xF7);
    return m;
}

inline Bytes paramData(int area, int address, int command, int bits, int parameter,
                       std::uint32_t value) {
    Bytes m = header(0, area, command, bits - 1, address);
    m.push_back(std::uint8_t(parameter));
    for (int i = 0; i < groups(bits); ++i) {
        m.push_back(std::uint8_t((value >> (7 * i)) & 0x7F));
    }
    m.push_back(0xF7);
    return m;
}

inline Bytes dataRequest(int area, int address) {
    Bytes m = header(5, area, 0, 0, address);
    m.push_back(0x00);
    m.push_back(0xF7);
    return m;
}

inline Bytes status(int area, int address, int value) {
    Bytes m = header(7, area, 0, 0, address);
    m.push_back(std::uint8_t(value));
    m.push_back(0xF7);
    return m;
}

// Block `block` of `words`: up to 64 words from word 64 * block.
inline Bytes block(int area, int address, int block, const std::vector<std::uint16_t>& words) {
    Bytes m = header(4, area, 0x00, 0x4F, address);
    const std::size_t first = std::size_t(block) * 64;
    const std::size_t count = std::min<std::size_t>(64, words.size() - first);
    m.push_back(std::uint8_t(block & 0x7F));
    m.push_back(std::uint8_t((block >> 7) & 0x7F));
    m.push_back(std::uint8_t(count));
    unsigned sum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint16_t w = words[first + i];
        for (std::uint8_t b :
             {std::uint8_t(w & 0x7F), std::uint8_t((w >> 7) & 0x7F), std::uint8_t(w >> 14)}) {
            m.push_back(b);
            sum += b;
        }
    }
    m.push_back(std::uint8_t((128 - sum % 128) % 128));
    m.push_back(0xF7);
    return m;
}

// The value of a ParamData answer, read off its groups.
inline std::uint32_t valueOf(const Bytes& m) {
    const int count = ((m.at(7) >> 5) & 3) + 1;
    const int bits = (m.at(7) & 0x1F) + 1;
    std::uint32_t value = 0;
    for (int i = 0; i < groups(bits); ++i) {
        value |= std::uint32_t(m.at(std::size_t(10 + count + i))) << (7 * i);
    }
    return value;
}

// The words of a DataBlock, read off its bytes.
inline std::vector<std::uint16_t> wordsOf(const Bytes& m) {
    std::vector<std::uint16_t> words;
    for (std::size_t at = 13; at + 2 < m.size() - 2; at += 3) {
        words.push_back(std::uint16_t(m[at] | (m[at + 1] << 7) | (m[at + 2] << 14)));
    }
    return words;
}

inline bool checksumOk(const Bytes& m) {
    unsigned sum = 0;
    for (std::size_t at = 13; at < m.size() - 1; ++at) {
        sum += m[at];
    }
    return sum % 128 == 0;
}

}  // namespace handframes
