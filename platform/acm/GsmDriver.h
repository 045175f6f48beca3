// GSM 6.10 full rate (format tag 49) in its WAV form: 65-byte blocks, each
// two 20 ms frames (320 samples) packed nibble to nibble, 8000 Hz mono.
// The codec itself is libgsm with its WAV packing switched on.
#pragma once

#include "Driver.h"

namespace murmex::acm {

inline constexpr std::uint16_t WAVE_FORMAT_GSM610 = 0x0031;

class GsmDriver final : public Driver {
public:
    GsmDriver();
    bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const override;
    std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const override;

    static WaveFormat Format();
};

}  // namespace murmex::acm
