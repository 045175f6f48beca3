#include "MmcResponseFramer.h"

#include <algorithm>

#include "Crc.h"

namespace murmex::bridge {

namespace {
constexpr std::uint8_t kFiller = 0xFF;
constexpr std::uint8_t kNoIndex = 0x3F;  // R2 and R3 carry no command index
constexpr std::size_t kPiece = 7;
constexpr std::size_t kShortPieces = 1, kLongPieces = 3;

std::vector<std::uint8_t> Pieces(std::size_t count, std::uint8_t first) {
    std::vector<std::uint8_t> out(count * kPiece, kFiller);
    out[0] = first;
    return out;
}

void PutBE32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}
}  // namespace

std::uint8_t MmcResponseFramer::CrcByte(std::span<const std::uint8_t> bytes) const {
    const std::uint8_t crc = crc::Crc7Byte(bytes);
    return corruptCrc_ ? static_cast<std::uint8_t>(crc ^ 0x02) : crc;  // end bit stays set
}

std::vector<std::uint8_t> MmcResponseFramer::R1(std::uint8_t commandIndex, std::uint32_t status) const {
    std::vector<std::uint8_t> out = Pieces(kShortPieces, static_cast<std::uint8_t>(commandIndex & 0x3F));
    PutBE32(out, 1, status);
    out[5] = CrcByte(std::span(out).first(5));
    return out;
}

std::vector<std::uint8_t> MmcResponseFramer::R2(const MmcCard::Register& reg) const {
    std::vector<std::uint8_t> out = Pieces(kLongPieces, kNoIndex);
    std::copy(reg.begin(), reg.end() - 1, out.begin() + 1);
    out[reg.size()] = CrcByte(std::span(reg).first(reg.size() - 1));
    return out;
}

std::vector<std::uint8_t> MmcResponseFramer::R3(std::uint32_t ocr) const {
    std::vector<std::uint8_t> out = Pieces(kShortPieces, kNoIndex);
    PutBE32(out, 1, ocr);
    return out;
}

}  // namespace murmex::bridge
