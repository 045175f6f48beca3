// A whole file mapped read-only into memory, for code that holds a complete
// sound at once without copying it.
#pragma once

#include <cstdint>
#include <span>

namespace murmex {

class MappedFile {
public:
    explicit MappedFile(int fd);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    // False when the file could not be mapped; an empty file maps to no bytes.
    explicit operator bool() const { return mapped_; }
    std::span<const std::uint8_t> Bytes() const { return {data_, size_}; }

private:
    const std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
    bool mapped_ = false;
};

}  // namespace murmex
