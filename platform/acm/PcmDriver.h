// The PCM converter (format tag 1): changes sample rate (libsoxr, high
// quality), sample width (8-bit unsigned and 16-bit signed, as in WAV) and
// channels (1 to 8 in; out 1 or 2, or as many as came in). More channels in
// than out are averaged down: channel i goes to output i mod the output
// count. A format that does not change is copied byte for byte. No dither.
#pragma once

#include "Driver.h"

namespace murmex::acm {

class PcmDriver final : public Driver {
public:
    static constexpr std::uint32_t kMinRate = 4000;
    static constexpr std::uint32_t kMaxRate = 96000;
    static constexpr std::uint16_t kMaxChannelsIn = 8;

    PcmDriver();
    bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const override;
    std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const override;
};

}  // namespace murmex::acm
