// The message store: one layout object per card variant and the code of the
// variant found at the last mount. Every operation is answered by the layout
// of that code; with no variant (code 0) the store is not in use and answers
// 0, empty text or failure.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "BlockDevice.h"
#include "CardLayout.h"
#include "NativeFileHeader.h"
#include "VariantDetector.h"

namespace murmex {

class CMessageStore {
public:
    CMessageStore();

    // Detects the variant, keeps its code whatever it is, and mounts that layout.
    int Mount(BlockDevice& device, TwoModeQuestion& question);
    int WriteBack();
    std::uint32_t GetVariantCode() const { return code_; }
    const VariantDescriptor* GetVariant() const;

    std::uint32_t GetBlockCount() const;
    std::uint32_t GetBlockSize() const;
    std::uint32_t GetFreeBlockCount() const;
    std::uint32_t SeekBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t RemainingInBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t OffsetInBlock(std::uint32_t firstAddress, std::uint32_t offset) const;
    std::uint32_t ExtendChain(std::uint32_t firstAddress, std::uint32_t offset);
    std::uint32_t ExtendRemaining(std::uint32_t firstAddress, std::uint32_t offset);
    int FreeBlock(std::uint32_t address);

    std::uint32_t GetFolderCount() const;
    std::uint32_t GetSlotCount(std::uint32_t folder) const;
    std::string GetFolderName(std::uint32_t folder) const;
    std::uint32_t GetMessageCount(std::uint32_t folder) const;
    std::uint32_t GetFirstBlockAddress(std::uint32_t folder, std::uint32_t slot) const;
    std::optional<StoredMessage> GetMessageInfo(std::uint32_t folder, std::uint32_t slot) const;
    int RemoveSlot(std::uint32_t folder, std::uint32_t slot);
    std::string GetMessageFileName(std::uint32_t folder, std::uint32_t slot) const;
    std::string GetDefaultExtension() const;
    std::uint8_t GetRecordKind(std::uint32_t folder, std::uint32_t slot) const;

    std::optional<std::uint32_t> CreateMessage(std::uint32_t folder, const DateStamp& stamp, std::uint32_t length,
                                               std::uint8_t type);
    int WriteFileHeader(std::uint8_t type, std::uint32_t length, std::FILE* file) const;
    std::optional<NativeHeader> ReadFileHeader(std::FILE* file) const;

    // The layout of the current variant, or null with none (for inspection).
    const CardLayout* CurrentLayout() const;

private:
    CardLayout* Current() const;
    // Hands an operation to the current layout, or answers `none` without one.
    template <class Op>
    std::invoke_result_t<Op, CardLayout&> Ask(std::invoke_result_t<Op, CardLayout&> none, Op op) const {
        CardLayout* layout = Current();
        return layout ? op(*layout) : none;
    }

    std::vector<std::unique_ptr<CardLayout>> layouts_;  // one per variant, in table order
    std::uint32_t code_ = 0;
};

}  // namespace murmex
