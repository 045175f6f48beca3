// A card image file kept open for update. Writes go straight to the file, so
// whatever the host programs can be checked there at once; reads come through
// a window of the file that writes keep up to date, since the host asks for
// one page at a time. Every access is clipped to the file's size.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

    // Between Hold and Release, writes that fall in the read window stay
    // there and reach the file together at Release (false when they cannot):
    // the host programs a block a page at a time within one transfer.
    void Hold() { held_ = true; }
    bool Release();

private:
    static constexpr std::uint64_t kWindowBytes = 64 * 1024;
    static constexpr std::uint64_t kNoWindow = ~std::uint64_t{0};

    void ReadFile(std::uint64_t offset, std::span<std::uint8_t> out) const;
    // Keeps the window in step with bytes just written to the file.
    void UpdateWindow(std::uint64_t offset, std::span<const std::uint8_t> data);
    bool InWindow(std::uint64_t offset, std::uint64_t length) const;
    bool WriteFile(std::uint64_t offset, std::span<const std::uint8_t> data);
    bool PutFile(std::uint64_t offset, std::span<const std::uint8_t> data) const;
    // Puts the held writes into the file before the window moves or the file is read around it.
    void FlushDirty() const;

    int fd_ = -1;
    std::uint64_t size_ = 0;
    mutable std::vector<std::uint8_t> window_;
    mutable std::uint64_t windowStart_ = kNoWindow;
    bool held_ = false;
    // The part of the window written while held and not yet in the file.
    mutable std::uint64_t dirtyFrom_ = 0;
    mutable std::uint64_t dirtyTo_ = 0;
    mutable bool flushFailed_ = false;
};

}  // namespace murmex::bridge
