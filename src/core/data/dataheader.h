#pragma once

#include <array>
#include <cstdint>
#include <string_view>

// The 64-byte header every data item carries, which is also the first 64 bytes of a ".nvb"
// file. Numbers are stored high byte first:
//   0-15  "VELTA Music Lib" and a zero byte
//   16-19 data size in bytes
//   20-21 keyboard model code
//   22-23 type code
//   24-63 zero, except a registration's name in 24-31 (pairs exchanged)
class DataHeader {
public:
    static constexpr std::size_t kSize = 64;
    static constexpr std::string_view kMagic = "VELTA Music Lib";
    static constexpr std::size_t kExtraOffset = 24;

    // A fresh header: the magic, and every other byte zero.
    DataHeader();

    std::uint32_t size() const { return read32(16); }
    void setSize(std::uint32_t size) { write32(16, size); }
    std::uint16_t modelCode() const { return read16(20); }
    void setModelCode(std::uint16_t code) { write16(20, code); }
    std::uint16_t type() const { return read16(22); }
    void setType(std::uint16_t type) { write16(22, type); }

    // True when the text up to the first zero byte is exactly the magic.
    bool hasMagic() const;

    std::array<std::uint8_t, kSize>& bytes() { return bytes_; }
    const std::array<std::uint8_t, kSize>& bytes() const { return bytes_; }

private:
    std::uint32_t read32(std::size_t at) const;
    void write32(std::size_t at, std::uint32_t value);
    std::uint16_t read16(std::size_t at) const;
    void write16(std::size_t at, std::uint16_t value);

    std::array<std::uint8_t, kSize> bytes_{};
};
