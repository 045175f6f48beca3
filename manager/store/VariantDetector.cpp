#include "VariantDetector.h"

#include <algorithm>
#include <vector>

#include "VariantTable.h"

namespace murmex {
namespace {

constexpr std::uint32_t kProbeBytes = 16384;

bool IsMarkerFormat(const std::vector<std::uint8_t>& b) {
    const auto notErased = [](std::uint8_t x) { return x != 0xFF; };
    const auto erased = [](std::uint8_t x) { return x == 0xFF; };
    return std::all_of(b.begin() + 10, b.begin() + 16, notErased) && std::all_of(b.begin() + 17, b.begin() + 80, erased);
}

bool InvalidSystemBlock(const std::vector<std::uint8_t>& b) { return b[40] == 0xFF || b[41] == 0xFF; }

}  // namespace

std::uint32_t DetectVariant(BlockDevice& device, TwoModeQuestion& question) {
    // The device was opened with 16384-byte blocks, so this first read holds
    // blocks 0 and 1 of a card with 8192-byte blocks.
    if (device.GetBlockBytes() != kProbeBytes) return 0;
    std::vector<std::uint8_t> b(kProbeBytes, 0xFF);
    if (!device.ReadBlock(0, b)) return 0;

    if (IsMarkerFormat(b)) {
        const std::uint8_t marker = b[16];
        if (marker == 0xFF) return question.HasTwoRecordModes() ? 0xFF000003 : 0xFF000005;
        const VariantDescriptor* v = FindMarkerVariantByMarker(marker);
        return v ? v->code : 0;
    }

    if (InvalidSystemBlock(b)) {
        const std::uint32_t second = (b[0x2028] != 0xFF && b[0x2029] != 0xFF) ? 0x2000 : 0x4000;
        if (!device.ReadBlock(second, b) || InvalidSystemBlock(b)) return 0;
    }
    const VariantDescriptor* v = FindDvrVariantByModelCode(b[40]);
    if (!v) return 0;
    if (v->blockSize == 8192 && !device.SetCardSize(v->cardMegabytes)) return 0;
    return v->code;
}

}  // namespace murmex
