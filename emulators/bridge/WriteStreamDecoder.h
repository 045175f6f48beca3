// Recovers one MMC data block from the bit-shifted stream the host clocks
// out: idle one-bits, a zero start bit, the data most significant bit first,
// CRC16, and a one end bit, at whatever bit position the start bit falls.
#pragma once

#include <cstdint>
#include <span>

namespace murmex::bridge {

class WriteStreamDecoder {
public:
    enum class Result { Accepted, NoStartBit, Rejected };

    // `block` receives the data bytes; its size is the block length. Rejected:
    // the CRC16 or the end bit is wrong.
    static Result Decode(std::span<const std::uint8_t> stream, std::span<std::uint8_t> block);
};

}  // namespace murmex::bridge
