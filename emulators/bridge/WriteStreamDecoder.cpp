#include "WriteStreamDecoder.h"

#include "ByteOrder.h"
#include "Crc.h"

namespace murmex::bridge {

namespace {

class BitReader {
public:
    BitReader(std::span<const std::uint8_t> bytes, std::size_t position) : bytes_(bytes), position_(position) {}
    unsigned Next() {
        const unsigned bit = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1u;
        ++position_;
        return bit;
    }
    std::uint8_t NextByte() {
        unsigned value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 1) | Next();
        return static_cast<std::uint8_t>(value);
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t position_;
};

constexpr std::size_t kCrcBits = 16;

}  // namespace

WriteStreamDecoder::Result WriteStreamDecoder::Decode(std::span<const std::uint8_t> stream,
                                                      std::span<std::uint8_t> block) {
    const std::size_t streamBits = stream.size() * 8;
    const std::size_t frameBits = 1 + block.size() * 8 + kCrcBits + 1;  // start, data, CRC, end
    if (streamBits < frameBits) return Result::NoStartBit;

    // The start bit is the first zero, and the whole frame must still fit after it.
    const std::size_t lastStart = streamBits - frameBits;
    std::size_t start = 0;
    BitReader scan(stream, 0);
    while (start <= lastStart && scan.Next() == 1) ++start;
    if (start > lastStart) return Result::NoStartBit;

    BitReader frame(stream, start + 1);
    for (std::uint8_t& byte : block) byte = frame.NextByte();
    std::uint8_t crc[2];
    crc[0] = frame.NextByte();
    crc[1] = frame.NextByte();
    const bool endBit = frame.Next() == 1;
    if (!endBit || ReadBE16(crc, 0) != crc::Crc16(block)) return Result::Rejected;
    return Result::Accepted;
}

}  // namespace murmex::bridge
