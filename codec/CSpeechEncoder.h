// The encoder behind vEncode: turns one block of 160 samples into one frame.
// SP blocks go through Opus (narrowband SILK at a fixed 24 bytes), LP blocks
// through codec2 3200; silent stretches become two-byte silence frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "TrcCodec.h"

struct OpusEncoder;
struct CODEC2;

namespace murmex::codec {

class CSpeechEncoder {
public:
    CSpeechEncoder();
    ~CSpeechEncoder();
    CSpeechEncoder(const CSpeechEncoder&) = delete;
    CSpeechEncoder& operator=(const CSpeechEncoder&) = delete;

    // Starts a new stream: both codecs as freshly made, silence behind.
    void Reset();

    // Mode 0 is LP, any other SP. Returns the frame length written to out
    // (2, 11 or 24).
    std::size_t Encode(std::span<const std::int16_t, kBlockSamples> in, std::span<std::uint8_t, kMaxFrameBytes> out,
                       int mode);

private:
    struct OpusDeleter {
        void operator()(OpusEncoder* e) const noexcept;
    };
    struct Codec2Deleter {
        void operator()(CODEC2* c) const noexcept;
    };

    std::size_t EncodeSp(std::span<const std::int16_t, kBlockSamples> pcm, std::span<std::uint8_t, kMaxFrameBytes> out);
    std::size_t EncodeLp(std::span<std::int16_t, kBlockSamples> pcm, std::span<std::uint8_t, kMaxFrameBytes> out);

    std::unique_ptr<OpusEncoder, OpusDeleter> opus_;
    std::unique_ptr<CODEC2, Codec2Deleter> codec2_;
    // Silent blocks in a row up to the current one (capped), and whether the
    // last frame out was a silence frame.
    unsigned silentBlocks_ = 0;
    bool inSilence_ = true;
};

}  // namespace murmex::codec
