// MXD files: a four-byte magic naming the type code, then the speech codec's
// frames back to back. The frame walk here (frame lengths by class, silence
// runs) is shared by every decoder, the duration count and seeking.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace murmex {

inline constexpr std::uint32_t kMxdMagicBytes = 4;
inline constexpr std::uint32_t kSamplesPerFrame = 160;
inline constexpr std::uint32_t kPcmBytesPerFrame = 320;
inline constexpr std::uint32_t kLargestFrame = 24;

// "MXDS" 0, "MXDL" 1, "MXAS" 2, "MXAL" 3, "MXTS" 6, "MXTL" 7; nothing for any other.
std::optional<int> TypeCodeForMagic(std::span<const std::uint8_t> magic);
std::string MagicForMode(int mode);  // mode 2 (SP) "MXDS", 0 (LP) "MXDL"

// Total length of the frame that starts with this byte: 11, 18, 24, 4 or 2.
std::uint32_t FrameLength(std::uint8_t first);
bool IsSilenceRun(std::uint8_t first);
// Silent frames a run stands for: (byte0 - 0xE0) × 16 + byte1 + 1, 1 to 752.
std::uint32_t SilenceRunFrames(std::uint8_t first, std::uint8_t second);

// One step of the walk over frame data. A frame cut short by the end of the
// data reports the bytes that are there; a silence run cut after its first
// byte counts as one silent frame.
struct FrameStep {
    std::uint32_t offset;
    std::uint32_t length;      // bytes this frame occupies in the data
    std::uint32_t frames;      // 160-sample frames it stands for
    bool silenceRun;
};

class FrameWalker {
public:
    explicit FrameWalker(std::span<const std::uint8_t> frameData) : data_(frameData) {}
    std::optional<FrameStep> Next();

private:
    std::span<const std::uint8_t> data_;
    std::uint32_t at_ = 0;
};

// Samples the frame data decodes to.
std::uint64_t DurationSamples(std::span<const std::uint8_t> frameData);
// Offset of the frame at which PCM byte `target` lies: the first frame where
// the running count plus 320 would pass it; silence runs are passed whole.
std::uint32_t SeekByPcmPosition(std::span<const std::uint8_t> frameData, std::uint64_t target);

}  // namespace murmex
