#include "CardFormatter.h"

#include <cstring>

#include "ByteOrder.h"

namespace murmex {
namespace {

constexpr char kIdentification[] = "MURMEX-FORMATTED";  // 16 bytes, none of them 0xFF
constexpr std::uint8_t kValidityByte = 0x00;             // byte 41 of a DVR system block

}  // namespace

std::uint32_t BadBlockCapacity(const VariantDescriptor& variant) { return variant.IsDvr() ? 20 : 128; }

std::string FormatCard(BlockDevice& device, const VariantDescriptor& v, const FormatOptions& options) {
    if (options.badBlocks.size() > BadBlockCapacity(v))
        return "too many bad blocks: this card lists at most " + std::to_string(BadBlockCapacity(v));
    for (std::uint16_t b : options.badBlocks)
        if (b < v.FirstAllocatable() || b >= v.blockCount)
            return "bad block " + std::to_string(b) + " is outside the message blocks " +
                   std::to_string(v.FirstAllocatable()) + "-" + std::to_string(v.blockCount - 1);
    if (!device.SetCardSize(v.cardMegabytes) || device.GetBlockBytes() != v.blockSize)
        return "the device cannot use " + std::to_string(v.blockSize) + "-byte blocks";

    const std::uint32_t physicalBlocks = v.ImageBytes() / v.blockSize;
    for (std::uint32_t b = 0; b < physicalBlocks; ++b)
        if (!device.EraseBlock(b * v.blockSize)) return "erasing block " + std::to_string(b) + " failed";

    std::vector<std::uint8_t> system(v.blockSize, 0xFF);
    if (v.IsDvr()) {
        for (std::size_t i = 0; i < options.badBlocks.size(); ++i) WriteBE16(system, 2 * i, options.badBlocks[i]);
        system[40] = v.detectKey;
        system[41] = kValidityByte;
        std::vector<std::uint8_t> link(v.blockSize, 0xFF);
        std::memcpy(link.data(), "DVR", 3);
        if (!device.WriteBlock(0, system) || !device.WriteBlock(2 * v.blockSize, link))
            return "writing the system area failed";
        return {};
    }
    std::memcpy(system.data(), kIdentification, 16);
    system[16] = options.withoutMarker ? 0xFF : v.detectKey;
    for (std::size_t i = 0; i < options.badBlocks.size(); ++i) WriteBE16(system, 0x80 + 2 * i, options.badBlocks[i]);
    if (!device.WriteBlock(0, system)) return "writing the system area failed";
    return {};
}

}  // namespace murmex
