#include "CSpeechDecoder.h"

#include <codec2/codec2.h>
#include <opus/opus.h>

#include <algorithm>
#include <array>

#include "FramePacking.h"

namespace murmex::codec {

namespace {

// Undoes the encoder's gain, rounding to nearest; callers multiply by 4 again
// with saturation.
template <int Shift>
void ScaleDown(std::span<const std::int16_t, kBlockSamples> pcm, std::span<std::int16_t, kBlockSamples> out) {
    for (std::size_t i = 0; i < kBlockSamples; ++i)
        out[i] = static_cast<std::int16_t>((pcm[i] + (1 << (Shift - 1))) >> Shift);
}

enum class FrameKind { Lp, Sp, Silent };

FrameKind KindOf(std::uint8_t byte0) {
    switch (FrameLength(byte0)) {
    case kLpFrameBytes: return FrameKind::Lp;
    case kSpFrameBytes: return FrameKind::Sp;
    // Silence runs, and the two classes our encoder never makes: recorder
    // frames that no codec but the recorder's own can read.
    default: return FrameKind::Silent;
    }
}

}  // namespace

void CSpeechDecoder::OpusDeleter::operator()(OpusDecoder* d) const noexcept { opus_decoder_destroy(d); }
void CSpeechDecoder::Codec2Deleter::operator()(CODEC2* c) const noexcept { codec2_destroy(c); }

CSpeechDecoder::CSpeechDecoder() { Reset(); }

CSpeechDecoder::~CSpeechDecoder() = default;

void CSpeechDecoder::Reset() {
    if (!opus_ || opus_decoder_ctl(opus_.get(), OPUS_RESET_STATE) != OPUS_OK) {
        int error = OPUS_OK;
        opus_.reset(opus_decoder_create(8000, 1, &error));
        if (error != OPUS_OK) opus_.reset();
    }
    codec2_.reset(codec2_create(CODEC2_MODE_3200));
    inSilence_ = true;
}

void CSpeechDecoder::Decode(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out) {
    switch (KindOf(frame[0])) {
    case FrameKind::Lp:
        inSilence_ = false;
        DecodeLp(frame, out);
        return;
    case FrameKind::Sp:
        inSilence_ = false;
        DecodeSp(frame, out);
        return;
    case FrameKind::Silent:
        // The encoder restarted Opus at the first silence frame; so do we.
        if (!inSilence_ && opus_) (void)opus_decoder_ctl(opus_.get(), OPUS_RESET_STATE);
        inSilence_ = true;
        std::fill(out.begin(), out.end(), 0);
        return;
    }
}

void CSpeechDecoder::DecodeSp(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out) {
    std::fill(out.begin(), out.end(), 0);
    if (!opus_) return;
    std::array<std::uint8_t, kOpusPacketBytes> packet{};
    std::array<std::int16_t, kBlockSamples> pcm{};
    constexpr int kSamples = static_cast<int>(kBlockSamples);
    const bool carried = UnpackSpFrame(std::span<const std::uint8_t, kSpFrameBytes>(frame, kSpFrameBytes), packet);
    int n = carried ? opus_decode(opus_.get(), packet.data(), static_cast<opus_int32>(packet.size()), pcm.data(),
                                  kSamples, 0)
                    : 0;
    // A frame that carries nothing, or bytes that are no packet of 160
    // samples (a damaged file, a recorder's own frame): conceal it as a lost
    // packet, which keeps the decoder's state going.
    if (n != kSamples) n = opus_decode(opus_.get(), nullptr, 0, pcm.data(), kSamples, 0);
    if (n == kSamples) ScaleDown<kSpGainShift>(pcm, out);
}

void CSpeechDecoder::DecodeLp(const std::uint8_t* frame, std::span<std::int16_t, kBlockSamples> out) {
    std::fill(out.begin(), out.end(), 0);
    if (!codec2_) return;
    std::array<std::uint8_t, kCodec2FrameBytes> bits{};
    std::array<std::int16_t, kBlockSamples> pcm{};
    UnpackLpFrame(std::span<const std::uint8_t, kLpFrameBytes>(frame, kLpFrameBytes), bits);
    codec2_decode(codec2_.get(), pcm.data(), bits.data());
    ScaleDown<kLpGainShift>(pcm, out);
}

}  // namespace murmex::codec
