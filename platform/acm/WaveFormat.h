// The WAVE format record: seven fields (18 bytes on file) and as many extra
// bytes as the extra-size field says. Always handled as a whole record.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace murmex {

inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

struct WaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::vector<std::uint8_t> extra;  // its size is the record's extra-size field

    std::uint16_t ExtraSize() const { return static_cast<std::uint16_t>(extra.size()); }
    std::size_t RecordSize() const { return 18 + extra.size(); }
    bool IsPcm() const { return formatTag == WAVE_FORMAT_PCM; }

    // The 18 + extra bytes, little-endian, as a WAV file's "fmt " chunk holds them.
    std::vector<std::uint8_t> ToBytes() const;
    // From at least 18 bytes; the extra bytes the record names must be there.
    static std::optional<WaveFormat> FromBytes(std::span<const std::uint8_t> bytes);
    // A PCM record with block align and bytes per second worked out.
    static WaveFormat Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels);

    bool operator==(const WaveFormat&) const = default;
};

}  // namespace murmex
