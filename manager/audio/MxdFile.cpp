#include "MxdFile.h"

#include <algorithm>
#include <cstring>

namespace murmex {

namespace {
constexpr const char* kMagics[8] = {"MXDS", "MXDL", "MXAS", "MXAL", nullptr, nullptr, "MXTS", "MXTL"};
}

std::optional<int> TypeCodeForMagic(std::span<const std::uint8_t> magic) {
    if (magic.size() < 4) return std::nullopt;
    for (int code = 0; code < 8; ++code)
        if (kMagics[code] && std::memcmp(magic.data(), kMagics[code], 4) == 0) return code;
    return std::nullopt;
}

std::string MagicForMode(int mode) { return mode == 0 ? "MXDL" : "MXDS"; }

std::uint32_t FrameLength(std::uint8_t first) {
    switch (first >> 5) {
        case 0: case 1: return 11;
        case 2: case 3: return 18;
        case 4: case 5: return 24;
        case 6: return 4;
        default: return 2;
    }
}

bool IsSilenceRun(std::uint8_t first) { return (first >> 5) == 7; }

std::uint32_t SilenceRunFrames(std::uint8_t first, std::uint8_t second) {
    // The multiplier is 16, not 256: the low bits of both bytes overlap.
    return (first - 0xE0u) * 16u + second + 1u;
}

std::optional<FrameStep> FrameWalker::Next() {
    if (at_ >= data_.size()) return std::nullopt;
    const std::uint8_t first = data_[at_];
    const std::uint32_t left = static_cast<std::uint32_t>(data_.size() - at_);
    FrameStep step{at_, std::min(FrameLength(first), left), 1, IsSilenceRun(first)};
    if (step.silenceRun && left >= 2) step.frames = SilenceRunFrames(first, data_[at_ + 1]);
    at_ += step.length;
    return step;
}

std::uint64_t DurationSamples(std::span<const std::uint8_t> frameData) {
    std::uint64_t frames = 0;
    FrameWalker walk(frameData);
    while (const auto step = walk.Next()) frames += step->frames;
    return frames * kSamplesPerFrame;
}

std::uint32_t SeekByPcmPosition(std::span<const std::uint8_t> frameData, std::uint64_t target) {
    std::uint64_t pcm = 0;
    FrameWalker walk(frameData);
    while (const auto step = walk.Next()) {
        if (step->silenceRun) {
            pcm += std::uint64_t{step->frames} * kPcmBytesPerFrame;
            continue;
        }
        if (pcm + kPcmBytesPerFrame > target) return step->offset;
        pcm += kPcmBytesPerFrame;
    }
    return static_cast<std::uint32_t>(frameData.size());
}

}  // namespace murmex
