#include "FileScan.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace murmex {

long FileLength(std::FILE* f) {
    const long here = std::ftell(f);
    if (here < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
    const long length = std::ftell(f);
    std::fseek(f, here, SEEK_SET);
    return length;
}

bool ReadAt(std::FILE* f, long at, void* out, std::size_t n) {
    return at >= 0 && std::fseek(f, at, SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

std::optional<long> FindTag(std::FILE* f, long from, long end, std::string_view tag) {
    // Windows overlap by three bytes so a tag across their border is found.
    constexpr long kWindow = 65536;
    std::vector<char> buffer(kWindow + 3);
    for (long at = std::max(0L, from); at + 4 <= end; at += kWindow) {
        const long n = std::min<long>(kWindow + 3, end - at);
        if (!ReadAt(f, at, buffer.data(), static_cast<std::size_t>(n))) return std::nullopt;
        for (long i = 0; i + 4 <= n; ++i)
            if (std::memcmp(buffer.data() + i, tag.data(), 4) == 0) return at + i;
    }
    return std::nullopt;
}

}  // namespace murmex
