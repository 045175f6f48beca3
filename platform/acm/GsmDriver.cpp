#include "GsmDriver.h"

#include <gsm.h>

#include <algorithm>
#include <array>
#include <memory>

#include "BlockCodec.h"
#include "ByteOrder.h"

namespace murmex::acm {

namespace {

constexpr std::uint32_t kRate = 8000;
constexpr std::size_t kBlockBytes = 65;
constexpr std::size_t kFrameSamples = 160;
constexpr std::size_t kBlockSamples = 2 * kFrameSamples;
// The first frame of a block takes 33 bytes when read and gives 32 when
// written; the half byte between the two frames travels in the codec state.
constexpr std::size_t kFirstFrameIn = 33;
constexpr std::size_t kFirstFrameOut = 32;

bool IsGsm(const WaveFormat& f) {
    return f.formatTag == WAVE_FORMAT_GSM610 && f.channels == 1 && f.samplesPerSec == kRate &&
           f.blockAlign == kBlockBytes && (f.extra.size() < 2 || ReadLE16(f.extra, 0) == kBlockSamples);
}

struct GsmDelete {
    void operator()(gsm g) const { gsm_destroy(g); }
};
using GsmState = std::unique_ptr<gsm_state, GsmDelete>;

// A fresh codec state with the WAV packing, or nothing when out of memory.
GsmState NewState() {
    GsmState g(gsm_create());
    if (g) {
        int on = 1;
        gsm_option(g.get(), GSM_OPT_WAV49, &on);
    }
    return g;
}

constexpr BlockShape kShape{kBlockBytes, kBlockSamples, 1};

class Decoder final : public BlockDecoder {
public:
    Decoder() : BlockDecoder(kShape) {}

private:
    bool Start() override {
        state_ = NewState();
        return state_ != nullptr;
    }

    // Only whole blocks: half a GSM frame is no sound.
    std::size_t DecodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) override {
        if (block.size() < kBlockBytes) return 0;
        // libgsm takes non-const frames and may look at a whole 33 bytes for
        // the second one, so it works on a copy with a spare byte.
        std::array<gsm_byte, kBlockBytes + 1> bytes{};
        std::copy(block.begin(), block.end(), bytes.begin());
        std::array<gsm_signal, kFrameSamples> frame;
        for (std::size_t half = 0; half < 2; ++half) {
            gsm_byte* at = bytes.data() + (half == 0 ? 0 : kFirstFrameIn);
            if (gsm_decode(state_.get(), at, frame.data()) != 0) frame.fill(0);
            std::copy(frame.begin(), frame.end(), out.begin() + static_cast<std::ptrdiff_t>(half * kFrameSamples));
        }
        return kBlockSamples;
    }

    GsmState state_;
};

class Encoder final : public BlockEncoder {
public:
    Encoder() : BlockEncoder(kShape) {}

private:
    bool Start() override {
        state_ = NewState();
        return state_ != nullptr;
    }

    void EncodeBlock(std::span<const std::int16_t> in, std::span<std::uint8_t> block) override {
        std::fill(block.begin(), block.end(), 0);
        std::array<gsm_signal, kFrameSamples> samples;
        std::array<gsm_byte, 34> coded{};
        for (std::size_t half = 0; half < 2; ++half) {
            std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(half * kFrameSamples), kFrameSamples, samples.begin());
            gsm_encode(state_.get(), samples.data(), coded.data());
            const std::size_t at = half == 0 ? 0 : kFirstFrameOut;
            const std::size_t length = half == 0 ? kFirstFrameOut : kBlockBytes - kFirstFrameOut;
            std::copy_n(coded.begin(), length, block.begin() + static_cast<std::ptrdiff_t>(at));
        }
    }

    GsmState state_;
};

}  // namespace

GsmDriver::GsmDriver() : Driver("GSM 6.10", {Format(), WaveFormat::Pcm(kRate, 16, 1)}) {}

WaveFormat GsmDriver::Format() {
    WaveFormat f;
    f.formatTag = WAVE_FORMAT_GSM610;
    f.channels = 1;
    f.samplesPerSec = kRate;
    f.avgBytesPerSec = kRate * kBlockBytes / kBlockSamples;  // 1625
    f.blockAlign = kBlockBytes;
    f.bitsPerSample = 0;
    f.extra.resize(2);
    WriteLE16(f.extra, 0, kBlockSamples);
    return f;
}

bool GsmDriver::CanConvert(const WaveFormat& source, const WaveFormat& destination) const {
    return (IsGsm(source) && IsPcm16(destination, 1, kRate)) || (IsPcm16(source, 1, kRate) && IsGsm(destination));
}

std::unique_ptr<Converter> GsmDriver::Open(const WaveFormat& source, const WaveFormat& destination) const {
    if (!CanConvert(source, destination)) return nullptr;
    if (IsGsm(source)) return std::make_unique<Decoder>();
    return std::make_unique<Encoder>();
}

}  // namespace murmex::acm
