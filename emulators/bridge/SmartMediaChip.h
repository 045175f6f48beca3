// A SmartMedia NAND chip over an image of its data pages: ID codes by size,
// page program that can only clear bits, block erase with its confirm code,
// the status register, and erase blocks marked bad. Spare bytes are not kept
// (they read as 0xFF).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "CardImage.h"

namespace murmex::bridge {

class SmartMediaChip {
public:
    static constexpr std::size_t kPageSize = 512;
    static constexpr std::size_t kSpareSize = 16;
    static constexpr std::uint8_t kMakerCode = 0x5A;
    static constexpr std::uint8_t kEraseConfirm = 0xD0;

    // Status register bits.
    static constexpr std::uint8_t kFailed = 0x01;
    static constexpr std::uint8_t kReady = 0x40;
    static constexpr std::uint8_t kNotProtected = 0x80;

    SmartMediaChip(std::unique_ptr<CardImage> image, std::vector<std::uint32_t> badBlocks, bool neverReady);

    std::uint8_t DeviceCode() const { return deviceCode_; }
    std::uint32_t PageCount() const { return pageCount_; }
    std::uint32_t PagesPerBlock() const { return pagesPerBlock_; }

    bool Ready() const { return !neverReady_; }
    std::uint8_t Status() const;
    // Starts a new operation: the failed bit then sums up its pages.
    void ClearStatus() { failed_ = false; }

    // Pages beyond the chip read as erased.
    // Programs of one bulk transfer reach the image together (see CardImage::Hold).
    void HoldWrites() { image_->Hold(); }
    bool ReleaseWrites() { return image_->Release(); }
    void ReadPage(std::uint32_t page, std::span<std::uint8_t, kPageSize> out) const;
    // Programs the page's data area from `column` on (bytes past it would be
    // the spare area, which is not kept); sets the status.
    void Program(std::uint32_t page, std::uint32_t column, std::span<const std::uint8_t> data);
    // `value` as the erase command carries it: page number in bits 0-23, the
    // confirm code in bits 24-31.
    void Erase(std::uint32_t value);

private:
    bool IsBad(std::uint32_t page) const;
    bool TryProgram(std::uint32_t page, std::uint32_t column, std::span<const std::uint8_t> data);
    bool TryErase(std::uint32_t value);

    std::unique_ptr<CardImage> image_;
    std::vector<std::uint32_t> badBlocks_;
    bool neverReady_;
    std::uint8_t deviceCode_ = 0;
    std::uint32_t pageCount_ = 0;
    std::uint32_t pagesPerBlock_ = 32;
    bool failed_ = false;
};

}  // namespace murmex::bridge
