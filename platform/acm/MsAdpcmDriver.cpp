#include "MsAdpcmDriver.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <limits>
#include <optional>

#include "BlockCodec.h"
#include "ByteOrder.h"

namespace murmex::acm {

namespace {

struct CoefPair {
    int c1, c2;
};
constexpr std::array<CoefPair, 7> kStandardCoefs = {
    {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};
constexpr std::array<int, 16> kAdapt = {230, 230, 230, 230, 307, 409, 512, 614,
                                        768, 614, 512, 409, 307, 230, 230, 230};
constexpr int kMinDelta = 16;
constexpr std::size_t kMaxCoefs = 256;

struct Channel {
    int s1 = 0, s2 = 0;  // the last sample and the one before
    std::int32_t delta = kMinDelta;
    CoefPair coef{256, 0};

    int Predict() const {
        return static_cast<int>((std::int64_t{s1} * coef.c1 + std::int64_t{s2} * coef.c2) >> 8);
    }

    // The decoder's step: both sides must take exactly this one. The delta is
    // kept within 32 bits whatever a damaged block says.
    void Apply(unsigned code) {
        const int value = code >= 8 ? static_cast<int>(code) - 16 : static_cast<int>(code);
        const int sample = Clamp16(Predict() + std::int64_t{value} * delta);
        s2 = s1;
        s1 = sample;
        const std::int64_t next = (std::int64_t{kAdapt[code]} * delta) >> 8;
        delta = static_cast<std::int32_t>(std::clamp<std::int64_t>(next, kMinDelta, std::numeric_limits<std::int32_t>::max()));
    }

    unsigned Encode(int sample) {
        const std::int64_t error = sample - Predict();
        const std::int64_t half = delta / 2;
        std::int64_t q = error >= 0 ? (error + half) / delta : -((-error + half) / delta);
        q = std::clamp<std::int64_t>(q, -8, 7);
        const unsigned code = static_cast<unsigned>(q) & 0x0F;
        Apply(code);
        return code;
    }
};

std::size_t SamplesFor(std::size_t blockAlign, std::size_t channels) {
    return (blockAlign - 7 * channels) * 2 / channels + 2;
}

struct MsShape {
    BlockShape block;
    std::vector<CoefPair> coefs;
};

std::optional<MsShape> ShapeOf(const WaveFormat& f) {
    if (f.formatTag != WAVE_FORMAT_ADPCM || f.bitsPerSample != 4 || f.samplesPerSec == 0) return std::nullopt;
    if (f.channels < 1 || f.channels > 2 || f.blockAlign < 7 * f.channels) return std::nullopt;
    if (f.extra.size() < 4) return std::nullopt;
    const std::size_t samples = SamplesFor(f.blockAlign, f.channels);
    if (ReadLE16(f.extra, 0) != samples) return std::nullopt;
    const std::size_t count = ReadLE16(f.extra, 2);
    if (count < 1 || count > kMaxCoefs || f.extra.size() < 4 + 4 * count) return std::nullopt;
    MsShape shape{{f.blockAlign, samples, f.channels}, {}};
    for (std::size_t i = 0; i < count; ++i)
        shape.coefs.push_back({static_cast<std::int16_t>(ReadLE16(f.extra, 4 + 4 * i)),
                               static_cast<std::int16_t>(ReadLE16(f.extra, 6 + 4 * i))});
    return shape;
}

bool HasStandardCoefs(const MsShape& s) {
    return s.coefs.size() == kStandardCoefs.size() &&
           std::equal(s.coefs.begin(), s.coefs.end(), kStandardCoefs.begin(),
                      [](CoefPair a, CoefPair b) { return a.c1 == b.c1 && a.c2 == b.c2; });
}

// Where the code of a frame's channel sits after the headers: channels in
// turn, high nibble first.
struct NibbleAt {
    std::size_t byte;
    bool high;
};
NibbleAt Nibble(std::size_t frame, std::size_t channel, std::size_t channels) {
    const std::size_t i = (frame - 2) * channels + channel;
    return {7 * channels + i / 2, i % 2 == 0};
}

class Decoder final : public BlockDecoder {
public:
    Decoder(BlockShape shape, std::vector<CoefPair> coefs) : BlockDecoder(shape), coefs_(std::move(coefs)) {}

private:
    std::size_t DecodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) override {
        const std::size_t ch = shape_.channels;
        if (block.size() < 7 * ch) return 0;
        const std::size_t frames = std::min(shape_.samplesPerBlock, 2 + (block.size() - 7 * ch) * 2 / ch);
        std::array<Channel, 2> state;
        for (std::size_t c = 0; c < ch; ++c) {
            // A predictor number beyond the table is damage; the first pair
            // gives the least surprising sound.
            const std::size_t p = block[c];
            state[c].coef = p < coefs_.size() ? coefs_[p] : coefs_[0];
            state[c].delta = static_cast<std::int16_t>(ReadLE16(block, ch + 2 * c));
            state[c].s1 = static_cast<std::int16_t>(ReadLE16(block, 3 * ch + 2 * c));
            state[c].s2 = static_cast<std::int16_t>(ReadLE16(block, 5 * ch + 2 * c));
            out[c] = static_cast<std::int16_t>(state[c].s2);
            if (frames > 1) out[ch + c] = static_cast<std::int16_t>(state[c].s1);
        }
        for (std::size_t frame = 2; frame < frames; ++frame) {
            for (std::size_t c = 0; c < ch; ++c) {
                const NibbleAt at = Nibble(frame, c, ch);
                state[c].Apply(at.high ? block[at.byte] >> 4 : block[at.byte] & 0x0F);
                out[frame * ch + c] = static_cast<std::int16_t>(state[c].s1);
            }
        }
        return frames;
    }

    std::vector<CoefPair> coefs_;
};

class Encoder final : public BlockEncoder {
public:
    using BlockEncoder::BlockEncoder;

private:
    // Each block starts afresh: per channel, the coefficient pair and the
    // starting delta that give the least squared error over the block.
    void EncodeBlock(std::span<const std::int16_t> in, std::span<std::uint8_t> block) override {
        const std::size_t ch = shape_.channels;
        const std::size_t n = shape_.samplesPerBlock;
        std::fill(block.begin(), block.end(), 0);
        for (std::size_t c = 0; c < ch; ++c) {
            auto x = [&](std::size_t frame) { return int{in[frame * ch + c]}; };
            std::size_t bestPair = 0;
            std::int32_t bestDelta = kMinDelta;
            std::int64_t bestError = std::numeric_limits<std::int64_t>::max();
            for (std::size_t p = 0; p < kStandardCoefs.size(); ++p) {
                for (std::int32_t delta : StartingDeltas(x, kStandardCoefs[p])) {
                    Channel s = Begin(x, kStandardCoefs[p], delta);
                    std::int64_t error = 0;
                    for (std::size_t frame = 2; frame < n && error < bestError; ++frame) {
                        s.Encode(x(frame));
                        const std::int64_t e = x(frame) - s.s1;
                        error += e * e;
                    }
                    if (error < bestError) {
                        bestError = error;
                        bestPair = p;
                        bestDelta = delta;
                    }
                }
            }
            Channel s = Begin(x, kStandardCoefs[bestPair], bestDelta);
            block[c] = static_cast<std::uint8_t>(bestPair);
            WriteLE16(block, ch + 2 * c, static_cast<std::uint16_t>(bestDelta));
            WriteLE16(block, 3 * ch + 2 * c, static_cast<std::uint16_t>(s.s1));
            WriteLE16(block, 5 * ch + 2 * c, static_cast<std::uint16_t>(s.s2));
            for (std::size_t frame = 2; frame < n; ++frame) {
                const unsigned code = s.Encode(x(frame));
                const NibbleAt at = Nibble(frame, c, ch);
                block[at.byte] |= static_cast<std::uint8_t>(at.high ? code << 4 : code);
            }
        }
    }

    template <class X>
    static Channel Begin(const X& x, CoefPair coef, std::int32_t delta) {
        Channel s;
        s.coef = coef;
        s.delta = delta;
        s.s2 = x(0);
        s.s1 = x(1);
        return s;
    }

    // Around the typical prediction error at the start of the block: a code
    // of about 2 there is a good place for the delta to begin.
    template <class X>
    std::array<std::int32_t, 3> StartingDeltas(const X& x, CoefPair coef) const {
        const std::size_t last = std::min<std::size_t>(shape_.samplesPerBlock, 18);
        std::int64_t sum = 0;
        for (std::size_t k = 2; k < last; ++k)
            sum += std::abs(x(k) - static_cast<int>((std::int64_t{x(k - 1)} * coef.c1 + std::int64_t{x(k - 2)} * coef.c2) >> 8));
        const std::int64_t typical = last > 2 ? sum / static_cast<std::int64_t>(last - 2) / 2 : kMinDelta;
        auto fit = [](std::int64_t d) { return static_cast<std::int32_t>(std::clamp<std::int64_t>(d, kMinDelta, 0x7FFF)); };
        return {fit(typical / 2), fit(typical), fit(typical * 2)};
    }
};

}  // namespace

MsAdpcmDriver::MsAdpcmDriver() : Driver("MS ADPCM", AdpcmFormatTable(&MsAdpcmDriver::Format)) {}

WaveFormat MsAdpcmDriver::Format(std::uint32_t rate, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = WAVE_FORMAT_ADPCM;
    f.channels = channels;
    f.samplesPerSec = rate;
    const std::size_t samples = SetAdpcmBlockGeometry(f, SamplesFor);
    f.extra.resize(4 + 4 * kStandardCoefs.size());
    WriteLE16(f.extra, 0, static_cast<std::uint16_t>(samples));
    WriteLE16(f.extra, 2, static_cast<std::uint16_t>(kStandardCoefs.size()));
    for (std::size_t i = 0; i < kStandardCoefs.size(); ++i) {
        WriteLE16(f.extra, 4 + 4 * i, static_cast<std::uint16_t>(kStandardCoefs[i].c1));
        WriteLE16(f.extra, 6 + 4 * i, static_cast<std::uint16_t>(kStandardCoefs[i].c2));
    }
    return f;
}

bool MsAdpcmDriver::CanConvert(const WaveFormat& source, const WaveFormat& destination) const {
    if (source.formatTag == WAVE_FORMAT_ADPCM)
        return ShapeOf(source) && IsPcm16(destination, source.channels, source.samplesPerSec);
    if (destination.formatTag == WAVE_FORMAT_ADPCM) {
        // We write only the standard table, the one every reader knows.
        const auto shape = ShapeOf(destination);
        return shape && HasStandardCoefs(*shape) && IsPcm16(source, destination.channels, destination.samplesPerSec);
    }
    return false;
}

std::unique_ptr<Converter> MsAdpcmDriver::Open(const WaveFormat& source, const WaveFormat& destination) const {
    if (!CanConvert(source, destination)) return nullptr;
    if (source.formatTag == WAVE_FORMAT_ADPCM) {
        auto shape = ShapeOf(source);
        return std::make_unique<Decoder>(shape->block, std::move(shape->coefs));
    }
    return std::make_unique<Encoder>(ShapeOf(destination)->block);
}

}  // namespace murmex::acm
