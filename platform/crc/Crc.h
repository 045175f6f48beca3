// The two checksums of the MMC bus: CRC7 over command and response bytes and
// CRC16 (CCITT polynomial) over data blocks. Shared by the card access library
// and the bridge emulator, which must agree on them bit for bit.
#pragma once

#include <cstdint>
#include <span>

namespace murmex::crc {

// Polynomial x^7 + x^3 + 1, register starting at 0, most significant bit
// first; the 7-bit value (not yet shifted into a CRC byte).
std::uint8_t Crc7(std::span<const std::uint8_t> bytes);

// The byte the bus carries: CRC7 << 1 with the end bit set.
inline std::uint8_t Crc7Byte(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>((Crc7(bytes) << 1) | 1);
}

// Polynomial 0x1021, initial value 0, no final XOR, most significant bit first.
std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

}  // namespace murmex::crc
