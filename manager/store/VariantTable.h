// The seventeen card layouts recorders write, each described by one table
// row; one layout implementation reads its parameters from these rows.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace murmex {

enum class CardFormat { Marker, Dvr };

// How directory entries are placed and encoded.
enum class DirectoryEncoding { Marker, Generation0, Generation1, Generation2 };

enum class WriteBackScheme { InPlace, Alternating };

struct VariantDescriptor {
    std::uint32_t code;              // 0xFF0000XY
    CardFormat format;
    DirectoryEncoding encoding;
    std::uint32_t blockSize;         // S: 8192 or 16384
    std::uint32_t blockCount;        // N
    std::uint32_t linkEntries;       // entries kept in memory (>= N)
    std::uint32_t directoryBytes;    // D
    std::uint32_t linkTableStart;    // marker format: L (offset in block 0)
    std::uint32_t linkSectors;       // marker format: K
    std::uint8_t detectKey;          // marker byte (marker) or model code (DVR)
    WriteBackScheme writeBack;
    std::uint32_t folderCount;
    bool pictureFolder;              // fourth folder "Pic" with 255 slots
    bool speechWav;                  // recorder audio kept as speech-format WAV
    int cardMegabytes;               // physical card size: 4, 8, 16 or 32

    bool IsDvr() const { return format == CardFormat::Dvr; }
    std::uint32_t FirstAllocatable() const { return IsDvr() ? 6 : 1; }
    std::uint32_t HeaderOffset() const { return IsDvr() ? 0 : 128; }
    std::uint32_t BlockShift() const { return blockSize == 16384 ? 14 : 13; }
    int Generation() const;          // 0, 1, 2 for DVR; -1 for the marker format
    std::uint32_t ImageBytes() const { return static_cast<std::uint32_t>(cardMegabytes) << 20; }
};

// All seventeen, in a fixed order.
std::span<const VariantDescriptor> AllVariants();
const VariantDescriptor* FindVariant(std::uint32_t code);
const VariantDescriptor* FindDvrVariantByModelCode(std::uint8_t modelCode);
const VariantDescriptor* FindMarkerVariantByMarker(std::uint8_t marker);

std::string VariantCodeText(std::uint32_t code);  // "0xFF000021"
std::optional<std::uint32_t> ParseVariantCode(std::string_view text);

}  // namespace murmex
