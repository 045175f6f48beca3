#include "CRecorder.h"

#include <algorithm>
#include <vector>

namespace murmex {

std::uint32_t CRecorder::GetTotalMessages() const {
    std::uint32_t total = 0;
    for (std::uint32_t f = 0; f < store_.GetFolderCount(); ++f) total += store_.GetMessageCount(f);
    return total;
}

std::uint64_t CRecorder::GetFreeBytes() const {
    return std::uint64_t{store_.GetFreeBlockCount()} * store_.GetBlockSize();
}

int CRecorder::GetMessageInfo(std::uint32_t folder, std::uint32_t slot, MessageInfo& info) const {
    info.folder = folder;
    info.slot = slot;
    info.fileName = store_.GetMessageFileName(folder, slot);
    const auto stored = store_.GetMessageInfo(folder, slot);
    if (!stored) return 0;
    info.type = stored->type;
    info.length = stored->length;
    info.seconds = stored->seconds;
    info.stamp = stored->stamp;
    info.displayName = info.fileName;
    if (info.type & 0x80) {
        const auto dash = info.fileName.find('-');
        if (dash != std::string::npos) info.displayName = info.fileName.substr(dash + 1);
    }
    return 1;
}

int CRecorder::CreateMessage(std::uint32_t folder, MessageInfo& info) {
    info.folder = folder;
    const auto slot = store_.CreateMessage(folder, info.stamp, info.length, info.type);
    if (!slot) return 0;
    info.slot = *slot;
    info.fileName = store_.GetMessageFileName(folder, *slot);
    return 1;
}

int CRecorder::OpenMessage(std::uint32_t folder, std::uint32_t slot, BlockDevice& device,
                           MessageCursor& cursor) const {
    cursor = {&device, folder, slot, store_.GetFirstBlockAddress(folder, slot), 0};
    return cursor.firstAddress != 0;
}

int CRecorder::ReadMessage(std::span<std::uint8_t> buffer, std::uint32_t n, std::uint32_t count,
                           MessageCursor& cursor) {
    if (!cursor.device || std::uint64_t{n} * count > buffer.size()) return 0;
    std::uint32_t t = 0;
    for (std::uint32_t repeat = 0; repeat < count; ++repeat) {
        for (std::uint32_t done = 0; done < n;) {
            const std::uint32_t q = cursor.position + t;
            const std::uint32_t a = store_.SeekBlock(cursor.firstAddress, q);
            if (!cursor.device->ReadBlock(a, BlockBuffer())) return 0;
            const std::uint32_t r = store_.RemainingInBlock(cursor.firstAddress, q);
            if (r == 0) return 0;
            const std::uint32_t o = store_.OffsetInBlock(cursor.firstAddress, q);
            const std::uint32_t m = std::min(r, n - done);
            std::copy_n(blockBuffer_.begin() + o, m, buffer.begin() + t);
            t += m;
            done += m;
        }
    }
    cursor.position += t;
    return 1;
}

int CRecorder::WriteMessage(std::span<const std::uint8_t> data, std::uint32_t n, std::uint32_t count,
                            MessageCursor& cursor) {
    if (!cursor.device || std::uint64_t{n} * count > data.size()) return 0;
    std::uint32_t t = 0;
    for (std::uint32_t repeat = 0; repeat < count; ++repeat) {
        for (std::uint32_t done = 0; done < n;) {
            const std::uint32_t q = cursor.position + t;
            const std::uint32_t a = store_.ExtendChain(cursor.firstAddress, q);
            const std::uint32_t r = store_.ExtendRemaining(cursor.firstAddress, q);
            const std::uint32_t o = store_.OffsetInBlock(cursor.firstAddress, q);
            if (r == 0) return 0;
            const std::uint32_t m = std::min(r, n - done);
            // A piece that fills its block whole needs nothing of what is there.
            if (o == 0 && m == r)
                std::fill(BlockBuffer().begin(), BlockBuffer().end(), 0xFF);
            else if (!cursor.device->ReadBlock(a, BlockBuffer()))
                return 0;
            else if (o == 0)
                // Nothing of the message lies in this block yet. A job cut
                // short (power, cable) can leave a free block programmed;
                // what it held must not follow the piece, or a marker-format
                // message, which ends where erased bytes begin, would run on
                // into it.
                std::fill(BlockBuffer().begin() + m, BlockBuffer().end(), 0xFF);
            std::copy_n(data.begin() + t, m, blockBuffer_.begin() + o);
            if (!cursor.device->EraseBlock(a) || !cursor.device->WriteBlock(a, BlockBuffer())) return 0;
            t += m;
            done += m;
        }
    }
    cursor.position += t;
    return 1;
}

int CRecorder::SkipMessage(std::uint32_t n, std::uint32_t count, MessageCursor& cursor) {
    std::uint32_t t = 0;
    for (std::uint32_t repeat = 0; repeat < count; ++repeat) {
        for (std::uint32_t done = 0; done < n;) {
            const std::uint32_t q = cursor.position + t;
            store_.ExtendChain(cursor.firstAddress, q);
            const std::uint32_t r = store_.ExtendRemaining(cursor.firstAddress, q);
            if (r == 0) return 0;
            const std::uint32_t m = std::min(r, n - done);
            t += m;
            done += m;
        }
    }
    cursor.position += t;
    return 1;
}

int CRecorder::DeleteMessage(std::uint32_t folder, std::uint32_t slot, BlockDevice& device,
                             const std::function<void(std::uint32_t)>& onFreed, std::uint32_t& failedAddress) {
    MessageCursor cursor;
    MessageInfo info;
    if (!OpenMessage(folder, slot, device, cursor) || !GetMessageInfo(folder, slot, info)) return 0;
    return DeleteMessage(cursor, info, onFreed, failedAddress);
}

int CRecorder::DeleteMessage(const MessageCursor& cursor, const MessageInfo& info,
                             const std::function<void(std::uint32_t)>& onFreed, std::uint32_t& failedAddress) {
    if (cursor.firstAddress == 0 || !store_.CurrentLayout()) return 0;
    store_.RemoveSlot(cursor.folder, cursor.slot);

    // The blocks in chain order, each found from the first block. The whole
    // linked chain is freed even where the length ends earlier (a marker
    // message whose last block begins with erased bytes), so no block is lost.
    const CardLayout& layout = *store_.CurrentLayout();
    const std::uint32_t s = layout.GetBlockSize();
    const std::uint32_t h = layout.Variant().HeaderOffset();
    const std::uint32_t byLength = info.length == 0 ? 1 : static_cast<std::uint32_t>((info.length - 1ull + h) / s + 1);
    const std::uint32_t first = cursor.firstAddress / s;
    const std::uint32_t count = std::max(byLength, std::min(layout.ChainLength(first, 0xFFFF), layout.GetBlockCount()));
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t offset = i == 0 ? 0 : i * s - h;
        const std::uint32_t a = store_.SeekBlock(cursor.firstAddress, offset);
        if (blocks.empty() || blocks.back() != a) blocks.push_back(a);
    }
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        if (!store_.FreeBlock(*it)) {
            failedAddress = *it;
            return 0;
        }
        if (onFreed) onFreed(*it);
    }
    return 1;
}

}  // namespace murmex
