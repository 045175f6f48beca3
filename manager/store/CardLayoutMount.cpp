// Mount and write-back: loading the system area into memory and putting the
// directory and link table back on the card.
#include <algorithm>

#include "ByteOrder.h"
#include "CardLayout.h"

namespace murmex {
namespace {

constexpr std::size_t kModelCodeOffset = 40;
constexpr std::size_t kDvrDirectoryOffset = 512;
constexpr std::size_t kMarkerDirectoryOffset = 0x200;
constexpr std::size_t kMarkerBadListOffset = 0x80;
constexpr std::size_t kMarkerBadListEntries = 128;
constexpr std::size_t kDvrBadListEntries = 20;

bool ValidSystemBlock(std::span<const std::uint8_t> b) {
    return b[kModelCodeOffset] != 0xFF && b[kModelCodeOffset + 1] != 0xFF;
}

bool HasDvrSignature(std::span<const std::uint8_t> b) { return b[0] == 'D' && b[1] == 'V' && b[2] == 'R'; }

bool MarkerReservedBytesErased(std::span<const std::uint8_t> b) {
    return std::all_of(b.begin() + 17, b.begin() + 80, [](std::uint8_t x) { return x == 0xFF; });
}

}  // namespace

CardLayout::CardLayout(const VariantDescriptor& variant)
    : variant_(variant),
      linkTable_(2 * variant.linkEntries, 0xFF),
      usable_(variant.blockCount, 1),
      directory_(variant) {}

int CardLayout::ReadBlockNumber(std::uint32_t block, std::vector<std::uint8_t>& buffer) const {
    buffer.assign(variant_.blockSize, 0xFF);
    return device_->ReadBlock(Address(block), buffer);
}

void CardLayout::MarkBadBlocks(std::span<const std::uint8_t> list) {
    for (std::size_t i = 0; i + 1 < list.size(); i += 2) {
        const std::uint16_t block = ReadBE16(list, i);
        if (block != 0xFFFF && block < variant_.blockCount) usable_[block] = 0;
    }
}

int CardLayout::Mount(BlockDevice& device) {
    // The device must already read blocks of this layout's size: detection
    // switched 4 MB and 8 MB cards to 8192-byte blocks.
    if (device.GetBlockBytes() != variant_.blockSize) return 0;
    device_ = &device;
    std::fill(usable_.begin(), usable_.end(), 1);
    const int ok = variant_.IsDvr() ? MountDvr(device) : MountMarker(device);
    if (!ok) device_ = nullptr;
    return ok;
}

int CardLayout::MountDvr(BlockDevice&) {
    std::vector<std::uint8_t> block;
    if (!ReadBlockNumber(0, block)) return 0;
    systemBlock_ = 0;
    if (!ValidSystemBlock(block)) {
        if (!ReadBlockNumber(1, block) || !ValidSystemBlock(block)) return 0;
        systemBlock_ = 1;
    }
    if (block[kModelCodeOffset] != variant_.detectKey) return 0;
    systemArea_ = block;
    std::span<const std::uint8_t> area(block);
    std::copy_n(block.begin() + kDvrDirectoryOffset, variant_.directoryBytes, directory_.Image().begin());
    MarkBadBlocks(area.subspan(0, 2 * kDvrBadListEntries));

    if (!ReadBlockNumber(2, block)) return 0;
    linkBlock_ = 2;
    if (!HasDvrSignature(block)) {
        if (!ReadBlockNumber(3, block) || !HasDvrSignature(block)) return 0;
        linkBlock_ = 3;
    }
    std::copy_n(block.begin(), 2 * variant_.blockCount, linkTable_.begin());
    linkArea_ = block;
    return 1;
}

int CardLayout::MountMarker(BlockDevice&) {
    std::vector<std::uint8_t> block;
    if (!ReadBlockNumber(0, block)) return 0;
    linkBlock_ = systemBlock_ = 0;
    if (!MarkerReservedBytesErased(block)) return 0;
    const std::uint8_t marker = block[16];
    const bool unmarkedAccepted = marker == 0xFF && (variant_.code == 0xFF000003 || variant_.code == 0xFF000005);
    if (marker != variant_.detectKey && !unmarkedAccepted) return 0;
    systemArea_ = block;
    std::copy_n(block.begin() + kMarkerDirectoryOffset, variant_.directoryBytes, directory_.Image().begin());
    MarkBadBlocks(std::span<const std::uint8_t>(block).subspan(kMarkerBadListOffset, 2 * kMarkerBadListEntries));
    for (std::uint32_t k = 0; k < variant_.linkSectors; ++k)
        std::copy_n(block.begin() + variant_.linkTableStart + 512 * k, 256, linkTable_.begin() + 256 * k);
    return 1;
}

int CardLayout::WriteBack() {
    if (!device_) return 0;
    if (!variant_.IsDvr()) return WriteBackMarker();
    const std::uint32_t linkSpare = linkBlock_ == 2 ? 3 : 2;
    const std::uint32_t systemSpare = systemBlock_ == 0 ? 1 : 0;
    const std::span<const std::uint8_t> table(linkTable_.data(), 2 * variant_.blockCount);
    if (!WriteBackArea(linkArea_, linkBlock_, linkSpare, 0, table)) return 0;
    return WriteBackArea(systemArea_, systemBlock_, systemSpare, kDvrDirectoryOffset, directory_.Image());
}

// Puts bytes over one area's block at offset `at`. Alternating layouts write
// the new copy to the spare block and then erase the old one, so one
// complete copy is on the card at every moment; the others rewrite in place.
// The block's other bytes come from the copy kept since mount rather than
// from the card: after a write that failed behind its erase, the card holds
// only erased bytes there, and a retry must not make them the new copy.
int CardLayout::WriteBackArea(std::vector<std::uint8_t>& area, std::uint32_t& current, std::uint32_t spare,
                              std::size_t at, std::span<const std::uint8_t> bytes) {
    std::vector<std::uint8_t> block = area;
    std::copy(bytes.begin(), bytes.end(), block.begin() + at);
    area = block;
    if (variant_.writeBack == WriteBackScheme::InPlace) {
        if (!device_->EraseBlock(Address(current))) return 0;
        return device_->WriteBlock(Address(current), block);
    }
    // A power cut between the write and the erase of an earlier write-back can
    // leave the spare holding a copy; programming over it would AND two copies
    // into garbage, so the spare is erased first.
    if (!device_->EraseBlock(Address(spare))) return 0;
    if (!device_->WriteBlock(Address(spare), block)) return 0;
    if (!device_->EraseBlock(Address(current))) return 0;
    current = spare;
    return 1;
}

int CardLayout::WriteBackMarker() {
    std::vector<std::uint8_t> block = systemArea_;
    std::copy(directory_.Image().begin(), directory_.Image().end(), block.begin() + kMarkerDirectoryOffset);
    for (std::uint32_t k = 0; k < variant_.linkSectors; ++k)
        std::copy_n(linkTable_.begin() + 256 * k, 256, block.begin() + variant_.linkTableStart + 512 * k);
    systemArea_ = block;
    if (!device_->EraseBlock(0)) return 0;
    return device_->WriteBlock(0, block);
}

}  // namespace murmex
