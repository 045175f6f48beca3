#include "CCardDevice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace murmex {
namespace {

constexpr std::uint64_t kMegabyte = 1u << 20;

}  // namespace

int CCardDevice::ConnectImage(const std::string& path) {
    imagePath_ = path;
    imageError_.clear();
    // Until this image is accepted no block operation may reach it: the
    // bounds of an earlier image would let writes grow a refused file.
    imageBytes_ = 0;
    readable_.reset();
    writable_.reset();
    erased_.clear();
    struct stat st {};
    if (!OpenImage(false) || ::stat(path.c_str(), &st) != 0) return ImageFailure("cannot open");
    const std::uint64_t size = static_cast<std::uint64_t>(st.st_size);
    if (size < 4 * kMegabyte) {
        imageError_ = "Card image " + path + " is smaller than 4 MB.";
        return 0;
    }
    imagePagesPerBlock_ = size >= 16 * kMegabyte ? 32 : 16;
    imageBlockCount_ = size >= 32 * kMegabyte ? 2048 : (size >= 16 * kMegabyte ? 1024 : (size >= 8 * kMegabyte ? 1024 : 512));
    imageBytes_ = size;
    // Like a card freshly put into SmartMedia mode: 16384-byte blocks until
    // the store's detection switches a 4 MB or 8 MB card to 8192.
    pagesPerBlock_ = 32;
    return 1;
}

int CCardDevice::CloseImage() {
    readable_.reset();
    writable_.reset();
    imagePagesPerBlock_ = 32;
    imageBlockCount_ = 1024;
    imageBytes_ = 0;
    return 1;
}

// Every block operation starts here, so the error text describes the latest one.
bool CCardDevice::InImage(std::uint32_t address) {
    imageError_.clear();
    if (address % 8192 == 0 && std::uint64_t{address} + GetBlockBytes() <= imageBytes_) return true;
    imageError_ = "Card image " + imagePath_ + ": address " + std::to_string(address) + " is beyond the card.";
    return false;
}

// The image stays open from connect to close; it is opened for writing only
// when something is written, so a read-only image can still be listed.
const ImageFile* CCardDevice::OpenImage(bool forWriting) {
    std::unique_ptr<ImageFile>& file = forWriting ? writable_ : readable_;
    if (!file || !*file) file = std::make_unique<ImageFile>(imagePath_, forWriting ? O_RDWR : O_RDONLY);
    return *file ? file.get() : nullptr;
}

namespace {

// What programming does to flash cells: bits can only be cleared. Worked a
// word at a time; blocks are whole multiples of 8 bytes.
void ProgramBits(std::span<std::uint8_t> cells, std::span<const std::uint8_t> data) {
    for (std::size_t i = 0; i + 8 <= cells.size(); i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, cells.data() + i, 8);
        std::memcpy(&b, data.data() + i, 8);
        a &= b;
        std::memcpy(cells.data() + i, &a, 8);
    }
}

}  // namespace

// Erased state is kept per 8192-byte unit, the smallest block.
bool CCardDevice::KnownErased(std::uint32_t address) const {
    for (std::uint32_t unit = address / 8192; unit < (address + GetBlockBytes()) / 8192; ++unit)
        if (unit >= erased_.size() || !erased_[unit]) return false;
    return true;
}

void CCardDevice::MarkErased(std::uint32_t address, bool erased) {
    for (std::uint32_t unit = address / 8192; unit < (address + GetBlockBytes()) / 8192; ++unit) {
        if (unit >= erased_.size()) erased_.resize(unit + 1, false);
        erased_[unit] = erased;
    }
}

int CCardDevice::ImageFailure(const std::string& what) {
    imageError_ = "Card image " + imagePath_ + ": " + what + " (" + std::strerror(errno) + ").";
    return 0;
}

int CCardDevice::ImageReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) {
    if (buffer.size() < GetBlockBytes() || !InImage(address)) return 0;
    std::vector<std::uint8_t> block(GetBlockBytes());
    const ImageFile* file = writable_ ? writable_.get() : OpenImage(false);
    if (!file) return ImageFailure("cannot open");
    if (!file->ReadAt(address, block)) return ImageFailure("cannot read");
    // Only a complete read reaches the caller's buffer.
    std::copy(block.begin(), block.end(), buffer.begin());
    return 1;
}

int CCardDevice::ImageWriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (data.size() < GetBlockBytes() || !InImage(address)) return 0;
    const ImageFile* file = OpenImage(true);
    if (!file) return ImageFailure("cannot open for writing");
    std::vector<std::uint8_t> block(GetBlockBytes(), 0xFF);
    // Programming flash only clears bits. A block this device erased itself
    // is known to hold 0xFF and need not be read back first.
    if (!KnownErased(address) && !file->ReadAt(address, block)) return ImageFailure("cannot read");
    ProgramBits(block, data.first(block.size()));
    MarkErased(address, false);
    if (!file->WriteAt(address, block)) return ImageFailure("cannot write");
    return 1;
}

int CCardDevice::ImageEraseBlock(std::uint32_t address) {
    if (!InImage(address)) return 0;
    const ImageFile* file = OpenImage(true);
    if (!file) return ImageFailure("cannot open for writing");
    const std::vector<std::uint8_t> erased(GetBlockBytes(), 0xFF);
    MarkErased(address, false);
    if (!file->WriteAt(address, erased)) return ImageFailure("cannot write");
    MarkErased(address, true);
    return 1;
}

}  // namespace murmex
