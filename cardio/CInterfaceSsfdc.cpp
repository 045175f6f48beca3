// SmartMedia chip identification and the guarded erase.
#include <algorithm>
#include <array>
#include <cstring>

#include "BridgeProtocol.h"
#include "CInterface.h"

namespace murmex::cardio {

namespace {

struct KnownChip {
    std::uint8_t deviceCode;
    const char* productName;
};

// The 4 MB chip's name is what the recorders' PC software always showed.
constexpr KnownChip kKnownChips[] = {
    {0xE3, "Unlnown card"}, {0xE6, "8MB"}, {0x73, "16MB"}, {0x75, "32MB"}, {0x76, "64MB"},
};
constexpr std::uint8_t kChip64MB = 0x76;
constexpr const char* kUnknownChipName = "Unlnown card";

const KnownChip* FindChip(std::uint8_t deviceCode) {
    const auto it = std::find_if(std::begin(kKnownChips), std::end(kKnownChips),
                                 [&](const KnownChip& chip) { return chip.deviceCode == deviceCode; });
    return it == std::end(kKnownChips) ? nullptr : it;
}

}  // namespace

int CInterface::SSFDCReadID(unsigned char& maker, unsigned char& device) {
    std::array<unsigned char, kSsfdcResponseBytes> id{};
    if (!io_.SSFDCSendCommand(0, 0, ssfdc::kReset, 0, request::kCommand) ||
        !io_.SSFDCSendCommand(0, 0, ssfdc::kReadId, 0, request::kCommand) || !io_.SSFDCGetResponse(id.data()))
        return 0;
    maker = id[0];
    device = FindChip(id[1]) ? id[1] : 0;
    return 1;
}

int CInterface::SSFDCCheckCardN(unsigned int chipCount) {
    if (chipCount != 1) return 0;
    hasUniqueId_ = 0;
    if (!io_.SelectMode(busmode::kSsfdc) || !io_.SetClock(clock::k12MHz)) return 0;
    unsigned char maker = 0, device = 0;
    if (!SSFDCReadID(maker, device)) return 0;
    makerCode_ = maker;
    deviceCode_ = device;
    if (device == kChip64MB && (!io_.SelectMode(busmode::kSsfdc64) || !io_.SetClock(clock::k12MHz))) return 0;
    if (device == 0) {
        io_.SetError(kverr::kNoResponse);
        return 0;
    }
    return 1;
}

int CInterface::SSFDCCheckCard() {
    if (!SSFDCCheckCardN(1)) return 0;
    const KnownChip* chip = FindChip(deviceCode_);
    const char* name = chip ? chip->productName : kUnknownChipName;
    std::memset(ssfdcProductName_, 0, sizeof ssfdcProductName_);
    std::strncpy(ssfdcProductName_, name, sizeof ssfdcProductName_ - 1);
    return 1;
}

void CInterface::SSFDCGetUniqueID(unsigned char* out) const {
    if (out) std::copy(std::begin(uniqueId_), std::end(uniqueId_), out);
}

int CInterface::SSFDCEraseBlock(std::uint32_t address) { return io_.SSFDCEraseBlock(address, deviceCode_); }

}  // namespace murmex::cardio
