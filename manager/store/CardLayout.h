// One card layout: the in-memory copy of a card's system area (link table,
// usable map, directory) for one variant, and every store operation on it:
// mount and write-back, block chains and allocation, slots and messages.
// The seventeen variants are seventeen objects of this class, each built
// from its row of the variant table.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "BlockDevice.h"
#include "SlotDirectory.h"
#include "VariantTable.h"

namespace murmex {

// A message as the directory (and, in the marker format, its header) describes it.
struct StoredMessage {
    std::uint8_t type = 0;
    std::uint32_t length = 0;
    std::uint32_t seconds = 0;
    DateStamp stamp{};
};

class CardLayout {
public:
    static constexpr std::uint16_t kFree = 0xFFFF;
    static constexpr std::uint16_t kMarkerEnd = 0xFDFD;
    static constexpr std::uint32_t kNoAddress = 0xFFFFFFFF;

    explicit CardLayout(const VariantDescriptor& variant);

    const VariantDescriptor& Variant() const { return variant_; }
    bool IsMounted() const { return device_ != nullptr; }
    BlockDevice* Device() const { return device_; }
    std::uint32_t SystemBlockNumber() const { return systemBlock_; }
    std::uint32_t LinkBlockNumber() const { return linkBlock_; }

    // System area.
    int Mount(BlockDevice& device);
    int WriteBack();

    // Block chains and allocation.
    std::uint32_t GetBlockCount() const { return variant_.blockCount; }
    std::uint32_t GetBlockSize() const { return variant_.blockSize; }
    std::uint16_t FindFreeBlock() const;
    std::uint32_t GetFreeBlockCount() const;
    std::uint16_t PickLastBlock(std::uint32_t first, std::uint32_t n) const;
    std::uint32_t ChainLength(std::uint32_t first, std::uint32_t last) const;
    std::uint32_t SeekBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t RemainingInBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t OffsetInBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t ExtendChain(std::uint32_t firstAddress, std::uint32_t offset);
    std::uint32_t ExtendRemaining(std::uint32_t firstAddress, std::uint32_t offset);
    int FreeBlock(std::uint32_t address);
    std::uint16_t Link(std::uint32_t block) const;
    bool IsUsable(std::uint32_t block) const { return block < usable_.size() && usable_[block] != 0; }

    // Folders and slots.
    std::uint32_t GetFolderCount() const { return directory_.FolderCount(); }
    std::uint32_t GetSlotCount(std::uint32_t folder) const { return directory_.SlotCount(folder); }
    std::string GetFolderName(std::uint32_t folder) const { return directory_.FolderName(folder); }
    std::uint32_t GetMessageCount(std::uint32_t folder) const { return directory_.MessageCount(folder); }
    std::uint32_t GetFirstBlockAddress(std::uint32_t folder, std::uint32_t slot) const;
    std::optional<StoredMessage> GetMessageInfo(std::uint32_t folder, std::uint32_t slot) const;
    int RemoveSlot(std::uint32_t folder, std::uint32_t slot);
    std::string GetMessageFileName(std::uint32_t folder, std::uint32_t slot) const;
    std::string GetDefaultExtension() const { return variant_.speechWav ? "wav" : "mxd"; }
    std::uint8_t GetRecordKind(std::uint32_t folder, std::uint32_t slot) const;

    // Messages.
    std::optional<std::uint32_t> CreateMessage(std::uint32_t folder, const DateStamp& stamp, std::uint32_t length,
                                               std::uint8_t type);
    bool AcceptsType(std::uint8_t type) const;
    std::uint32_t RateFor(std::uint8_t type) const;

    std::span<const std::uint8_t> DirectoryImage() const { return directory_.Image(); }

private:
    struct WalkResult {
        std::uint32_t block;
        std::uint64_t stepsDone;
    };
    struct Position {
        std::uint32_t firstBlock;
        std::uint64_t chainPosition;  // offset + header offset
        std::uint64_t steps;          // block boundaries at or before it
    };
    WalkResult Follow(std::uint32_t block, std::uint64_t steps) const;
    Position PositionOf(std::uint32_t firstAddress, std::uint32_t offset) const;
    bool Reaches(std::uint32_t firstAddress, std::uint32_t offset) const;
    WalkResult Extend(std::uint32_t firstAddress, std::uint32_t offset, bool& reached);
    std::uint32_t RemainingFrom(std::uint32_t firstAddress, std::uint32_t offset) const;
    bool ClaimFirstBlock(std::uint32_t firstAddress);
    std::uint16_t EndMark(std::uint32_t block) const;
    void SetLink(std::uint32_t block, std::uint16_t value);
    bool IsFree(std::uint32_t block) const;
    std::uint32_t Address(std::uint32_t block) const { return block << variant_.BlockShift(); }

    int MountDvr(BlockDevice& device);
    int MountMarker(BlockDevice& device);
    void MarkBadBlocks(std::span<const std::uint8_t> list);
    int WriteBackMarker();
    int WriteBackArea(std::vector<std::uint8_t>& area, std::uint32_t& current, std::uint32_t spare, std::size_t at,
                      std::span<const std::uint8_t> bytes);

    std::optional<StoredMessage> MarkerMessageInfo(std::uint32_t folder, std::uint32_t slot) const;
    int ReadBlockNumber(std::uint32_t block, std::vector<std::uint8_t>& buffer) const;

    const VariantDescriptor& variant_;
    BlockDevice* device_ = nullptr;
    std::uint32_t systemBlock_ = 0;
    std::uint32_t linkBlock_ = 0;
    std::vector<std::uint8_t> linkTable_;  // big-endian entries, as on the card
    std::vector<std::uint8_t> usable_;
    std::vector<std::uint8_t> systemArea_;  // the whole system block as last read or written
    std::vector<std::uint8_t> linkArea_;    // the whole link block (DVR format)
    SlotDirectory directory_;
};

}  // namespace murmex
