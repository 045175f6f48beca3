// Fuzzes the codec's decoder as the player and the converters drive it: the
// input is an MXD frame stream (no magic), walked frame by frame by the
// class in byte 0, silence runs handed over as N fixed silence frames, a
// frame cut short by the end of the data filled up with zeros. Each frame
// sits in a buffer of exactly its class length, so a read past it shows.
//
// Input: the frame data of an MXD file.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

#include "FuzzSupport.h"
#include "TrcCodec.h"

extern "C" void vInitDecoder();
extern "C" void vInitEncoder();
extern "C" void vDecode(short* out160, const unsigned char* frame);
extern "C" int vEncode(const short* in160, unsigned char* out, int mode, int reserved);

namespace murmex {
namespace {

using namespace codec;

// Enough for several long silence runs and a few seconds of frames, while
// keeping each input to a few milliseconds.
constexpr std::size_t kMaxBlocks = 4096;

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void DecodeOne(const std::uint8_t* frame, bool mustBeSilent) {
    std::array<short, kBlockSamples> out;
    out.fill(0x5555);
    vDecode(out.data(), frame);
    if (mustBeSilent && std::any_of(out.begin(), out.end(), [](short s) { return s != 0; }))
        Broken("a frame that is not Opus or codec2 decoded to sound");
}

// An encoded second of a buzz (harmonics of 140 Hz), for the seeds.
std::vector<std::uint8_t> EncodedBuzz(int mode) {
    vInitEncoder();
    std::vector<std::uint8_t> stream;
    for (int block = 0; block < 50; ++block) {
        std::array<short, kBlockSamples> pcm{};
        for (std::size_t i = 0; i < kBlockSamples; ++i) {
            const double t = static_cast<double>(block * kBlockSamples + i) / 8000;
            double v = 0;
            for (int h = 1; h <= 12; ++h) v += std::sin(2 * std::numbers::pi * 140 * h * t) / h;
            pcm[i] = static_cast<short>(block < 5 ? 0 : 1500 * v);
        }
        std::array<unsigned char, kMaxFrameBytes> frame{};
        const int n = vEncode(pcm.data(), frame.data(), mode, 0);
        stream.insert(stream.end(), frame.begin(), frame.begin() + n);
    }
    return stream;
}

}  // namespace
}  // namespace murmex

namespace {

void WriteSeeds(const std::string& folder) {
    using namespace murmex;
    const auto sp = EncodedBuzz(codec::kModeSp);
    const auto lp = EncodedBuzz(codec::kModeLp);
    fuzz::WriteSeed(folder, "sp", sp);
    fuzz::WriteSeed(folder, "lp", lp);
    // Every class, long runs, and a frame cut short at the end.
    std::vector<std::uint8_t> mixed(sp.begin(), sp.begin() + 24 * 10);
    mixed.insert(mixed.end(), {0xE0, 0x00, 0xFF, 0xFF, 0xE1, 0x00, 0xE0, 0x10});
    mixed.insert(mixed.end(), lp.begin() + 2 * 5, lp.begin() + 2 * 5 + 11 * 10);
    mixed.insert(mixed.end(), 18, 0x4A);
    mixed.insert(mixed.end(), {0xC3, 0x01, 0x02, 0x03});
    mixed.insert(mixed.end(), sp.end() - 24 * 3, sp.end() - 5);
    fuzz::WriteSeed(folder, "mixed", mixed);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex::codec;
    vInitDecoder();
    std::size_t blocks = 0;
    for (std::size_t at = 0; at < size && blocks < murmex::kMaxBlocks;) {
        const std::uint8_t b0 = data[at];
        const std::size_t length = FrameLength(b0);
        const std::size_t have = std::min(length, size - at);
        if (IsSilenceRun(b0)) {
            const unsigned n = SilenceRunBlocks(b0, have > 1 ? data[at + 1] : 0);
            if (n < 1 || n > 752) murmex::Broken("silence run length");
            for (unsigned i = 0; i < n && blocks < murmex::kMaxBlocks; ++i, ++blocks)
                murmex::DecodeOne(kSilenceFrame, true);
        } else {
            std::vector<std::uint8_t> frame(length, 0);
            std::copy(data + at, data + at + have, frame.begin());
            murmex::DecodeOne(frame.data(), length != kLpFrameBytes && length != kSpFrameBytes);
            ++blocks;
        }
        at += have;
    }
    return 0;
}
