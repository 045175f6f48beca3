// IMA ADPCM (format tag 0x11) in its WAV block layout: per channel a header
// of the first sample (16 bits), the step index and a reserved byte, then
// 4-bit codes, eight samples of each channel in turn in four bytes, low
// nibble first. The extra bytes hold the samples per block.
#pragma once

#include "Driver.h"

namespace murmex::acm {

inline constexpr std::uint16_t WAVE_FORMAT_IMA_ADPCM = 0x0011;

class ImaAdpcmDriver final : public Driver {
public:
    ImaAdpcmDriver();
    bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const override;
    std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const override;

    // The record a writer of the format gives for the rate and channels,
    // with the block size the common tools choose.
    static WaveFormat Format(std::uint32_t rate, std::uint16_t channels);
};

}  // namespace murmex::acm
