// The manager's way to the recorder's messages: it owns the message store and
// the transfer jobs' cancel flag, describes messages, and reads, writes and
// deletes them through cursors.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "CMessageStore.h"

namespace murmex {

struct MessageInfo {
    std::uint32_t folder = 0;
    std::uint32_t slot = 0;
    std::uint32_t length = 0;
    std::uint8_t type = 0;
    std::uint32_t seconds = 0;
    DateStamp stamp{};
    std::string fileName;     // MsgA001.mxd, MsgA003-report.doc
    std::string displayName;  // a data message's own name (report.doc); otherwise the file name
};

struct MessageCursor {
    BlockDevice* device = nullptr;
    std::uint32_t folder = 0;
    std::uint32_t slot = 0;
    std::uint32_t firstAddress = 0;  // 0 = none
    std::uint32_t position = 0;      // bytes read, written or skipped so far
};

// Item data of a message in a list: folder × 65536 + slot.
inline std::uint32_t ItemData(std::uint32_t folder, std::uint32_t slot) { return folder * 65536 + slot; }
inline std::uint32_t ItemFolder(std::uint32_t itemData) { return itemData / 65536; }
inline std::uint32_t ItemSlot(std::uint32_t itemData) { return itemData % 65536; }

class CRecorder {
public:
    static constexpr std::uint32_t kBlockBufferBytes = 32768;

    CMessageStore& Store() { return store_; }
    const CMessageStore& Store() const { return store_; }
    // Set by the progress window's Cancel; polled by the jobs between pieces.
    std::atomic<int>& CancelFlag() { return cancel_; }

    std::uint32_t GetFolderCount() const { return store_.GetFolderCount(); }
    std::uint32_t GetMessageCount(std::uint32_t folder) const { return store_.GetMessageCount(folder); }
    std::string GetFolderName(std::uint32_t folder) const { return store_.GetFolderName(folder); }
    std::uint32_t GetTotalMessages() const;
    std::uint64_t GetFreeBytes() const;
    std::uint8_t GetRecordKind(std::uint32_t folder, std::uint32_t slot) const {
        return store_.GetRecordKind(folder, slot);
    }

    int GetMessageInfo(std::uint32_t folder, std::uint32_t slot, MessageInfo& info) const;
    // Uses info's type, length and date stamp; fills in folder, slot and file name.
    int CreateMessage(std::uint32_t folder, MessageInfo& info);
    int OpenMessage(std::uint32_t folder, std::uint32_t slot, BlockDevice& device, MessageCursor& cursor) const;
    int ReadMessage(std::span<std::uint8_t> buffer, std::uint32_t n, std::uint32_t count, MessageCursor& cursor);
    int WriteMessage(std::span<const std::uint8_t> data, std::uint32_t n, std::uint32_t count, MessageCursor& cursor);
    int SkipMessage(std::uint32_t n, std::uint32_t count, MessageCursor& cursor);

    // Removes the slot, then frees the chain from its last block back to its
    // first, calling onFreed after each block. On a device failure the
    // address of the block that could not be freed goes to failedAddress.
    int DeleteMessage(std::uint32_t folder, std::uint32_t slot, BlockDevice& device,
                      const std::function<void(std::uint32_t address)>& onFreed, std::uint32_t& failedAddress);
    // The same for a message its caller has already opened and described.
    int DeleteMessage(const MessageCursor& cursor, const MessageInfo& info,
                      const std::function<void(std::uint32_t address)>& onFreed, std::uint32_t& failedAddress);

private:
    std::span<std::uint8_t> BlockBuffer() { return std::span(blockBuffer_).first(store_.GetBlockSize()); }

    CMessageStore store_;
    std::atomic<int> cancel_{0};
    std::array<std::uint8_t, kBlockBufferBytes> blockBuffer_{};
};

}  // namespace murmex
