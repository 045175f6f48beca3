// The decoder behind vDecode: turns one frame into 160 samples. It mirrors the
// encoder's state changes (the Opus reset at the start of a silent stretch)
// so that both sides stay in step; frames of classes the encoder never makes
// decode as silence.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "TrcCodec.h"

struct OpusDecoder;
struct CODEC2;

namespace murmex::codec {

class CSpeechDecoder {
public:
    CSpeechDecoder();
    ~CSpeechDecoder();
    CSpeechDecoder(const CSpeechDecoder&) = delete;
    CSpeechDecoder& operator=(const CSpeechDecoder&) = delete;

    void Reset();

    // frame holds at least FrameLength(frame[0]) bytes. A silence-run frame
    // stands for one silent block here, whatever its count: the caller walks
    // runs and hands over the fixed silence frame once per block.
    void Decode(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out);

private:
    struct OpusDeleter {
        void operator()(OpusDecoder* d) const noexcept;
    };
    struct Codec2Deleter {
        void operator()(CODEC2* c) const noexcept;
    };

    void DecodeSp(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out);
    void DecodeLp(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out);

    std::unique_ptr<OpusDecoder, OpusDeleter> opus_;
    std::unique_ptr<CODEC2, Codec2Deleter> codec2_;
    bool inSilence_ = true;
};

}  // namespace murmex::codec
