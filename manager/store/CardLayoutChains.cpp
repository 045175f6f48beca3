// Block chains: the link table's walks, allocation of the lowest free block,
// and freeing. Every walk moves only upward and below N, so it ends after at
// most N moves whatever the card holds.
#include "ByteOrder.h"
#include "CardLayout.h"

namespace murmex {

std::uint16_t CardLayout::Link(std::uint32_t block) const {
    if (block >= variant_.blockCount) return kFree;
    return ReadBE16(linkTable_, 2 * block);
}

void CardLayout::SetLink(std::uint32_t block, std::uint16_t value) {
    if (block < variant_.blockCount) WriteBE16(linkTable_, 2 * block, value);
}

std::uint16_t CardLayout::EndMark(std::uint32_t block) const {
    return variant_.IsDvr() ? static_cast<std::uint16_t>(block) : kMarkerEnd;
}

bool CardLayout::IsFree(std::uint32_t block) const {
    return block >= variant_.FirstAllocatable() && block < variant_.blockCount && Link(block) == kFree &&
           usable_[block] != 0;
}

std::uint16_t CardLayout::FindFreeBlock() const {
    for (std::uint32_t b = variant_.FirstAllocatable(); b < variant_.blockCount; ++b)
        if (IsFree(b)) return static_cast<std::uint16_t>(b);
    return kFree;
}

std::uint32_t CardLayout::GetFreeBlockCount() const {
    std::uint32_t count = 0;
    for (std::uint32_t b = variant_.FirstAllocatable(); b < variant_.blockCount; ++b)
        if (IsFree(b)) ++count;
    return count;
}

std::uint16_t CardLayout::PickLastBlock(std::uint32_t first, std::uint32_t n) const {
    if (n == 0) return static_cast<std::uint16_t>(first);
    std::uint32_t counted = 0;
    for (std::uint32_t b = first; b < variant_.blockCount; ++b)
        if (IsFree(b) && ++counted == n) return static_cast<std::uint16_t>(b);
    return kFree;
}

std::uint32_t CardLayout::ChainLength(std::uint32_t first, std::uint32_t last) const {
    std::uint32_t count = 1;
    std::uint32_t b = first;
    while (b != last && b < variant_.blockCount) {
        const std::uint32_t c = Link(b);
        if (c <= b && c < variant_.blockCount) break;
        ++count;
        b = c;
    }
    return count;
}

// The walk shared by the seek, measure and extend operations: from `block`,
// follow up to `steps` links that point upward and below N; stop at the
// first that does not.
CardLayout::WalkResult CardLayout::Follow(std::uint32_t block, std::uint64_t steps) const {
    WalkResult r{block, 0};
    while (r.stepsDone < steps) {
        const std::uint32_t c = Link(r.block);
        if (!(r.block < c && c < variant_.blockCount)) break;
        r.block = c;
        ++r.stepsDone;
    }
    return r;
}

CardLayout::Position CardLayout::PositionOf(std::uint32_t firstAddress, std::uint32_t offset) const {
    Position p{firstAddress >> variant_.BlockShift(), std::uint64_t{offset} + variant_.HeaderOffset(), 0};
    p.steps = p.chainPosition / variant_.blockSize;
    return p;
}

// Whether the block holding a position is reached. The marker format lets a
// finished chain go on as if its last block repeated, so only the position
// inside a block matters there.
bool CardLayout::Reaches(std::uint32_t firstAddress, std::uint32_t offset) const {
    const Position p = PositionOf(firstAddress, offset);
    const WalkResult r = Follow(p.firstBlock, p.steps);
    return r.stepsDone == p.steps || (!variant_.IsDvr() && Link(r.block) == kMarkerEnd);
}

// Walks like Follow, appending the lowest free block wherever the chain
// ends early. Returns the block reached and whether the position was reached.
CardLayout::WalkResult CardLayout::Extend(std::uint32_t firstAddress, std::uint32_t offset, bool& reached) {
    const Position p = PositionOf(firstAddress, offset);
    WalkResult r = Follow(p.firstBlock, p.steps);
    while (r.stepsDone < p.steps) {
        const std::uint16_t d = FindFreeBlock();
        if (d == kFree) {
            reached = false;
            return r;
        }
        SetLink(r.block, d);
        SetLink(d, EndMark(d));
        const WalkResult rest = Follow(d, p.steps - r.stepsDone - 1);
        r = {rest.block, r.stepsDone + 1 + rest.stepsDone};
    }
    reached = true;
    return r;
}

std::uint32_t CardLayout::RemainingFrom(std::uint32_t firstAddress, std::uint32_t offset) const {
    const Position p = PositionOf(firstAddress, offset);
    return static_cast<std::uint32_t>(variant_.blockSize - p.chainPosition % variant_.blockSize);
}

std::uint32_t CardLayout::SeekBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    const Position p = PositionOf(firstAddress, offset);
    return Address(Follow(p.firstBlock, p.steps).block);
}

std::uint32_t CardLayout::RemainingInBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    return Reaches(firstAddress, offset) ? RemainingFrom(firstAddress, offset) : 0;
}

std::uint32_t CardLayout::OffsetInBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    if (!Reaches(firstAddress, offset)) return 0;
    return static_cast<std::uint32_t>(PositionOf(firstAddress, offset).chainPosition % variant_.blockSize);
}

// A new message's first block is only recorded at creation; the first write
// takes it by making it a one-block chain.
bool CardLayout::ClaimFirstBlock(std::uint32_t firstAddress) {
    const std::uint32_t first = firstAddress >> variant_.BlockShift();
    if (first < variant_.FirstAllocatable() || first >= variant_.blockCount) return false;
    if (Link(first) == kFree) SetLink(first, EndMark(first));
    return true;
}

std::uint32_t CardLayout::ExtendChain(std::uint32_t firstAddress, std::uint32_t offset) {
    if (!ClaimFirstBlock(firstAddress)) return firstAddress;
    bool reached = false;
    return Address(Extend(firstAddress, offset, reached).block);
}

std::uint32_t CardLayout::ExtendRemaining(std::uint32_t firstAddress, std::uint32_t offset) {
    if (!ClaimFirstBlock(firstAddress)) return 0;
    bool reached = false;
    Extend(firstAddress, offset, reached);
    return reached ? RemainingFrom(firstAddress, offset) : 0;
}

int CardLayout::FreeBlock(std::uint32_t address) {
    const std::uint32_t block = address >> variant_.BlockShift();
    if (block >= variant_.blockCount || !device_) return 0;
    // A corrupt directory may name a block of the system area; erasing it
    // would destroy the card, so only message blocks are ever freed.
    if (block < variant_.FirstAllocatable()) return 0;
    if (!device_->EraseBlock(Address(block))) return 0;
    SetLink(block, kFree);
    return 1;
}

}  // namespace murmex
