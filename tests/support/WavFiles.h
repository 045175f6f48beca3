// Small WAV files for tests: read a file whole, and write a 16-bit PCM tone.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "ByteOrder.h"
#include "WaveFile.h"

namespace murmex::test {

inline std::vector<std::uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A 16-bit PCM WAV holding `bytes` of a tone at `rate` (an odd count leaves
// the last sample cut, as such files come).
inline void WriteToneWav(const std::filesystem::path& p, std::uint32_t rate, std::uint32_t bytes,
                         std::uint16_t channels = 1) {
    std::FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    WaveHeaderWriter(f, WaveFormat::Pcm(rate, 16, channels), bytes);
    std::vector<std::uint8_t> data(bytes);
    for (std::uint32_t i = 0; i + 1 < bytes; i += 2) {
        const std::uint32_t frame = i / (2u * channels), channel = (i / 2) % channels;
        WriteLE16(data, i, static_cast<std::uint16_t>(static_cast<std::int16_t>(9000 * std::sin(frame * 0.07 + channel))));
    }
    if (!data.empty()) std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}

}  // namespace murmex::test
