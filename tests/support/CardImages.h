// Card image files for tests: a temporary image of a given size and fill,
// read and patched in place, and recognisable data to put on it.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace murmex::test {

inline std::vector<std::uint8_t> ReadFileBytes(const std::string& path, std::uint64_t offset, std::size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(length);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(length));
    return bytes;
}

// Bytes that differ from block to block and from seed to seed.
inline std::vector<std::uint8_t> Pattern(std::size_t length, unsigned seed) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + seed * 31 + (i >> 8));
    return bytes;
}

// A card image in the temporary folder (erased flash unless told otherwise),
// removed again when the object goes.
class TempCardImage {
public:
    explicit TempCardImage(std::uint64_t size, std::uint8_t fill = 0xFF) {
        static std::atomic<int> counter{0};
        path_ = (std::filesystem::temp_directory_path() /
                 ("murmex-card-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmf"))
                    .string();
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        const std::vector<char> chunk(64 * 1024, static_cast<char>(fill));
        for (std::uint64_t left = size; left > 0;) {
            const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, chunk.size()));
            out.write(chunk.data(), n);
            left -= static_cast<std::uint64_t>(n);
        }
    }
    ~TempCardImage() { std::filesystem::remove(path_); }
    TempCardImage(const TempCardImage&) = delete;
    TempCardImage& operator=(const TempCardImage&) = delete;

    const std::string& Path() const { return path_; }
    std::vector<std::uint8_t> Bytes(std::uint64_t offset, std::size_t length) const {
        return ReadFileBytes(path_, offset, length);
    }
    void Put(std::uint64_t offset, const std::vector<std::uint8_t>& bytes) const {
        std::fstream io(path_, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(static_cast<std::streamoff>(offset));
        io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    std::string path_;
};

}  // namespace murmex::test
