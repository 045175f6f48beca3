// The directory of message slots as the card stores it: placement of the
// entry of (folder, slot) in the directory image, the four encodings of an
// entry, the empty test, and slot removal that closes the gap.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "VariantTable.h"

namespace murmex {

using DateStamp = std::array<std::uint8_t, 6>;  // yy mm dd hh mi ss

// One slot's fields as stored; what a field means depends on the encoding.
struct SlotEntry {
    std::uint8_t type = 0;
    std::uint16_t firstBlock = 0xFFFF;
    std::uint16_t lastBlock = 0xFFFF;       // generation 0
    std::uint16_t lastSectorBytes = 0;      // generations 0-2: 1..512
    std::uint8_t sectorCount = 0;           // generations 0-2: full sectors before the last one
    DateStamp stamp{};                      // generations 0-2
    std::uint32_t storedSeconds = 0;        // generation 0: hours/minutes/seconds bytes
    bool typeValid = true;                  // generation 1: types 2 and 3 are not valid there
};

class SlotDirectory {
public:
    explicit SlotDirectory(const VariantDescriptor& variant);

    std::span<std::uint8_t> Image() { return image_; }
    std::span<const std::uint8_t> Image() const { return image_; }

    std::uint32_t FolderCount() const { return variant_.folderCount; }
    std::uint32_t SlotCount(std::uint32_t folder) const;
    std::string FolderName(std::uint32_t folder) const;
    bool IsPictureFolder(std::uint32_t folder) const;

    bool IsEmpty(std::uint32_t folder, std::uint32_t slot) const;
    std::uint32_t MessageCount(std::uint32_t folder) const;
    // Lowest empty slot (slot 0 first), or nothing when the folder is full.
    std::optional<std::uint32_t> FindEmptySlot(std::uint32_t folder) const;
    std::uint16_t FirstBlock(std::uint32_t folder, std::uint32_t slot) const;

    SlotEntry Decode(std::uint32_t folder, std::uint32_t slot) const;
    // Writes a used entry; for the marker format only the first block is kept.
    void Encode(std::uint32_t folder, std::uint32_t slot, const SlotEntry& entry);
    void Clear(std::uint32_t folder, std::uint32_t slot);
    void RemoveSlot(std::uint32_t folder, std::uint32_t slot);

    // Generation 2 record kind: 0xFF empty, 0 voice, 1 continuation, 0x80 data, 2 TTS.
    std::uint8_t RecordKind(std::uint32_t folder, std::uint32_t slot) const;
    // Whether the entry itself marks a data message (the marker format keeps
    // the type in the message header instead and answers false here).
    bool EntryMarksData(std::uint32_t folder, std::uint32_t slot) const;

    std::uint32_t EntrySize() const;

private:
    // Byte offset of the entry at position i of the folder (i may be the
    // spare position right after the last slot), or nothing when outside.
    std::optional<std::size_t> EntryOffset(std::uint32_t folder, std::uint32_t position) const;
    std::span<const std::uint8_t> Entry(std::uint32_t folder, std::uint32_t position) const;
    std::span<std::uint8_t> Entry(std::uint32_t folder, std::uint32_t position);

    const VariantDescriptor& variant_;
    std::vector<std::uint8_t> image_;
};

}  // namespace murmex
