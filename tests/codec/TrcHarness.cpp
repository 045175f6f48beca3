#include "TrcHarness.h"

#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cstdlib>

namespace murmex::codec::test {

TrcLibrary TrcLibrary::Load(const std::string& name, std::string* error) {
    if (const char* bin = std::getenv("MURMEX_BIN_DIR"); bin != nullptr && *bin != '\0')
        ::setenv("MURMEX_PROGRAM_DIR", bin, 1);
    TrcLibrary lib;
    lib.module = platform::Module::Load(name, error);
    lib.initDecoder = lib.module.Function<InitDecoderFn>(kInitDecoderName);
    lib.initEncoder = lib.module.Function<InitEncoderFn>(kInitEncoderName);
    lib.decode = lib.module.Function<DecodeFn>(kDecodeName);
    lib.encode = lib.module.Function<EncodeFn>(kEncodeName);
    return lib;
}

std::vector<Frame> TrcLibrary::EncodeStream(std::span<const std::int16_t> pcm, int mode) const {
    initEncoder();
    std::vector<Frame> frames;
    for (std::size_t at = 0; at < pcm.size(); at += kBlockSamples) {
        std::array<short, kBlockSamples> block{};
        const std::size_t n = std::min(kBlockSamples, pcm.size() - at);
        // Floor division, as the callers do it.
        for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<short>(pcm[at + i] >> 2);
        std::array<unsigned char, kMaxFrameBytes> out{};
        const int length = encode(block.data(), out.data(), mode, 0);
        frames.emplace_back(out.begin(), out.begin() + std::clamp<int>(length, 0, kMaxFrameBytes));
    }
    return frames;
}

std::vector<std::int16_t> TrcLibrary::DecodeStream(const std::vector<Frame>& frames) const {
    initDecoder();
    std::vector<std::int16_t> pcm;
    auto append = [&](const std::uint8_t* frame) {
        std::array<short, kBlockSamples> block{};
        decode(block.data(), frame);
        for (short s : block) pcm.push_back(static_cast<std::int16_t>(std::clamp(s * 4, -32768, 32767)));
    };
    for (const Frame& f : frames) {
        if (f.empty()) continue;
        if (IsSilenceRun(f[0]) && f.size() >= kSilenceFrameBytes) {
            for (unsigned n = SilenceRunBlocks(f[0], f[1]); n > 0; --n) append(kSilenceFrame);
        } else {
            append(f.data());
        }
    }
    return pcm;
}

}  // namespace murmex::codec::test
