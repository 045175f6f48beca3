#include "ImaAdpcmDriver.h"

#include <algorithm>
#include <array>
#include <optional>

#include "BlockCodec.h"
#include "ByteOrder.h"

namespace murmex::acm {

namespace {

constexpr std::array<std::int16_t, 89> kStep = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kIndexShift = {-1, -1, -1, -1, 2, 4, 6, 8};
constexpr int kMaxIndex = static_cast<int>(kStep.size()) - 1;

struct Channel {
    int predictor = 0;
    int index = 0;

    // The decoder's step: both sides must take exactly this one.
    void Apply(unsigned code) {
        const int step = kStep[static_cast<std::size_t>(index)];
        int diff = step >> 3;
        if (code & 4) diff += step;
        if (code & 2) diff += step >> 1;
        if (code & 1) diff += step >> 2;
        predictor = Clamp16(code & 8 ? predictor - diff : predictor + diff);
        index = std::clamp(index + kIndexShift[code & 7], 0, kMaxIndex);
    }

    unsigned Encode(int sample) {
        const int step = kStep[static_cast<std::size_t>(index)];
        int diff = sample - predictor;
        unsigned code = 0;
        if (diff < 0) {
            code = 8;
            diff = -diff;
        }
        if (diff >= step) {
            code |= 4;
            diff -= step;
        }
        if (diff >= step >> 1) {
            code |= 2;
            diff -= step >> 1;
        }
        if (diff >= step >> 2) code |= 1;
        Apply(code);
        return code;
    }
};

// Samples per block that a block align allows: the header sample and two
// per byte after the headers.
std::size_t SamplesFor(std::size_t blockAlign, std::size_t channels) {
    return (blockAlign / channels - 4) * 2 + 1;
}

// The block shape of a record we can work with, or nothing.
std::optional<BlockShape> ShapeOf(const WaveFormat& f) {
    if (f.formatTag != WAVE_FORMAT_IMA_ADPCM || f.bitsPerSample != 4 || f.samplesPerSec == 0) return std::nullopt;
    if (f.channels < 1 || f.channels > 2) return std::nullopt;
    const std::size_t channels = f.channels;
    if (f.blockAlign < 4 * channels || f.blockAlign % (4 * channels) != 0) return std::nullopt;
    const std::size_t samples = SamplesFor(f.blockAlign, channels);
    // Records without the extra bytes exist; the block align says it all.
    if (f.extra.size() >= 2 && ReadLE16(f.extra, 0) != samples) return std::nullopt;
    return BlockShape{f.blockAlign, samples, channels};
}

class Decoder final : public BlockDecoder {
public:
    using BlockDecoder::BlockDecoder;

private:
    std::size_t DecodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) override {
        const std::size_t ch = shape_.channels;
        if (block.size() < 4 * ch) return 0;
        std::array<Channel, 2> state;
        for (std::size_t c = 0; c < ch; ++c) {
            state[c].predictor = static_cast<std::int16_t>(ReadLE16(block, 4 * c));
            state[c].index = std::min<int>(block[4 * c + 2], kMaxIndex);
            out[c] = static_cast<std::int16_t>(state[c].predictor);
        }
        const std::size_t groups = (block.size() - 4 * ch) / (4 * ch);
        const std::size_t frames = std::min(shape_.samplesPerBlock, 1 + 8 * groups);
        for (std::size_t g = 0; g < groups; ++g) {
            for (std::size_t c = 0; c < ch; ++c) {
                const std::size_t at = 4 * ch + g * 4 * ch + 4 * c;
                for (std::size_t k = 0; k < 8; ++k) {
                    const std::size_t frame = 1 + 8 * g + k;
                    if (frame >= frames) break;
                    const std::uint8_t byte = block[at + k / 2];
                    state[c].Apply(k % 2 == 0 ? byte & 0x0F : byte >> 4);
                    out[frame * ch + c] = static_cast<std::int16_t>(state[c].predictor);
                }
            }
        }
        return frames;
    }
};

class Encoder final : public BlockEncoder {
public:
    using BlockEncoder::BlockEncoder;

private:
    bool Start() override {
        state_ = {};
        return true;
    }

    // The step index runs on from block to block; the predictor starts again
    // from each block's first sample, which the header carries exactly.
    void EncodeBlock(std::span<const std::int16_t> in, std::span<std::uint8_t> block) override {
        const std::size_t ch = shape_.channels;
        std::fill(block.begin(), block.end(), 0);
        for (std::size_t c = 0; c < ch; ++c) {
            Channel& s = state_[c];
            s.predictor = in[c];
            WriteLE16(block, 4 * c, static_cast<std::uint16_t>(in[c]));
            block[4 * c + 2] = static_cast<std::uint8_t>(s.index);
            const std::size_t groups = (shape_.blockBytes - 4 * ch) / (4 * ch);
            for (std::size_t g = 0; g < groups; ++g) {
                const std::size_t at = 4 * ch + g * 4 * ch + 4 * c;
                for (std::size_t k = 0; k < 8; ++k) {
                    const unsigned code = s.Encode(in[(1 + 8 * g + k) * ch + c]);
                    block[at + k / 2] |= static_cast<std::uint8_t>(k % 2 == 0 ? code : code << 4);
                }
            }
        }
    }

    std::array<Channel, 2> state_;
};

}  // namespace

ImaAdpcmDriver::ImaAdpcmDriver() : Driver("IMA ADPCM", AdpcmFormatTable(&ImaAdpcmDriver::Format)) {}

WaveFormat ImaAdpcmDriver::Format(std::uint32_t rate, std::uint16_t channels) {
    WaveFormat f;
    f.formatTag = WAVE_FORMAT_IMA_ADPCM;
    f.channels = channels;
    f.samplesPerSec = rate;
    const std::size_t samples = SetAdpcmBlockGeometry(f, SamplesFor);
    f.extra.resize(2);
    WriteLE16(f.extra, 0, static_cast<std::uint16_t>(samples));
    return f;
}

bool ImaAdpcmDriver::CanConvert(const WaveFormat& source, const WaveFormat& destination) const {
    if (source.formatTag == WAVE_FORMAT_IMA_ADPCM)
        return ShapeOf(source) && IsPcm16(destination, source.channels, source.samplesPerSec);
    if (destination.formatTag == WAVE_FORMAT_IMA_ADPCM)
        return ShapeOf(destination) && IsPcm16(source, destination.channels, destination.samplesPerSec);
    return false;
}

std::unique_ptr<Converter> ImaAdpcmDriver::Open(const WaveFormat& source, const WaveFormat& destination) const {
    if (!CanConvert(source, destination)) return nullptr;
    if (source.formatTag == WAVE_FORMAT_IMA_ADPCM) return std::make_unique<Decoder>(*ShapeOf(source));
    return std::make_unique<Encoder>(*ShapeOf(destination));
}

}  // namespace murmex::acm
