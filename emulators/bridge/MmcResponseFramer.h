// The MMC responses as the bridge hands them to the host, filler included:
// R1 in one 7-byte piece, R3 in one, R2 in three. With `corruptCrc` every
// CRC7 the card sends is wrong.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "MmcCard.h"

namespace murmex::bridge {

class MmcResponseFramer {
public:
    explicit MmcResponseFramer(bool corruptCrc) : corruptCrc_(corruptCrc) {}

    std::vector<std::uint8_t> R1(std::uint8_t commandIndex, std::uint32_t status) const;
    std::vector<std::uint8_t> R2(const MmcCard::Register& reg) const;
    std::vector<std::uint8_t> R3(std::uint32_t ocr) const;

private:
    std::uint8_t CrcByte(std::span<const std::uint8_t> bytes) const;

    bool corruptCrc_;
};

}  // namespace murmex::bridge
