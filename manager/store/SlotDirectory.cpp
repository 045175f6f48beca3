#include "SlotDirectory.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex {
namespace {

constexpr std::uint32_t kSlotsPerFolder = 99;
constexpr std::uint32_t kPictureSlots = 255;

}  // namespace

SlotDirectory::SlotDirectory(const VariantDescriptor& variant)
    : variant_(variant), image_(variant.directoryBytes, 0xFF) {}

std::uint32_t SlotDirectory::EntrySize() const {
    switch (variant_.encoding) {
        case DirectoryEncoding::Marker: return 2;
        case DirectoryEncoding::Generation0: return 20;
        default: return 10;
    }
}

bool SlotDirectory::IsPictureFolder(std::uint32_t folder) const {
    return variant_.pictureFolder && folder == 3;
}

std::uint32_t SlotDirectory::SlotCount(std::uint32_t folder) const {
    if (folder >= FolderCount()) return 0;
    return IsPictureFolder(folder) ? kPictureSlots : kSlotsPerFolder;
}

std::string SlotDirectory::FolderName(std::uint32_t folder) const {
    if (folder >= FolderCount()) return {};
    if (IsPictureFolder(folder)) return "Pic";
    return std::string(1, static_cast<char>('A' + folder));
}

std::optional<std::size_t> SlotDirectory::EntryOffset(std::uint32_t folder, std::uint32_t i) const {
    if (folder >= FolderCount() || i > SlotCount(folder)) return std::nullopt;
    std::size_t offset = 0;
    switch (variant_.encoding) {
        case DirectoryEncoding::Marker:
            offset = IsPictureFolder(folder) ? 512 * (3 + i / 128) + 2 * (i % 128) : 512 * folder + 2 * i;
            break;
        case DirectoryEncoding::Generation0:
            offset = 2048 * folder + 512 * (i / 25) + 20 * (i % 25);
            break;
        case DirectoryEncoding::Generation1:
        case DirectoryEncoding::Generation2:
            offset = 1024 * folder + 512 * (i / 50) + 10 * (i % 50);
            break;
    }
    if (offset + EntrySize() > image_.size()) return std::nullopt;
    return offset;
}

std::span<const std::uint8_t> SlotDirectory::Entry(std::uint32_t folder, std::uint32_t position) const {
    const auto offset = EntryOffset(folder, position);
    if (!offset) return {};
    return std::span<const std::uint8_t>(image_).subspan(*offset, EntrySize());
}

std::span<std::uint8_t> SlotDirectory::Entry(std::uint32_t folder, std::uint32_t position) {
    const auto offset = EntryOffset(folder, position);
    if (!offset) return {};
    return std::span<std::uint8_t>(image_).subspan(*offset, EntrySize());
}

bool SlotDirectory::IsEmpty(std::uint32_t folder, std::uint32_t slot) const {
    const auto e = Entry(folder, slot);
    if (e.empty()) return true;
    // Generation 2 uses every value of byte 0, so only the block number's high byte marks an empty slot.
    return variant_.encoding == DirectoryEncoding::Generation2 ? e[1] == 0xFF : e[0] == 0xFF;
}

std::uint32_t SlotDirectory::MessageCount(std::uint32_t folder) const {
    const std::uint32_t slots = SlotCount(folder);
    std::uint32_t count = 0;
    while (count < slots && !IsEmpty(folder, count)) ++count;
    return count;
}

std::optional<std::uint32_t> SlotDirectory::FindEmptySlot(std::uint32_t folder) const {
    const std::uint32_t slots = SlotCount(folder);
    for (std::uint32_t i = 0; i < slots; ++i)
        if (IsEmpty(folder, i)) return i;
    return std::nullopt;
}

std::uint16_t SlotDirectory::FirstBlock(std::uint32_t folder, std::uint32_t slot) const {
    const auto e = Entry(folder, slot);
    if (e.empty()) return 0xFFFF;
    return ReadBE16(e, variant_.encoding == DirectoryEncoding::Marker ? 0 : 1);
}

namespace {

std::uint8_t Gen2TypeFromCode(std::uint8_t code) {
    static constexpr std::uint8_t kTypes[8] = {0, 1, 2, 3, 0x80, 0x81, 6, 7};
    return kTypes[code & 7];
}

}  // namespace

SlotEntry SlotDirectory::Decode(std::uint32_t folder, std::uint32_t slot) const {
    SlotEntry out;
    const auto e = Entry(folder, slot);
    if (e.empty()) return out;
    switch (variant_.encoding) {
        case DirectoryEncoding::Marker:
            out.firstBlock = ReadBE16(e, 0);
            break;
        case DirectoryEncoding::Generation0:
            out.type = e[0];
            out.firstBlock = ReadBE16(e, 1);
            out.lastBlock = ReadBE16(e, 3);
            out.lastSectorBytes = ReadBE16(e, 5);
            out.sectorCount = e[7];
            std::copy(e.begin() + 11, e.begin() + 17, out.stamp.begin());
            out.storedSeconds = e[17] * 3600u + e[18] * 60u + e[19];
            break;
        case DirectoryEncoding::Generation1:
        case DirectoryEncoding::Generation2: {
            if (variant_.encoding == DirectoryEncoding::Generation1) {
                out.type = static_cast<std::uint8_t>(((e[0] >> 5) & 3) | (e[0] & 0x80));
                out.typeValid = out.type != 2 && out.type != 3;
            } else {
                out.type = Gen2TypeFromCode(static_cast<std::uint8_t>(e[0] >> 5));
            }
            out.sectorCount = e[0] & 0x1F;
            out.firstBlock = ReadBE16(e, 1);
            out.lastSectorBytes = ReadBE16(e, 3);
            const std::uint16_t date = ReadBE16(e, 5);
            const std::uint8_t year = static_cast<std::uint8_t>(date >> 9);
            if (year <= 99)
                out.stamp = {year, static_cast<std::uint8_t>((date >> 5) & 0x0F),
                             static_cast<std::uint8_t>(date & 0x1F), e[7], e[8], e[9]};
            break;
        }
    }
    return out;
}

void SlotDirectory::Encode(std::uint32_t folder, std::uint32_t slot, const SlotEntry& in) {
    const auto e = Entry(folder, slot);
    if (e.empty()) return;
    switch (variant_.encoding) {
        case DirectoryEncoding::Marker:
            WriteBE16(e, 0, in.firstBlock);
            break;
        case DirectoryEncoding::Generation0:
            e[0] = in.type;
            WriteBE16(e, 1, in.firstBlock);
            WriteBE16(e, 3, in.lastBlock);
            WriteBE16(e, 5, in.lastSectorBytes);
            e[7] = in.sectorCount;
            e[8] = e[9] = e[10] = 0xFF;
            std::copy(in.stamp.begin(), in.stamp.end(), e.begin() + 11);
            e[17] = static_cast<std::uint8_t>(in.storedSeconds / 3600);
            e[18] = static_cast<std::uint8_t>((in.storedSeconds / 60) % 60);
            e[19] = static_cast<std::uint8_t>(in.storedSeconds % 60);
            break;
        case DirectoryEncoding::Generation1:
        case DirectoryEncoding::Generation2: {
            const std::uint8_t sectors = in.sectorCount & 0x1F;
            if (variant_.encoding == DirectoryEncoding::Generation1)
                e[0] = static_cast<std::uint8_t>((in.type & 0x80) | ((in.type & 3) << 5) | sectors);
            else
                e[0] = static_cast<std::uint8_t>(sectors | (in.type & 0x80) | ((in.type * 32) & 0xFF));
            WriteBE16(e, 1, in.firstBlock);
            WriteBE16(e, 3, in.lastSectorBytes);
            const std::uint16_t date = static_cast<std::uint16_t>(((in.stamp[0] & 0x7F) << 9) |
                                                                  ((in.stamp[1] & 0x0F) << 5) | (in.stamp[2] & 0x1F));
            WriteBE16(e, 5, date);
            e[7] = in.stamp[3];
            e[8] = in.stamp[4];
            e[9] = in.stamp[5];
            break;
        }
    }
}

void SlotDirectory::Clear(std::uint32_t folder, std::uint32_t slot) {
    const auto e = Entry(folder, slot);
    std::fill(e.begin(), e.end(), 0xFF);
}

void SlotDirectory::RemoveSlot(std::uint32_t folder, std::uint32_t slot) {
    const std::uint32_t slots = SlotCount(folder);
    if (slot > slots) return;  // nothing there; never write outside the folder
    std::uint32_t i = slot;
    while (i < slots && !IsEmpty(folder, i)) {
        const auto next = Entry(folder, i + 1);
        const auto here = Entry(folder, i);
        std::copy(next.begin(), next.end(), here.begin());
        ++i;
    }
    Clear(folder, i);
}

std::uint8_t SlotDirectory::RecordKind(std::uint32_t folder, std::uint32_t slot) const {
    if (variant_.encoding != DirectoryEncoding::Generation2) return 0;
    if (IsEmpty(folder, slot)) return 0xFF;
    switch (Entry(folder, slot)[0] >> 5) {
        case 0: case 1: return 0;
        case 2: case 3: return 1;
        case 4: case 5: return 0x80;
        default: return 2;
    }
}

bool SlotDirectory::EntryMarksData(std::uint32_t folder, std::uint32_t slot) const {
    const auto e = Entry(folder, slot);
    if (e.empty()) return false;
    switch (variant_.encoding) {
        case DirectoryEncoding::Marker: return false;
        case DirectoryEncoding::Generation2: {
            const int code = e[0] >> 5;
            return code == 4 || code == 5;
        }
        default: return (e[0] & 0x80) != 0;
    }
}

}  // namespace murmex

