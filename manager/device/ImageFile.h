// An open card image file: whole reads and writes at an offset, retried
// across short transfers and interrupts. Closes itself.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace murmex {

class ImageFile {
public:
    ImageFile(const std::string& path, int flags);
    ~ImageFile();
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;
    explicit operator bool() const { return fd_ >= 0; }

    bool ReadAt(std::uint64_t at, std::span<std::uint8_t> out) const;
    bool WriteAt(std::uint64_t at, std::span<const std::uint8_t> in) const;

private:
    bool Transfer(std::uint64_t at, std::uint8_t* p, std::size_t n, bool write) const;
    int fd_;
};

}  // namespace murmex
