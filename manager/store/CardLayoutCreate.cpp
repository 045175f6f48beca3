// Message creation: a slot and a recorded first block; in the marker format
// also the message header in that block.
#include <algorithm>

#include "ByteOrder.h"
#include "CardLayout.h"

namespace murmex {

bool CardLayout::AcceptsType(std::uint8_t type) const {
    if (variant_.speechWav || (type & 0x80)) return true;
    if (type <= 1) return true;
    return variant_.encoding == DirectoryEncoding::Generation2 && (type == 2 || type == 3 || type == 6 || type == 7);
}

// Bytes per second of recording, by type; a data message has no duration.
std::uint32_t CardLayout::RateFor(std::uint8_t type) const {
    if (type & 0x80) return variant_.blockCount * variant_.blockSize;
    if (variant_.speechWav) return 1067;
    return (type & 1) ? 496 : 1080;
}

std::optional<std::uint32_t> CardLayout::CreateMessage(std::uint32_t folder, const DateStamp& stamp,
                                                       std::uint32_t length, std::uint8_t type) {
    if (!device_) return std::nullopt;
    const std::uint16_t first = FindFreeBlock();
    if (first == kFree || !AcceptsType(type)) return std::nullopt;
    if (folder >= GetFolderCount() || directory_.IsPictureFolder(folder)) return std::nullopt;
    const auto slot = directory_.FindEmptySlot(folder);
    if (!slot) return std::nullopt;

    const std::uint32_t s = variant_.blockSize;
    // A DVR message of length 0 has no last byte to place: its block count
    // wraps in the card's 32-bit arithmetic and creation fails.
    const std::uint64_t needed = variant_.IsDvr() ? (length == 0 ? 0x100000000ull / s : (length - 1ull) / s + 1)
                                                  : (length + 127ull) / s + 1;
    if (needed > GetFreeBlockCount()) return std::nullopt;
    const std::uint16_t last = PickLastBlock(first, static_cast<std::uint32_t>(needed));
    const std::uint32_t seconds = length / RateFor(type);

    SlotEntry e;
    e.type = type;
    e.firstBlock = first;
    e.lastBlock = last;
    e.stamp = stamp;
    e.storedSeconds = seconds;
    if (length > 0) {
        e.lastSectorBytes = static_cast<std::uint16_t>((length - 1) % 512 + 1);
        e.sectorCount = static_cast<std::uint8_t>(((length - 1) % s) / 512);
    }
    directory_.Encode(folder, *slot, e);
    if (variant_.IsDvr()) return slot;

    std::vector<std::uint8_t> block(s, 0xFF);
    WriteBE16(block, 0, last);
    block[2] = type;
    WriteBE16(block, 3, static_cast<std::uint16_t>(needed));
    WriteBE16(block, 5, static_cast<std::uint16_t>(seconds));
    block[7] = static_cast<std::uint8_t>(((length + 127ull) % s) / 512);
    if (!device_->EraseBlock(Address(first)) || !device_->WriteBlock(Address(first), block)) {
        // Without its header block the slot would point at a free block that
        // the next message takes; give the slot back.
        directory_.Clear(folder, *slot);
        return std::nullopt;
    }
    // The header is on the card now, so the block is taken: a message with no
    // data (length 0) would otherwise leave it free for the next one.
    SetLink(first, kMarkerEnd);
    return slot;
}

}  // namespace murmex
