// MS ADPCM (format tag 2) in its WAV block layout: per channel a predictor
// number, a starting delta and two starting samples (all of one kind for
// every channel before the next kind), then signed 4-bit codes, high nibble
// first, channels in turn. The extra bytes hold the samples per block, the
// number of predictor coefficient pairs and the pairs.
#pragma once

#include "Driver.h"

namespace murmex::acm {

inline constexpr std::uint16_t WAVE_FORMAT_ADPCM = 0x0002;

class MsAdpcmDriver final : public Driver {
public:
    MsAdpcmDriver();
    bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const override;
    std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const override;

    // The record a writer of the format gives for the rate and channels:
    // the common block size and the seven standard coefficient pairs.
    static WaveFormat Format(std::uint32_t rate, std::uint16_t channels);
};

}  // namespace murmex::acm
