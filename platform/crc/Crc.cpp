#include "Crc.h"

#include <array>

namespace murmex::crc {

std::uint8_t Crc7(std::span<const std::uint8_t> bytes) {
    std::uint8_t reg = 0;
    for (std::uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool in = ((byte >> bit) & 1) != 0;
            const bool out = (reg & 0x40) != 0;
            reg = static_cast<std::uint8_t>((reg << 1) & 0x7F);
            if (in != out) reg ^= 0x09;
        }
    }
    return reg;
}

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrc16Table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t value = static_cast<std::uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            value = static_cast<std::uint16_t>((value & 0x8000) ? (value << 1) ^ 0x1021 : value << 1);
        table[i] = value;
    }
    return table;
}

constexpr auto kCrc16Table = MakeCrc16Table();

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0;
    for (std::uint8_t byte : bytes)
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrc16Table[((crc >> 8) ^ byte) & 0xFF]);
    return crc;
}

}  // namespace murmex::crc
