// A card image file kept open for update. Reads and writes go straight to the
// file, so whatever the host programs can be checked there at once; every
// access is clipped to the file's size.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace murmex::bridge {

class CardImage {
public:
    // Throws std::runtime_error when the file cannot be opened for update.
    explicit CardImage(const std::string& path);
    ~CardImage();
    CardImage(const CardImage&) = delete;
    CardImage& operator=(const CardImage&) = delete;

    std::uint64_t Size() const { return size_; }
    bool Contains(std::uint64_t offset, std::uint64_t length) const;

    // Bytes beyond the end read as erased flash (0xFF).
    void Read(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Refuses (writing nothing) a range that does not lie inside the file.
    bool Write(std::uint64_t offset, std::span<const std::uint8_t> data);
    bool Fill(std::uint64_t offset, std::uint64_t length, std::uint8_t value);

private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace murmex::bridge
