#include "ImageFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace murmex {

ImageFile::ImageFile(const std::string& path, int flags) : fd_(::open(path.c_str(), flags | O_CLOEXEC)) {}

ImageFile::~ImageFile() {
    if (fd_ >= 0) ::close(fd_);
}

bool ImageFile::ReadAt(std::uint64_t at, std::span<std::uint8_t> out) const {
    return Transfer(at, out.data(), out.size(), false);
}

bool ImageFile::WriteAt(std::uint64_t at, std::span<const std::uint8_t> in) const {
    return Transfer(at, const_cast<std::uint8_t*>(in.data()), in.size(), true);
}

bool ImageFile::Transfer(std::uint64_t at, std::uint8_t* p, std::size_t n, bool write) const {
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

}  // namespace murmex
