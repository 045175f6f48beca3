// The four entry points of trc.dll (and dsp_trc.dll). The library keeps one
// encoder and one decoder per process, as every caller expects; they are made
// on first use and go away when the library is unloaded.
#include <cstdint>
#include <span>
#include <type_traits>

#include "CSpeechDecoder.h"
#include "CSpeechEncoder.h"
#include "TrcCodec.h"

namespace {

using murmex::codec::CSpeechDecoder;
using murmex::codec::CSpeechEncoder;
using murmex::codec::kBlockSamples;
using murmex::codec::kMaxFrameBytes;

CSpeechEncoder& Encoder() {
    static CSpeechEncoder encoder;
    return encoder;
}

CSpeechDecoder& Decoder() {
    static CSpeechDecoder decoder;
    return decoder;
}

}  // namespace

#define TRC_EXPORT extern "C" __attribute__((visibility("default")))

TRC_EXPORT void vInitDecoder() { Decoder().Reset(); }

TRC_EXPORT void vInitEncoder() { Encoder().Reset(); }

TRC_EXPORT void vDecode(short* out160, const unsigned char* frame) {
    if (out160 == nullptr || frame == nullptr) return;
    Decoder().Decode(frame, std::span<std::int16_t, kBlockSamples>(out160, kBlockSamples));
}

// The fourth argument is always 0 and has no meaning here.
TRC_EXPORT int vEncode(const short* in160, unsigned char* out, int mode, int /*reserved*/) {
    if (in160 == nullptr || out == nullptr) return 0;
    return static_cast<int>(Encoder().Encode(std::span<const std::int16_t, kBlockSamples>(in160, kBlockSamples),
                                             std::span<std::uint8_t, kMaxFrameBytes>(out, kMaxFrameBytes), mode));
}

static_assert(std::is_same_v<decltype(vInitDecoder), murmex::codec::InitDecoderFn>);
static_assert(std::is_same_v<decltype(vInitEncoder), murmex::codec::InitEncoderFn>);
static_assert(std::is_same_v<decltype(vDecode), murmex::codec::DecodeFn>);
static_assert(std::is_same_v<decltype(vEncode), murmex::codec::EncodeFn>);
