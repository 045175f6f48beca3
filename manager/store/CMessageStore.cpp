#include "CMessageStore.h"

namespace murmex {

CMessageStore::CMessageStore() {
    for (const VariantDescriptor& v : AllVariants()) layouts_.push_back(std::make_unique<CardLayout>(v));
}

CardLayout* CMessageStore::Current() const {
    for (const auto& layout : layouts_)
        if (layout->Variant().code == code_) return layout.get();
    return nullptr;
}

const CardLayout* CMessageStore::CurrentLayout() const { return Current(); }

const VariantDescriptor* CMessageStore::GetVariant() const {
    const CardLayout* layout = Current();
    return layout ? &layout->Variant() : nullptr;
}

int CMessageStore::Mount(BlockDevice& device, TwoModeQuestion& question) {
    code_ = DetectVariant(device, question);
    CardLayout* layout = Current();
    return layout ? layout->Mount(device) : 0;
}

int CMessageStore::WriteBack() {
    return Ask(0, [&](CardLayout& l) { return l.WriteBack(); });
}

std::uint32_t CMessageStore::GetBlockCount() const {
    return Ask(0, [&](const CardLayout& l) { return l.GetBlockCount(); });
}

std::uint32_t CMessageStore::GetBlockSize() const {
    return Ask(0, [&](const CardLayout& l) { return l.GetBlockSize(); });
}

std::uint32_t CMessageStore::GetFreeBlockCount() const {
    return Ask(0, [&](const CardLayout& l) { return l.GetFreeBlockCount(); });
}

std::uint32_t CMessageStore::SeekBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    return Ask(CardLayout::kNoAddress, [&](const CardLayout& l) { return l.SeekBlock(firstAddress, offset); });
}

std::uint32_t CMessageStore::RemainingInBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    return Ask(0, [&](const CardLayout& l) { return l.RemainingInBlock(firstAddress, offset); });
}

std::uint32_t CMessageStore::OffsetInBlock(std::uint32_t firstAddress, std::uint32_t offset) const {
    return Ask(0, [&](const CardLayout& l) { return l.OffsetInBlock(firstAddress, offset); });
}

std::uint32_t CMessageStore::ExtendChain(std::uint32_t firstAddress, std::uint32_t offset) {
    return Ask(CardLayout::kNoAddress, [&](CardLayout& l) { return l.ExtendChain(firstAddress, offset); });
}

std::uint32_t CMessageStore::ExtendRemaining(std::uint32_t firstAddress, std::uint32_t offset) {
    return Ask(0, [&](CardLayout& l) { return l.ExtendRemaining(firstAddress, offset); });
}

int CMessageStore::FreeBlock(std::uint32_t address) {
    return Ask(0, [&](CardLayout& l) { return l.FreeBlock(address); });
}

std::uint32_t CMessageStore::GetFolderCount() const {
    return Ask(0, [&](const CardLayout& l) { return l.GetFolderCount(); });
}

std::uint32_t CMessageStore::GetSlotCount(std::uint32_t folder) const {
    return Ask(0, [&](const CardLayout& l) { return l.GetSlotCount(folder); });
}

std::string CMessageStore::GetFolderName(std::uint32_t folder) const {
    return Ask(std::string(), [&](const CardLayout& l) { return l.GetFolderName(folder); });
}

std::uint32_t CMessageStore::GetMessageCount(std::uint32_t folder) const {
    return Ask(0, [&](const CardLayout& l) { return l.GetMessageCount(folder); });
}

std::uint32_t CMessageStore::GetFirstBlockAddress(std::uint32_t folder, std::uint32_t slot) const {
    return Ask(0xFFFF, [&](const CardLayout& l) { return l.GetFirstBlockAddress(folder, slot); });
}

std::optional<StoredMessage> CMessageStore::GetMessageInfo(std::uint32_t folder, std::uint32_t slot) const {
    return Ask(std::nullopt, [&](const CardLayout& l) { return l.GetMessageInfo(folder, slot); });
}

int CMessageStore::RemoveSlot(std::uint32_t folder, std::uint32_t slot) {
    return Ask(0, [&](CardLayout& l) { return l.RemoveSlot(folder, slot); });
}

std::string CMessageStore::GetMessageFileName(std::uint32_t folder, std::uint32_t slot) const {
    return Ask(std::string(), [&](const CardLayout& l) { return l.GetMessageFileName(folder, slot); });
}

std::string CMessageStore::GetDefaultExtension() const {
    return Ask(std::string(), [&](const CardLayout& l) { return l.GetDefaultExtension(); });
}

std::uint8_t CMessageStore::GetRecordKind(std::uint32_t folder, std::uint32_t slot) const {
    return Ask(0, [&](const CardLayout& l) { return l.GetRecordKind(folder, slot); });
}

std::optional<std::uint32_t> CMessageStore::CreateMessage(std::uint32_t folder, const DateStamp& stamp,
                                                          std::uint32_t length, std::uint8_t type) {
    return Ask(std::nullopt, [&](CardLayout& l) { return l.CreateMessage(folder, stamp, length, type); });
}

int CMessageStore::WriteFileHeader(std::uint8_t type, std::uint32_t length, std::FILE* file) const {
    return Ask(0xFFFF, [&](const CardLayout& l) { return murmex::WriteFileHeader(l.Variant(), type, length, file); });
}

std::optional<NativeHeader> CMessageStore::ReadFileHeader(std::FILE* file) const {
    return Ask(std::nullopt, [&](const CardLayout& l) { return murmex::ReadFileHeader(l.Variant(), file); });
}

}  // namespace murmex
