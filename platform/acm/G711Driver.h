// G.711 a-law (format tag 6) and u-law (format tag 7): one byte per sample,
// to and from 16-bit PCM of the same rate and channels.
#pragma once

#include "Driver.h"

namespace murmex::acm {

inline constexpr std::uint16_t WAVE_FORMAT_ALAW = 0x0006;
inline constexpr std::uint16_t WAVE_FORMAT_MULAW = 0x0007;

class G711Driver final : public Driver {
public:
    G711Driver();
    bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const override;
    std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const override;

    static WaveFormat Format(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels);
};

// The companding itself, one sample at a time.
std::int16_t AlawToLinear(std::uint8_t code);
std::uint8_t LinearToAlaw(std::int16_t sample);
std::int16_t UlawToLinear(std::uint8_t code);
std::uint8_t LinearToUlaw(std::int16_t sample);

}  // namespace murmex::acm
