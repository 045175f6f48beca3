#include "G711Driver.h"

#include <algorithm>

#include "BlockCodec.h"
#include "ByteOrder.h"

namespace murmex::acm {

// Both laws code a sign, a 3-bit segment (the power of two) and a 4-bit step
// within the segment. a-law works on 13 bits of the sample and flips every
// other bit of the code; u-law works on 14 bits with a bias of 33 and sends
// the code inverted.

std::int16_t AlawToLinear(std::uint8_t code) {
    code ^= 0x55;
    const int segment = (code >> 4) & 0x07;
    const int step = code & 0x0F;
    // The middle of the step, in 13-bit units, then scaled to 16 bits.
    const int magnitude = segment == 0 ? 2 * step + 1 : (2 * step + 33) << (segment - 1);
    return static_cast<std::int16_t>((code & 0x80 ? magnitude : -magnitude) * 8);
}

// The sample is first rounded to the law's resolution (not cut), which
// halves the error at the bottom of the scale.
std::uint8_t LinearToAlaw(std::int16_t sample) {
    int value = std::min((sample + 4) >> 3, 4095);
    std::uint8_t sign = 0x80;
    if (value < 0) {
        sign = 0;
        value = -value - 1;  // the negative side is one step shifted, as the law is symmetric about -1/2
    }
    int segment = 0;
    for (int rest = value >> 5; rest != 0; rest >>= 1) ++segment;
    const int step = segment == 0 ? value >> 1 : (value >> segment) & 0x0F;
    return static_cast<std::uint8_t>((sign | (segment << 4) | step) ^ 0x55);
}

std::int16_t UlawToLinear(std::uint8_t code) {
    code = static_cast<std::uint8_t>(~code);
    const int segment = (code >> 4) & 0x07;
    const int step = code & 0x0F;
    const int magnitude = ((2 * step + 33) << segment) - 33;  // 14-bit units
    return static_cast<std::int16_t>((code & 0x80 ? -magnitude : magnitude) * 4);
}

std::uint8_t LinearToUlaw(std::int16_t sample) {
    int value = std::min((sample + 2) >> 2, 8191);
    std::uint8_t sign = 0;
    if (value < 0) {
        sign = 0x80;
        value = -value;
    }
    value = std::min(value, 8159) + 33;
    int segment = 0;
    for (int rest = value >> 6; rest != 0; rest >>= 1) ++segment;
    int step = (value >> (segment + 1)) & 0x0F;
    if (segment > 7) {
        segment = 7;
        step = 0x0F;
    }
    return static_cast<std::uint8_t>(~(sign | (segment << 4) | step));
}

namespace {

bool IsG711(const WaveFormat& f) {
    return (f.formatTag == WAVE_FORMAT_ALAW || f.formatTag == WAVE_FORMAT_MULAW) && f.bitsPerSample == 8 &&
           f.channels >= 1 && f.channels <= 2 && f.blockAlign == f.channels && f.samplesPerSec != 0;
}

class Decoder final : public Converter {
public:
    Decoder(bool alaw, std::size_t channels) : alaw_(alaw), channels_(channels) {}

    ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) override {
        const std::size_t frames = std::min(source.size() / channels_, destination.size() / (2 * channels_));
        const std::size_t samples = frames * channels_;
        for (std::size_t i = 0; i < samples; ++i) {
            const std::int16_t v = alaw_ ? AlawToLinear(source[i]) : UlawToLinear(source[i]);
            WriteLE16(destination, 2 * i, static_cast<std::uint16_t>(v));
        }
        return {static_cast<std::uint32_t>(samples), static_cast<std::uint32_t>(2 * samples), MMSYSERR_NOERROR};
    }
    std::uint64_t DestinationSize(std::uint64_t sourceBytes) const override {
        return sourceBytes / channels_ * channels_ * 2;
    }

private:
    bool alaw_;
    std::size_t channels_;
};

class Encoder final : public Converter {
public:
    Encoder(bool alaw, std::size_t channels) : alaw_(alaw), channels_(channels) {}

    ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) override {
        const std::size_t frames = std::min(source.size() / (2 * channels_), destination.size() / channels_);
        const std::size_t samples = frames * channels_;
        for (std::size_t i = 0; i < samples; ++i) {
            const auto v = static_cast<std::int16_t>(ReadLE16(source, 2 * i));
            destination[i] = alaw_ ? LinearToAlaw(v) : LinearToUlaw(v);
        }
        return {static_cast<std::uint32_t>(2 * samples), static_cast<std::uint32_t>(samples), MMSYSERR_NOERROR};
    }
    std::uint64_t DestinationSize(std::uint64_t sourceBytes) const override {
        return sourceBytes / (2 * channels_) * channels_;
    }

private:
    bool alaw_;
    std::size_t channels_;
};

}  // namespace

G711Driver::G711Driver()
    : Driver("G.711", [] {
          std::vector<WaveFormat> formats;
          constexpr std::uint32_t kRates[] = {8000, 11025, 22050, 44100};
          for (std::uint16_t tag : {WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW})
              for (std::uint32_t rate : kRates)
                  for (std::uint16_t ch : {1, 2}) formats.push_back(Format(tag, rate, ch));
          for (std::uint32_t rate : kRates)
              for (std::uint16_t ch : {1, 2}) formats.push_back(WaveFormat::Pcm(rate, 16, ch));
          return formats;
      }()) {}

WaveFormat G711Driver::Format(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = rate * channels;
    f.blockAlign = channels;
    f.bitsPerSample = 8;
    return f;
}

bool G711Driver::CanConvert(const WaveFormat& source, const WaveFormat& destination) const {
    if (IsG711(source)) return IsPcm16(destination, source.channels, source.samplesPerSec);
    if (IsG711(destination)) return IsPcm16(source, destination.channels, destination.samplesPerSec);
    return false;
}

std::unique_ptr<Converter> G711Driver::Open(const WaveFormat& source, const WaveFormat& destination) const {
    if (!CanConvert(source, destination)) return nullptr;
    if (IsG711(source)) return std::make_unique<Decoder>(source.formatTag == WAVE_FORMAT_ALAW, source.channels);
    return std::make_unique<Encoder>(destination.formatTag == WAVE_FORMAT_ALAW, destination.channels);
}

}  // namespace murmex::acm
