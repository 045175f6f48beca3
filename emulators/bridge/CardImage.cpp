#include "CardImage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace murmex::bridge {

CardImage::CardImage(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open card image '" + path + "': " + std::strerror(errno));
    struct stat info {};
    if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd_);
        throw std::runtime_error("card image '" + path + "' is not a regular file");
    }
    size_ = static_cast<std::uint64_t>(info.st_size);
}

CardImage::~CardImage() {
    Release();
    ::close(fd_);
}

bool CardImage::Contains(std::uint64_t offset, std::uint64_t length) const {
    return offset <= size_ && length <= size_ - offset;
}

void CardImage::Read(std::uint64_t offset, std::span<std::uint8_t> out) const {
    const std::uint64_t start = offset - offset % kWindowBytes;
    if (offset >= size_ || offset + out.size() > start + kWindowBytes) {
        FlushDirty();
        return ReadFile(offset, out);
    }
    if (windowStart_ != start) {
        FlushDirty();
        window_.resize(kWindowBytes);
        ReadFile(start, window_);
        windowStart_ = start;
    }
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(offset - start), out.size(), out.begin());
}

void CardImage::UpdateWindow(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (windowStart_ == kNoWindow) return;
    const std::uint64_t from = std::max(offset, windowStart_);
    const std::uint64_t to = std::min(offset + data.size(), windowStart_ + kWindowBytes);
    if (from >= to) return;
    std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(from - offset), to - from,
                window_.begin() + static_cast<std::ptrdiff_t>(from - windowStart_));
}

void CardImage::ReadFile(std::uint64_t offset, std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
    if (offset >= size_) return;
    const std::size_t inside = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - offset));
    std::size_t done = 0;
    while (done < inside) {
        const ssize_t got = ::pread(fd_, out.data() + done, inside - done, static_cast<off_t>(offset + done));
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            return;  // a file shrunk behind our back reads as erased
        }
        done += static_cast<std::size_t>(got);
    }
}

bool CardImage::InWindow(std::uint64_t offset, std::uint64_t length) const {
    return windowStart_ != kNoWindow && offset >= windowStart_ && offset + length <= windowStart_ + kWindowBytes;
}

bool CardImage::Write(std::uint64_t offset, std::span<const std::uint8_t> data) {
    if (!Contains(offset, data.size())) return false;
    if (held_ && InWindow(offset, data.size())) {
        UpdateWindow(offset, data);
        if (dirtyTo_ <= dirtyFrom_) dirtyFrom_ = dirtyTo_ = offset;
        dirtyFrom_ = std::min(dirtyFrom_, offset);
        dirtyTo_ = std::max<std::uint64_t>(dirtyTo_, offset + data.size());
        return true;
    }
    return WriteFile(offset, data);
}

bool CardImage::Release() {
    held_ = false;
    FlushDirty();
    const bool written = !flushFailed_;
    flushFailed_ = false;
    return written;
}

void CardImage::FlushDirty() const {
    if (dirtyTo_ <= dirtyFrom_) return;
    const std::uint64_t from = dirtyFrom_, to = dirtyTo_;
    dirtyFrom_ = dirtyTo_ = 0;
    const auto dirty = std::span<const std::uint8_t>(window_).subspan(from - windowStart_, to - from);
    if (!PutFile(from, dirty)) flushFailed_ = true;
}

bool CardImage::WriteFile(std::uint64_t offset, std::span<const std::uint8_t> data) {
    FlushDirty();
    if (!PutFile(offset, data)) {
        windowStart_ = kNoWindow;  // the file may hold part of the data now
        return false;
    }
    UpdateWindow(offset, data);
    return true;
}

bool CardImage::PutFile(std::uint64_t offset, std::span<const std::uint8_t> data) const {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
        if (put <= 0) {
            if (put < 0 && errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool CardImage::Fill(std::uint64_t offset, std::uint64_t length, std::uint8_t value) {
    if (!Contains(offset, length)) return false;
    std::array<std::uint8_t, 16384> chunk;
    chunk.fill(value);
    while (length > 0) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
        if (!Write(offset, std::span(chunk).first(n))) return false;
        offset += n;
        length -= n;
    }
    return true;
}

}  // namespace murmex::bridge
