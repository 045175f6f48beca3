// The manager's card device: whole-block reads, writes and erases on the
// recorder's card. In card mode it binds the card access library at connect
// and drives the bridge through its SmartMedia multi-page calls; in
// card-image mode it works on a card image file (a raw copy of the card's
// data pages) that follows the flash's rules: a write can only clear bits and
// only an erase sets them again.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "BlockDevice.h"
#include "DeviceMessages.h"
#include "DeviceTexts.h"
#include "EmbeddedUsbLibraries.h"
#include "ImageFile.h"
#include "KvcardLibrary.h"

namespace murmex {

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
    // Card mode: closes the bridge and frees the card access library.
    // Card-image mode: forgets the image geometry.
    int Close();

    // Card mode's connect: binds the card access library from the program
    // directory (ending in '/'), writing out the carried USB access library
    // when the installed one cannot reach the bridge, and puts the bridge into
    // SmartMedia mode at the fastest clock it takes. Every failure is shown
    // through `messages`, which must outlive the connection.
    int Connect(const std::string& programDirectory, DeviceMessages& messages);
    // One binding attempt, writing the given copy first.
    int BindCardLibrary(const std::string& programDirectory, UsbLibraryCopy copy);
    // Writes the copy as programDirectory + "hvtavrin.dll"; 0 when it cannot.
    int WriteUsbLibrary(const std::string& programDirectory, UsbLibraryCopy copy);
    // 1 while the card access library is loaded and the bridge answers.
    int IsDeviceAlive();
    const std::string& WrittenLibraryPath() const { return writtenLibraryPath_; }

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
    void Show(const std::string& text);
    int CardReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer);
    int CardWriteBlock(std::uint32_t address, std::span<const std::uint8_t> data);
    int CardEraseBlock(std::uint32_t address);
    int ImageReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer);
    int ImageWriteBlock(std::uint32_t address, std::span<const std::uint8_t> data);
    int ImageEraseBlock(std::uint32_t address);
    int CloseImage();
    std::uint32_t TransferBytes() const { return pagesPerBlock_ * (kPageSize + 32); }

    bool InImage(std::uint32_t address);
    int ImageFailure(const std::string& what);
    const ImageFile* OpenImage(bool forWriting);
    bool KnownErased(std::uint32_t address) const;
    void MarkErased(std::uint32_t address, bool erased);

    bool imageMode_ = false;
    // Before SmartMedia mode has once been selected, the geometry of a 16 MB
    // or 32 MB card.
    std::uint32_t pagesPerBlock_ = 32;

    KvcardLibrary kvcard_;
    DeviceMessages* messages_ = nullptr;
    std::string writtenLibraryPath_;
    std::vector<std::uint8_t> transfer_;  // one block as the card access library packs it

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
