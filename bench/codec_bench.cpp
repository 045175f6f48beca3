// Speed of trc.dll against the bare codecs it carries, in one run: an hour of
// speech (the test fixture over and over) encoded in SP and LP through the
// library's entry points, loaded by name as the programs do, and decoded
// back; beside each, libopus or codec2 doing the bare encode or decode of the
// same samples with the same settings. Prints realtime factors (audio at the
// nominal 7221 Hz over thread CPU time, wall time beside it) and the ratio.
//
//   codec_bench [SECONDS_OF_AUDIO] [FIXTURE.wav]
#include <codec2/codec2.h>
#include <opus/opus.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "FramePacking.h"
#include "Module.h"
#include "TrcCodec.h"

namespace {

using namespace murmex;
using namespace murmex::codec;

constexpr double kRate = 7221;
using Block = std::array<short, kBlockSamples>;

std::vector<Block> ReadBlocks(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<Block> blocks;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::size_t size = std::min<std::size_t>(ReadLE32(b, at + 4), b.size() - at - 8);
        if (std::equal(b.begin() + at, b.begin() + at + 4, "data")) {
            for (std::size_t i = 0; i + 2 * kBlockSamples <= size; i += 2 * kBlockSamples) {
                Block block;
                for (std::size_t k = 0; k < kBlockSamples; ++k)
                    block[k] = static_cast<short>(ReadLE16(b, at + 8 + i + 2 * k));
                blocks.push_back(block);
            }
            break;
        }
        at += 8 + size + (size & 1);
    }
    return blocks;
}

struct Clock {
    double cpu = 0, wall = 0;
    static Clock Now() {
        timespec ts{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        return {static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9,
                std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count()};
    }
    Clock operator-(const Clock& o) const { return {cpu - o.cpu, wall - o.wall}; }
};

struct Row {
    const char* what;
    Clock ours, peer;
};

// Keeps the decoded samples from being optimised away.
std::uint64_t g_sink = 0;

void Sink(const Block& pcm) {
    for (short s : pcm) g_sink = g_sink * 31 + static_cast<std::uint16_t>(s);
}

OpusEncoder* PeerOpusEncoder() {
    int error = 0;
    OpusEncoder* e = opus_encoder_create(8000, 1, OPUS_APPLICATION_VOIP, &error);
    if (e == nullptr) return nullptr;
    opus_encoder_ctl(e, OPUS_SET_VBR(0));
    opus_encoder_ctl(e, OPUS_SET_BITRATE(static_cast<opus_int32>(kOpusPacketBytes * 400)));
    opus_encoder_ctl(e, OPUS_SET_BANDWIDTH(OPUS_BANDWIDTH_NARROWBAND));
    opus_encoder_ctl(e, OPUS_SET_MAX_BANDWIDTH(OPUS_BANDWIDTH_NARROWBAND));
    opus_encoder_ctl(e, OPUS_SET_SIGNAL(OPUS_SIGNAL_VOICE));
    opus_encoder_ctl(e, OPUS_SET_DTX(0));
    opus_encoder_ctl(e, OPUS_SET_INBAND_FEC(0));
    opus_encoder_ctl(e, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_20_MS));
    opus_encoder_ctl(e, OPUS_SET_COMPLEXITY(kOpusComplexity));
    return e;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3600;
    const std::string fixture = argc > 2 ? argv[2] : MURMEX_FIXTURE_DIR "/speech-7221.wav";
    const std::vector<Block> speech = ReadBlocks(fixture);
    if (speech.empty() || seconds <= 0) {
        std::fprintf(stderr, "no speech in %s\n", fixture.c_str());
        return 2;
    }
    std::string error;
    const platform::Module trc = platform::Module::Load("trc.dll", &error);
    auto* initDecoder = trc.Function<InitDecoderFn>(kInitDecoderName);
    auto* initEncoder = trc.Function<InitEncoderFn>(kInitEncoderName);
    auto* decode = trc.Function<DecodeFn>(kDecodeName);
    auto* encode = trc.Function<EncodeFn>(kEncodeName);
    if (!trc || !initDecoder || !initEncoder || !decode || !encode) {
        std::fprintf(stderr, "trc.dll: %s\n", trc ? "entry points missing" : error.c_str());
        return 2;
    }

    const std::size_t blocks = static_cast<std::size_t>(seconds * kRate / kBlockSamples);
    const double audio = static_cast<double>(blocks * kBlockSamples) / kRate;
    // What callers hand the library (divided by 4), and what the library
    // hands each codec: the peers get exactly that.
    std::vector<Block> quarter(speech), sp(speech), lp(speech);
    for (std::size_t b = 0; b < speech.size(); ++b) {
        for (std::size_t i = 0; i < kBlockSamples; ++i) {
            quarter[b][i] = static_cast<short>(speech[b][i] >> 2);
            sp[b][i] = static_cast<short>(quarter[b][i] * (1 << kSpGainShift));
            lp[b][i] = static_cast<short>(quarter[b][i] * (1 << kLpGainShift));
        }
    }
    std::printf("codec_bench: %.0f s of speech (%zu blocks, fixture looped), thread CPU time; wall time in brackets\n",
                audio, blocks);

    std::vector<Row> rows;
    for (const int mode : {kModeSp, kModeLp}) {
        const bool isSp = mode == kModeSp;
        // Ours: encode.
        std::vector<std::uint8_t> stream;
        stream.reserve(blocks * (isSp ? kSpFrameBytes : kLpFrameBytes));
        std::size_t silent = 0;
        Clock t0 = Clock::Now();
        initEncoder();
        for (std::size_t b = 0; b < blocks; ++b) {
            std::array<unsigned char, kMaxFrameBytes> frame;
            const int n = encode(quarter[b % quarter.size()].data(), frame.data(), mode, 0);
            silent += n == static_cast<int>(kSilenceFrameBytes);
            stream.insert(stream.end(), frame.begin(), frame.begin() + n);
        }
        const Clock oursEncode = Clock::Now() - t0;

        // Peer: encode.
        std::vector<std::vector<std::uint8_t>> packets;
        packets.reserve(blocks);
        Clock peerEncode;
        if (isSp) {
            OpusEncoder* e = PeerOpusEncoder();
            t0 = Clock::Now();
            for (std::size_t b = 0; b < blocks; ++b) {
                std::array<unsigned char, kOpusPacketBytes> packet;
                const int n = opus_encode(e, sp[b % sp.size()].data(), static_cast<int>(kBlockSamples), packet.data(),
                                          static_cast<opus_int32>(packet.size()));
                packets.emplace_back(packet.begin(), packet.begin() + std::max(n, 0));
            }
            peerEncode = Clock::Now() - t0;
            opus_encoder_destroy(e);
        } else {
            CODEC2* c = codec2_create(CODEC2_MODE_3200);
            t0 = Clock::Now();
            for (std::size_t b = 0; b < blocks; ++b) {
                std::array<unsigned char, kCodec2FrameBytes> bits;
                codec2_encode(c, bits.data(), lp[b % lp.size()].data());
                packets.emplace_back(bits.begin(), bits.end());
            }
            peerEncode = Clock::Now() - t0;
            codec2_destroy(c);
        }

        // Ours: decode the stream as a player walks it.
        t0 = Clock::Now();
        initDecoder();
        for (std::size_t at = 0; at < stream.size();) {
            Block pcm;
            const std::uint8_t b0 = stream[at];
            const unsigned n = IsSilenceRun(b0) ? SilenceRunBlocks(b0, stream[at + 1]) : 1;
            for (unsigned i = 0; i < n; ++i) {
                decode(pcm.data(), IsSilenceRun(b0) ? kSilenceFrame : &stream[at]);
                Sink(pcm);
            }
            at += FrameLength(b0);
        }
        const Clock oursDecode = Clock::Now() - t0;

        // Peer: decode.
        Clock peerDecode;
        if (isSp) {
            int err = 0;
            OpusDecoder* d = opus_decoder_create(8000, 1, &err);
            t0 = Clock::Now();
            for (const auto& p : packets) {
                Block pcm;
                if (opus_decode(d, p.data(), static_cast<opus_int32>(p.size()), pcm.data(), static_cast<int>(kBlockSamples),
                                0) > 0)
                    Sink(pcm);
            }
            peerDecode = Clock::Now() - t0;
            opus_decoder_destroy(d);
        } else {
            CODEC2* c = codec2_create(CODEC2_MODE_3200);
            t0 = Clock::Now();
            for (const auto& p : packets) {
                Block pcm;
                codec2_decode(c, pcm.data(), p.data());
                Sink(pcm);
            }
            peerDecode = Clock::Now() - t0;
            codec2_destroy(c);
        }
        std::printf("%s: %zu bytes (%.0f bytes/s), %zu of %zu blocks silence frames\n", isSp ? "SP" : "LP",
                    stream.size(), static_cast<double>(stream.size()) / audio, silent, blocks);
        rows.push_back({isSp ? "SP encode" : "LP encode", oursEncode, peerEncode});
        rows.push_back({isSp ? "SP decode" : "LP decode", oursDecode, peerDecode});
    }

    std::printf("\n%-10s %24s %30s %14s\n", "", "trc.dll (x realtime)", "bare libopus/codec2 (x realtime)",
                "speed vs peer");
    for (const Row& r : rows) {
        std::printf("%-10s %12.0f [%9.0f] %18.0f [%9.0f] %9.2f [%5.2f]\n", r.what, audio / r.ours.cpu, audio / r.ours.wall,
                    audio / r.peer.cpu, audio / r.peer.wall, r.peer.cpu / r.ours.cpu, r.peer.wall / r.ours.wall);
    }
    std::printf("(checksum %016llx)\n", static_cast<unsigned long long>(g_sink));
    return 0;
}
