#include "SmartMediaChip.h"

#include <algorithm>
#include <array>

namespace murmex::bridge {

namespace {

struct ChipGeometry {
    std::uint64_t bytes;
    std::uint8_t deviceCode;
    std::uint32_t pagesPerBlock;
};

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::array<ChipGeometry, 5> kChips{{
    {4 * kMiB, 0xE3, 16},
    {8 * kMiB, 0xE6, 16},
    {16 * kMiB, 0x73, 32},
    {32 * kMiB, 0x75, 32},
    {64 * kMiB, 0x76, 32},
}};

}  // namespace

SmartMediaChip::SmartMediaChip(std::unique_ptr<CardImage> image, std::vector<std::uint32_t> badBlocks, bool neverReady)
    : image_(std::move(image)), badBlocks_(std::move(badBlocks)), neverReady_(neverReady) {
    const std::uint64_t pages = image_->Size() / kPageSize;
    pageCount_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(pages, 0xFFFFFF));  // 24-bit page numbers
    for (const ChipGeometry& chip : kChips) {
        if (chip.bytes == image_->Size()) {
            deviceCode_ = chip.deviceCode;
            pagesPerBlock_ = chip.pagesPerBlock;
        }
    }
}

std::uint8_t SmartMediaChip::Status() const {
    return static_cast<std::uint8_t>(kNotProtected | (Ready() ? kReady : 0) | (failed_ ? kFailed : 0));
}

bool SmartMediaChip::IsBad(std::uint32_t page) const {
    return std::find(badBlocks_.begin(), badBlocks_.end(), page / pagesPerBlock_) != badBlocks_.end();
}

void SmartMediaChip::ReadPage(std::uint32_t page, std::span<std::uint8_t, kPageSize> out) const {
    if (page >= pageCount_) return std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
    image_->Read(std::uint64_t{page} * kPageSize, out);
}

void SmartMediaChip::Program(std::uint32_t page, std::uint32_t column, std::span<const std::uint8_t> data) {
    failed_ = !TryProgram(page, column, data) || failed_;
}

bool SmartMediaChip::TryProgram(std::uint32_t page, std::uint32_t column, std::span<const std::uint8_t> data) {
    if (page >= pageCount_ || IsBad(page)) return false;
    if (column >= kPageSize) return true;  // only spare bytes: nothing kept
    data = data.first(std::min<std::size_t>(data.size(), kPageSize - column));
    std::array<std::uint8_t, kPageSize> cells;
    image_->Read(std::uint64_t{page} * kPageSize, cells);
    for (std::size_t i = 0; i < data.size(); ++i) cells[column + i] &= data[i];  // flash only clears bits
    return image_->Write(std::uint64_t{page} * kPageSize, cells);
}

void SmartMediaChip::Erase(std::uint32_t value) { failed_ = !TryErase(value) || failed_; }

bool SmartMediaChip::TryErase(std::uint32_t value) {
    const std::uint32_t page = value & 0xFFFFFF;
    if ((value >> 24) != kEraseConfirm || page >= pageCount_ || IsBad(page)) return false;
    const std::uint32_t first = page - page % pagesPerBlock_;
    const std::uint32_t count = std::min(pagesPerBlock_, pageCount_ - first);
    return image_->Fill(std::uint64_t{first} * kPageSize, std::uint64_t{count} * kPageSize, 0xFF);
}

}  // namespace murmex::bridge
