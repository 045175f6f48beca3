#include "WaveFormat.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex {

namespace {
constexpr std::size_t kFixedSize = 18;
constexpr std::size_t kMaxExtra = 0xFFFF;
}  // namespace

std::vector<std::uint8_t> WaveFormat::ToBytes() const {
    // The extra-size field is 16 bits; a record never claims fewer bytes
    // than it carries, so anything beyond what the field can name is left out.
    const std::size_t extraBytes = std::min(extra.size(), kMaxExtra);
    std::vector<std::uint8_t> bytes(kFixedSize + extraBytes);
    WriteLE16(bytes, 0, formatTag);
    WriteLE16(bytes, 2, channels);
    WriteLE32(bytes, 4, samplesPerSec);
    WriteLE32(bytes, 8, avgBytesPerSec);
    WriteLE16(bytes, 12, blockAlign);
    WriteLE16(bytes, 14, bitsPerSample);
    WriteLE16(bytes, 16, static_cast<std::uint16_t>(extraBytes));
    std::copy_n(extra.begin(), extraBytes, bytes.begin() + kFixedSize);
    return bytes;
}

std::optional<WaveFormat> WaveFormat::FromBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kFixedSize) return std::nullopt;
    const std::size_t extraBytes = ReadLE16(bytes, 16);
    if (bytes.size() - kFixedSize < extraBytes) return std::nullopt;
    WaveFormat f;
    f.formatTag = ReadLE16(bytes, 0);
    f.channels = ReadLE16(bytes, 2);
    f.samplesPerSec = ReadLE32(bytes, 4);
    f.avgBytesPerSec = ReadLE32(bytes, 8);
    f.blockAlign = ReadLE16(bytes, 12);
    f.bitsPerSample = ReadLE16(bytes, 14);
    const auto from = bytes.begin() + kFixedSize;
    f.extra.assign(from, from + static_cast<std::ptrdiff_t>(extraBytes));
    return f;
}

WaveFormat WaveFormat::Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = WAVE_FORMAT_PCM;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.bitsPerSample = bits;
    f.blockAlign = static_cast<std::uint16_t>(channels * ((bits + 7u) / 8u));
    f.avgBytesPerSec = rate * f.blockAlign;
    return f;
}

}  // namespace murmex
