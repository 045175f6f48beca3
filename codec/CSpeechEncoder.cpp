#include "CSpeechEncoder.h"

#include <codec2/codec2.h>
#include <opus/opus.h>

#include <algorithm>
#include <array>
#include <cstdlib>

#include "FramePacking.h"

namespace murmex::codec {

namespace {

// A block is silent when no sample, as handed over, is beyond this: the
// caller's floor division leaves -2..2 for anything within about -72 dBFS.
constexpr int kSilenceLevel = 2;

// Silent blocks needed before a silence frame may replace a codec frame: the
// block itself and as many before it as cover the codec's delay, so that the
// codec frames already sent carry the end of the sound in full.
constexpr unsigned kSpSilentBlocksNeeded = 2;  // Opus delays by 52 samples
constexpr unsigned kLpSilentBlocksNeeded = 3;  // codec2 by about 160 and smears

OpusEncoder* MakeOpusEncoder() {
    int error = OPUS_OK;
    OpusEncoder* e = opus_encoder_create(8000, 1, OPUS_APPLICATION_VOIP, &error);
    if (e == nullptr) return nullptr;
    // Hard CBR so that every packet has the same size; the samples (nominally
    // 7.2 kHz) are handed over as 8 kHz, 160 to a 20 ms frame.
    const bool ok = opus_encoder_ctl(e, OPUS_SET_VBR(0)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_BITRATE(static_cast<opus_int32>(kOpusPacketBytes * 400))) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_NARROWBAND)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_MAX_BANDWIDTH(OPUS_BANDWIDTH_NARROWBAND)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_DTX(0)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_INBAND_FEC(0)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_20_MS)) == OPUS_OK &&
                    opus_encoder_ctl(e, OPUS_SET_COMPLEXITY(kOpusComplexity)) == OPUS_OK;
    if (!ok) {
        opus_encoder_destroy(e);
        return nullptr;
    }
    return e;
}

std::size_t PutSilenceFrame(std::span<std::uint8_t, kMaxFrameBytes> out) {
    std::copy(std::begin(kSilenceFrame), std::end(kSilenceFrame), out.begin());
    return kSilenceFrameBytes;
}

}  // namespace

void CSpeechEncoder::OpusDeleter::operator()(OpusEncoder* e) const noexcept { opus_encoder_destroy(e); }
void CSpeechEncoder::Codec2Deleter::operator()(CODEC2* c) const noexcept { codec2_destroy(c); }

CSpeechEncoder::CSpeechEncoder() { Reset(); }

CSpeechEncoder::~CSpeechEncoder() = default;

void CSpeechEncoder::Reset() {
    if (!opus_ || opus_encoder_ctl(opus_.get(), OPUS_RESET_STATE) != OPUS_OK) opus_.reset(MakeOpusEncoder());
    // codec2 has no reset of its own.
    codec2_.reset(codec2_create(CODEC2_MODE_3200));
    // A fresh codec has only heard silence.
    silentBlocks_ = kLpSilentBlocksNeeded;
    inSilence_ = true;
}

std::size_t CSpeechEncoder::Encode(std::span<const std::int16_t, kBlockSamples> in,
                                   std::span<std::uint8_t, kMaxFrameBytes> out, int mode) {
    const bool lp = mode == kModeLp;
    const int gain = 1 << (lp ? kLpGainShift : kSpGainShift);
    std::array<std::int16_t, kBlockSamples> pcm;
    bool silent = true;
    for (std::size_t i = 0; i < kBlockSamples; ++i) {
        const int v = in[i];
        if (std::abs(v) > kSilenceLevel) silent = false;
        pcm[i] = static_cast<std::int16_t>(std::clamp(v * gain, -32768, 32767));
    }
    silentBlocks_ = silent ? std::min(silentBlocks_ + 1, kLpSilentBlocksNeeded) : 0;

    if (silentBlocks_ >= (lp ? kLpSilentBlocksNeeded : kSpSilentBlocksNeeded)) {
        // Opus starts afresh after each silent stretch, on both sides; what it
        // keeps would only describe silence. codec2 just pauses.
        if (!inSilence_ && opus_) (void)opus_encoder_ctl(opus_.get(), OPUS_RESET_STATE);
        inSilence_ = true;
        return PutSilenceFrame(out);
    }
    inSilence_ = false;
    return lp ? EncodeLp(pcm, out) : EncodeSp(pcm, out);
}

std::size_t CSpeechEncoder::EncodeSp(std::span<const std::int16_t, kBlockSamples> pcm,
                                     std::span<std::uint8_t, kMaxFrameBytes> out) {
    const auto frame = out.first<kSpFrameBytes>();
    if (!opus_) {
        PackLostSpFrame(frame);
        return kSpFrameBytes;
    }
    std::array<std::uint8_t, kOpusPacketBytes> packet{};
    const opus_int32 n = opus_encode(opus_.get(), pcm.data(), static_cast<int>(kBlockSamples), packet.data(),
                                     static_cast<opus_int32>(packet.size()));
    // Hard CBR gives exactly the size asked for; should a packet come out
    // shorter, Opus's own padding fills it (which turns it into code 3).
    const bool sized = n == static_cast<opus_int32>(kOpusPacketBytes) ||
                       (n > 0 && n < static_cast<opus_int32>(kOpusPacketBytes) &&
                        opus_packet_pad(packet.data(), n, static_cast<opus_int32>(kOpusPacketBytes)) == OPUS_OK);
    if (sized) PackSpFrame(packet, frame);
    else PackLostSpFrame(frame);
    return kSpFrameBytes;
}

std::size_t CSpeechEncoder::EncodeLp(std::span<std::int16_t, kBlockSamples> pcm,
                                     std::span<std::uint8_t, kMaxFrameBytes> out) {
    if (!codec2_) return PutSilenceFrame(out);
    std::array<std::uint8_t, kCodec2FrameBytes> bits{};
    codec2_encode(codec2_.get(), bits.data(), pcm.data());
    PackLpFrame(bits, out.first<kLpFrameBytes>());
    return kLpFrameBytes;
}

}  // namespace murmex::codec
