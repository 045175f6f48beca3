// Queries on folders and slots: where a message starts, its description,
// its PC file name, and slot removal.
#include <algorithm>
#include <cstdio>

#include "ByteOrder.h"
#include "CardLayout.h"

namespace murmex {
namespace {

constexpr std::size_t kMarkerHeaderBytes = 128;
constexpr std::uint8_t kMaxMarkerSectorCount = 32;

// Where the erased tail of a marker message's last block begins: the first
// run of four 0xFF bytes, bytes past the block's end counting as 0xFF.
std::uint32_t ErasedTailStart(std::span<const std::uint8_t> block, std::size_t from) {
    for (std::size_t q = from; q < block.size(); ++q) {
        bool erased = true;
        for (std::size_t i = q; i < q + 4 && i < block.size(); ++i)
            if (block[i] != 0xFF) {
                erased = false;
                break;
            }
        if (erased) return static_cast<std::uint32_t>(q);
    }
    return static_cast<std::uint32_t>(block.size());
}

// A stored name becomes part of a PC file name: keep it to one path
// component with no control characters.
std::string SafeFileNamePart(std::string name) {
    for (char& ch : name)
        if (ch == '/' || ch == 0x7F || static_cast<unsigned char>(ch) < 0x20) ch = '_';
    if (name == "." || name == "..") name = "_";
    return name;
}

}  // namespace

std::uint32_t CardLayout::GetFirstBlockAddress(std::uint32_t folder, std::uint32_t slot) const {
    if (slot >= GetSlotCount(folder) || directory_.IsEmpty(folder, slot)) return 0;
    return Address(directory_.FirstBlock(folder, slot));
}

std::optional<StoredMessage> CardLayout::GetMessageInfo(std::uint32_t folder, std::uint32_t slot) const {
    if (slot >= GetSlotCount(folder) || directory_.IsEmpty(folder, slot) || !device_) return std::nullopt;
    if (!variant_.IsDvr()) return MarkerMessageInfo(folder, slot);
    const SlotEntry e = directory_.Decode(folder, slot);
    if (!e.typeValid) return std::nullopt;
    StoredMessage m;
    m.type = e.type;
    const std::uint32_t last = variant_.encoding == DirectoryEncoding::Generation0 ? e.lastBlock : kFree;
    m.length = (ChainLength(e.firstBlock, last) - 1) * variant_.blockSize + e.sectorCount * 512u + e.lastSectorBytes;
    m.stamp = e.stamp;
    m.seconds = variant_.encoding == DirectoryEncoding::Generation0 ? e.storedSeconds : m.length / RateFor(m.type);
    return m;
}

std::optional<StoredMessage> CardLayout::MarkerMessageInfo(std::uint32_t folder, std::uint32_t slot) const {
    const std::uint32_t first = directory_.FirstBlock(folder, slot);
    if (first >= variant_.blockCount) return std::nullopt;
    std::vector<std::uint8_t> header;
    if (!ReadBlockNumber(first, header)) return std::nullopt;
    const std::uint32_t last = ReadBE16(header, 0);
    const std::uint32_t blocks = ReadBE16(header, 3);
    // The header is the card's word about the length; refuse one that could
    // not describe a chain on this card.
    if (header[7] > kMaxMarkerSectorCount || blocks == 0 || blocks > variant_.blockCount ||
        last >= variant_.blockCount)
        return std::nullopt;
    StoredMessage m;
    m.type = header[2];
    m.seconds = ReadBE16(header, 5);
    std::vector<std::uint8_t> tail;
    if (last == first)
        tail = header;
    else if (!ReadBlockNumber(last, tail))
        return std::nullopt;
    const std::uint32_t q = ErasedTailStart(tail, blocks <= 1 ? kMarkerHeaderBytes : 0);
    m.length = (blocks - 1) * variant_.blockSize + q - static_cast<std::uint32_t>(kMarkerHeaderBytes);
    return m;
}

int CardLayout::RemoveSlot(std::uint32_t folder, std::uint32_t slot) {
    directory_.RemoveSlot(folder, slot);
    return 1;
}

std::string CardLayout::GetMessageFileName(std::uint32_t folder, std::uint32_t slot) const {
    // The marker format names folders by letter, the picture folder too (MsgD001.jpg).
    const std::string folderPart =
        variant_.IsDvr() ? GetFolderName(folder) : std::string(1, static_cast<char>('A' + folder));
    char base[32];
    std::snprintf(base, sizeof base, "Msg%s%03u", folderPart.c_str(), static_cast<unsigned>(slot + 1));
    const char* extension = !variant_.speechWav ? ".mxd" : directory_.IsPictureFolder(folder) ? ".jpg" : ".wav";
    const std::string plain = std::string(base) + extension;

    if (slot >= GetSlotCount(folder) || directory_.IsEmpty(folder, slot) || !device_) return plain;
    const bool dvrData = variant_.IsDvr() && directory_.EntryMarksData(folder, slot);
    if (variant_.IsDvr() && !dvrData) return plain;
    const std::uint32_t first = directory_.FirstBlock(folder, slot);
    if (first >= variant_.blockCount) return plain;
    std::vector<std::uint8_t> block;
    if (!ReadBlockNumber(first, block)) return plain;
    if (!variant_.IsDvr() && !(block[2] & 0x80)) return plain;
    const std::size_t at = variant_.HeaderOffset();
    if (std::all_of(block.begin() + at, block.begin() + at + 4, [](std::uint8_t b) { return b == 0xFF; }))
        return plain;
    const auto nameBegin = block.begin() + at + 4;
    const auto nameEnd = std::find(nameBegin, block.end(), std::uint8_t{0});
    return std::string(base) + "-" + SafeFileNamePart(std::string(nameBegin, nameEnd));
}

std::uint8_t CardLayout::GetRecordKind(std::uint32_t folder, std::uint32_t slot) const {
    return directory_.RecordKind(folder, slot);
}

}  // namespace murmex
