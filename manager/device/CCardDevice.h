// The manager's card device: whole-block reads, writes and erases on the
// recorder's card. In card-image mode it works on a card image file (a raw
// copy of the card's data pages) that follows the flash's rules: a write can
// only clear bits and only an erase sets them again.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BlockDevice.h"
#include "ImageFile.h"

namespace murmex {

inline constexpr const char* kUsbSettingFailed = "USB setting failed.";  // message 57350

class CCardDevice : public BlockDevice {
public:
    static constexpr std::uint32_t kPageSize = 512;
    static constexpr std::uint32_t kSpareBytes = 16;

    bool IsCardImageMode() const { return imageMode_; }
    void SetCardImageMode(bool on) { imageMode_ = on; }

    // Card-image mode's connect: the path stands where the manager shows its
    // file dialog. Sets the image geometry from the file's size; 0 when the
    // file cannot be opened or is smaller than 4 MB.
    int ConnectImage(const std::string& path);
    int Close();

    int ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) override;
    int WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) override;
    int EraseBlock(std::uint32_t address) override;
    int SetCardSize(int megabytes) override;
    std::uint32_t GetBlockBytes() const override { return pagesPerBlock_ * kPageSize; }
    std::string GetErrorText() override;

    const std::string& ImagePath() const { return imagePath_; }
    std::uint32_t ImagePagesPerBlock() const { return imagePagesPerBlock_; }
    std::uint32_t ImageBlockCount() const { return imageBlockCount_; }
    std::uint64_t ImageBytes() const { return imageBytes_; }

private:
    bool InImage(std::uint32_t address);
    int ImageFailure(const std::string& what);
    const ImageFile* OpenImage(bool forWriting);
    bool KnownErased(std::uint32_t address) const;
    void MarkErased(std::uint32_t address, bool erased);

    bool imageMode_ = false;
    std::uint32_t pagesPerBlock_ = 32;
    std::string imagePath_;
    std::uint32_t imagePagesPerBlock_ = 32;
    std::uint32_t imageBlockCount_ = 1024;
    std::uint64_t imageBytes_ = 0;
    std::string imageError_;
    std::unique_ptr<ImageFile> readable_;
    std::unique_ptr<ImageFile> writable_;
    std::vector<bool> erased_;  // blocks this device erased and has not written since
};

}  // namespace murmex
