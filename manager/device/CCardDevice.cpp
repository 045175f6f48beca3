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

// A file descriptor that closes itself.
class ImageFile {
public:
    ImageFile(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {}
    ~ImageFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;
    explicit operator bool() const { return fd_ >= 0; }

    bool ReadAt(std::uint64_t at, std::span<std::uint8_t> out) const { return Transfer(at, out.data(), out.size(), false); }
    bool WriteAt(std::uint64_t at, std::span<const std::uint8_t> in) const {
        return Transfer(at, const_cast<std::uint8_t*>(in.data()), in.size(), true);
    }

private:
    bool Transfer(std::uint64_t at, std::uint8_t* p, std::size_t n, bool write) const {
        while (n > 0) {
            const ssize_t got = write ? ::pwrite(fd_, p, n, static_cast<off_t>(at)) : ::pread(fd_, p, n, static_cast<off_t>(at));
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            at += static_cast<std::uint64_t>(got);
            n -= static_cast<std::size_t>(got);
        }
        return true;
    }
    int fd_;
};

}  // namespace

int CCardDevice::ConnectImage(const std::string& path) {
    imagePath_ = path;
    imageError_.clear();
    // Until this image is accepted no block operation may reach it: the
    // bounds of an earlier image would let writes grow a refused file.
    imageBytes_ = 0;
    struct stat st {};
    ImageFile file(path, O_RDONLY);
    if (!file || ::stat(path.c_str(), &st) != 0) return ImageFailure("cannot open");
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

int CCardDevice::Close() {
    imagePagesPerBlock_ = 32;
    imageBlockCount_ = 1024;
    imageBytes_ = 0;
    return 1;
}

int CCardDevice::SetCardSize(int megabytes) {
    switch (megabytes) {
        case 4: case 8: pagesPerBlock_ = 16; return 1;
        case 16: case 32: pagesPerBlock_ = 32; return 1;
        default: return 0;
    }
}

// Every block operation starts here, so the error text describes the latest one.
bool CCardDevice::InImage(std::uint32_t address) {
    imageError_.clear();
    if (address % 8192 == 0 && std::uint64_t{address} + GetBlockBytes() <= imageBytes_) return true;
    imageError_ = "Card image " + imagePath_ + ": address " + std::to_string(address) + " is beyond the card.";
    return false;
}

int CCardDevice::ImageFailure(const std::string& what) {
    imageError_ = "Card image " + imagePath_ + ": " + what + " (" + std::strerror(errno) + ").";
    return 0;
}

int CCardDevice::ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) {
    if (!imageMode_ || buffer.size() < GetBlockBytes() || !InImage(address)) return 0;
    std::vector<std::uint8_t> block(GetBlockBytes());
    ImageFile file(imagePath_, O_RDONLY);
    if (!file) return ImageFailure("cannot open");
    if (!file.ReadAt(address, block)) return ImageFailure("cannot read");
    // Only a complete read reaches the caller's buffer.
    std::copy(block.begin(), block.end(), buffer.begin());
    return 1;
}

int CCardDevice::WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (!imageMode_ || data.size() < GetBlockBytes() || !InImage(address)) return 0;
    ImageFile file(imagePath_, O_RDWR);
    if (!file) return ImageFailure("cannot open for writing");
    std::vector<std::uint8_t> block(GetBlockBytes());
    if (!file.ReadAt(address, block)) return ImageFailure("cannot read");
    // Programming flash only clears bits.
    for (std::size_t i = 0; i < block.size(); ++i) block[i] &= data[i];
    if (!file.WriteAt(address, block)) return ImageFailure("cannot write");
    return 1;
}

int CCardDevice::EraseBlock(std::uint32_t address) {
    if (!imageMode_ || !InImage(address)) return 0;
    ImageFile file(imagePath_, O_RDWR);
    if (!file) return ImageFailure("cannot open for writing");
    const std::vector<std::uint8_t> erased(GetBlockBytes(), 0xFF);
    if (!file.WriteAt(address, erased)) return ImageFailure("cannot write");
    return 1;
}

std::string CCardDevice::GetErrorText() {
    // With no card library bound the device has only this text; an image
    // file's own trouble is worth saying instead.
    if (imageMode_ && !imageError_.empty()) return imageError_;
    return kUsbSettingFailed;
}

}  // namespace murmex
