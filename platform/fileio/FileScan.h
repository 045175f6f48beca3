// Small helpers for files read through stdio: the length of an open file,
// exact reads at an offset, and the byte-wise search for a four-character
// chunk tag that the WAV readers use.
#pragma once

#include <cstdio>
#include <optional>
#include <string_view>

namespace murmex {

// Length of an open file; the position is kept. -1 when it cannot be told.
long FileLength(std::FILE* f);
bool ReadAt(std::FILE* f, long at, void* out, std::size_t n);
// The offset of the first whole `tag` at or after `from` and before `end`.
std::optional<long> FindTag(std::FILE* f, long from, long end, std::string_view tag);

}  // namespace murmex
