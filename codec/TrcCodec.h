// The speech codec library "trc.dll" as its users see it: the four entry
// points looked up by name, the frame classes of an MXD frame stream and the
// PCM block they stand for. Header-only, so the programs, the tests and the
// fuzz targets share one definition of the frame walk.
#pragma once

#include <cstddef>
#include <cstdint>

namespace murmex::codec {

// Names looked up after loading, and their signatures.
inline constexpr const char* kInitDecoderName = "vInitDecoder";
inline constexpr const char* kInitEncoderName = "vInitEncoder";
inline constexpr const char* kDecodeName = "vDecode";
inline constexpr const char* kEncodeName = "vEncode";

using InitDecoderFn = void();
using InitEncoderFn = void();
using DecodeFn = void(short* out160, const unsigned char* frame);
using EncodeFn = int(const short* in160, unsigned char* out, int mode, int reserved);

// One frame always stands for one block of 160 samples (a silence run for N).
inline constexpr std::size_t kBlockSamples = 160;
inline constexpr std::size_t kMaxFrameBytes = 24;

// Encoder modes.
inline constexpr int kModeLp = 0;
inline constexpr int kModeSp = 2;

// Frame lengths per class (bits 7-5 of byte 0).
inline constexpr std::size_t kLpFrameBytes = 11;       // 000, 001
inline constexpr std::size_t kMidFrameBytes = 18;      // 010, 011
inline constexpr std::size_t kSpFrameBytes = 24;       // 100, 101
inline constexpr std::size_t kShortFrameBytes = 4;     // 110
inline constexpr std::size_t kSilenceFrameBytes = 2;   // 111

// The fixed frame handed to the decoder for each silent block of a run.
inline constexpr std::uint8_t kSilenceFrame[kSilenceFrameBytes] = {0xE0, 0x00};

inline constexpr std::size_t FrameLength(std::uint8_t byte0) {
    constexpr std::size_t kByClass[8] = {kLpFrameBytes,  kLpFrameBytes,    kMidFrameBytes,   kMidFrameBytes,
                                         kSpFrameBytes, kSpFrameBytes, kShortFrameBytes, kSilenceFrameBytes};
    return kByClass[byte0 >> 5];
}

inline constexpr bool IsSilenceRun(std::uint8_t byte0) { return (byte0 & 0xE0) == 0xE0; }

// Silent blocks in a run frame: 1 to 752. The low five bits of byte 0 count
// sixteens, not 256s, so they overlap the high half of byte 1.
inline constexpr unsigned SilenceRunBlocks(std::uint8_t byte0, std::uint8_t byte1) {
    return (byte0 - 0xE0u) * 16u + byte1 + 1u;
}

// How far the decoded sound lags the encoded sound, in samples; the library
// leaves it as it is. A frame still stands for exactly 160 samples: decoded
// sound starts with this much silence, and the end of the input that falls
// within the delay is not in the stream. codec2 keeps no waveform, so for LP
// only the envelope lines up, about this far behind.
inline constexpr std::size_t kSpDelaySamples = 52;
inline constexpr std::size_t kLpDelaySamples = 160;

}  // namespace murmex::codec
