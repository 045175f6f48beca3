// trc.dll loaded by name as the programs load it, driven through its four
// entry points with real speech: frame lengths, what survives of the speech,
// silent gaps, full scale, hostile frames, and dsp_trc.dll against trc.dll.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>
#include <numbers>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SpeechMetrics.h"
#include "TrcCodec.h"
#include "TrcHarness.h"

namespace murmex::codec::test {
namespace {

const std::vector<std::int16_t>& Speech() {
    static const std::vector<std::int16_t> speech = ReadMonoWav(MURMEX_FIXTURE_DIR "/speech-7221.wav");
    return speech;
}

std::size_t Blocks(std::size_t samples) { return (samples + kBlockSamples - 1) / kBlockSamples; }

bool IsSilenceFrame(const Frame& f) {
    return f.size() == kSilenceFrameBytes && f[0] == kSilenceFrame[0] && f[1] == kSilenceFrame[1];
}

std::size_t CountSilenceFrames(const std::vector<Frame>& frames, std::size_t from, std::size_t to) {
    return static_cast<std::size_t>(
        std::count_if(frames.begin() + static_cast<std::ptrdiff_t>(from), frames.begin() + static_cast<std::ptrdiff_t>(to), IsSilenceFrame));
}

class TrcTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        trc_ = std::make_unique<TrcLibrary>(TrcLibrary::Load("trc.dll", &error));
        loadError_ = error;
    }
    static void TearDownTestSuite() { trc_.reset(); }
    void SetUp() override {
        ASSERT_TRUE(trc_->module) << loadError_;
        ASSERT_TRUE(trc_->Complete());
        ASSERT_GT(Speech().size(), 5 * 7221u) << "speech fixture missing";
    }

    static const TrcLibrary& Trc() { return *trc_; }

private:
    static inline std::unique_ptr<TrcLibrary> trc_;
    static inline std::string loadError_;
};

TEST(TrcLibraryTest, BothModulesExportTheFourEntryPoints) {
    for (const char* name : {"trc.dll", "dsp_trc.dll"}) {
        std::string error;
        const TrcLibrary lib = TrcLibrary::Load(name, &error);
        ASSERT_TRUE(lib.module) << name << ": " << error;
        EXPECT_TRUE(lib.Complete()) << name;
    }
}

// ---------------------------------------------------------------------------
// Per mode: what the encoder emits and what comes back.

struct ModeCase {
    const char* name;
    int mode;
    std::size_t frameBytes;
    std::size_t delay;
    LagOf lagOf;            // SP keeps the waveform, LP only the envelope
    std::size_t lagSlack;
    double maxDistanceDb;   // floors well short of what the codecs reach
    double minCorrelation;
    // codec2 draws the phases of unvoiced sound from one random generator
    // per process, so LP decodes the same frames to the same envelope only.
    bool repeatableDecode;
};

// Measured on the fixture: SP 5.9 dB and 0.948, LP 8.7 dB and 0.852. Speech
// against other speech scores about 24 dB and 0.35, silence 55 dB and 0.
const ModeCase kModes[] = {
    {"SP", kModeSp, kSpFrameBytes, kSpDelaySamples, LagOf::Waveform, 0, 9.0, 0.85, true},
    {"LP", kModeLp, kLpFrameBytes, kLpDelaySamples, LagOf::Envelope, 32, 12.0, 0.75, false},
};

// Two decodings of the same frames: identical, or for LP the same envelope
// (they differ only in the random phases of unvoiced sound).
void ExpectSameSound(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b, bool exact) {
    ASSERT_EQ(a.size(), b.size());
    if (exact) {
        EXPECT_TRUE(a == b);
        return;
    }
    const SpectralMatch m = CompareSpectra(a, b, 0);
    EXPECT_LT(m.logSpectralDistanceDb, 2.0);
    EXPECT_GT(m.envelopeCorrelation, 0.97);
}

void PrintTo(const ModeCase& c, std::ostream* os) { *os << c.name; }

class TrcModeTest : public TrcTest, public ::testing::WithParamInterface<ModeCase> {};

INSTANTIATE_TEST_SUITE_P(Modes, TrcModeTest, ::testing::ValuesIn(kModes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(TrcModeTest, OneFrameOfTheModesLengthPerBlockOrASilenceFrame) {
    const ModeCase& c = GetParam();
    const auto frames = Trc().EncodeStream(Speech(), c.mode);
    ASSERT_EQ(frames.size(), Blocks(Speech().size()));
    std::size_t silent = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = frames[i];
        ASSERT_FALSE(f.empty()) << "block " << i;
        ASSERT_EQ(FrameLength(f[0]), f.size()) << "block " << i << ": class and length disagree";
        if (IsSilenceFrame(f)) ++silent;
        else ASSERT_EQ(f.size(), c.frameBytes) << "block " << i;
    }
    // The fixture's pauses are digital silence; they must come out as
    // silence frames, and the speech must not.
    EXPECT_GT(silent, 20u);
    EXPECT_LT(silent, frames.size() / 4);
}

TEST_P(TrcModeTest, DecodedSpeechKeepsTheSpectralEnvelope) {
    const ModeCase& c = GetParam();
    const auto decoded = Trc().DecodeStream(Trc().EncodeStream(Speech(), c.mode));
    ASSERT_EQ(decoded.size(), Blocks(Speech().size()) * kBlockSamples);

    const std::size_t lag = BestLag(Speech(), decoded, 400, c.lagOf);
    EXPECT_LE(lag, c.delay + c.lagSlack);
    EXPECT_GE(lag + c.lagSlack, c.delay);

    const SpectralMatch m = CompareSpectra(Speech(), decoded, c.delay);
    std::printf("[ %s ] log-spectral distance %.2f dB, envelope correlation %.3f over %zu frames, lag %zu\n", c.name,
                m.logSpectralDistanceDb, m.envelopeCorrelation, m.frames, lag);
    RecordProperty("log_spectral_distance_db", std::to_string(m.logSpectralDistanceDb));
    RecordProperty("envelope_correlation", std::to_string(m.envelopeCorrelation));
    ASSERT_GT(m.frames, 200u);
    EXPECT_LT(m.logSpectralDistanceDb, c.maxDistanceDb);
    EXPECT_GT(m.envelopeCorrelation, c.minCorrelation);
}

// Speech that stops dead in a loud stretch, a pause, more speech. The codec
// frames before the first silence frame must carry the whole of the first
// stretch, and nothing of it may come out after the pause.
TEST_P(TrcModeTest, SilentGapKeepsTheTailAndStartsCleanAfterwards) {
    const ModeCase& c = GetParam();
    const auto& speech = Speech();
    // Cut the first stretch at the end of the loudest block, on a block
    // boundary: the codec's delay then holds the loudest part.
    std::size_t loudest = 0;
    double loudestDb = -300;
    for (std::size_t at = 4000; at + kBlockSamples <= speech.size(); at += kBlockSamples) {
        const double db = RmsDbfs(speech, at, at + kBlockSamples);
        if (db > loudestDb) loudestDb = db, loudest = at;
    }
    const std::size_t lead = 8 * kBlockSamples, gap = 15 * kBlockSamples;
    const auto first = std::span(speech).subspan(loudest + kBlockSamples - 4000, 4000);
    // The second stretch 20 dB down, so that anything of the first that
    // comes out after the pause stands out.
    std::vector<std::int16_t> second(speech.begin() + static_cast<std::ptrdiff_t>(speech.size() / 2),
                                     speech.begin() + static_cast<std::ptrdiff_t>(speech.size() / 2 + 4000));
    for (auto& v : second) v = static_cast<std::int16_t>(v / 10);

    std::vector<std::int16_t> input(lead, 0);
    input.insert(input.end(), first.begin(), first.end());
    const std::size_t cut = input.size();
    input.resize(cut + gap, 0);
    const std::size_t resume = input.size();
    input.insert(input.end(), second.begin(), second.end());
    input.resize(input.size() + 1600, 0);

    const auto frames = Trc().EncodeStream(input, c.mode);
    EXPECT_GT(CountSilenceFrames(frames, cut / kBlockSamples + 3, resume / kBlockSamples), 8u);
    const auto decoded = Trc().DecodeStream(frames);

    // The last delay's worth of the first stretch comes out just after the cut.
    const double tailIn = RmsDbfs(input, cut - c.delay, cut);
    const double tailOut = RmsDbfs(decoded, cut, cut + c.delay);
    std::printf("[ %s ] tail %.1f dBFS in, %.1f dBFS out\n", c.name, tailIn, tailOut);
    EXPECT_GT(tailOut, tailIn - 6);

    // After the pause the codec starts as from silence: the second stretch
    // decodes as it does after nothing but silence.
    std::vector<std::int16_t> alone(lead, 0);
    alone.insert(alone.end(), second.begin(), second.end());
    alone.resize(alone.size() + 1600, 0);
    const auto aloneDecoded = Trc().DecodeStream(Trc().EncodeStream(alone, c.mode));
    const double resumeOut = RmsDbfs(decoded, resume, resume + c.delay);
    const double resumeAlone = RmsDbfs(aloneDecoded, lead, lead + c.delay);
    std::printf("[ %s ] start after the gap %.1f dBFS, after silence only %.1f dBFS\n", c.name, resumeOut, resumeAlone);
    EXPECT_LT(resumeOut, std::max(resumeAlone + 6, -60.0));
    if (c.repeatableDecode) {
        // Opus restarted on both sides: the very same samples.
        const auto tail = std::span(decoded).subspan(resume);
        const auto tailAlone = std::span(aloneDecoded).subspan(lead);
        ASSERT_EQ(tail.size(), tailAlone.size());
        EXPECT_TRUE(std::equal(tail.begin(), tail.end(), tailAlone.begin()));
    }
}

// Full-scale sound goes in divided by 4 and comes out multiplied by 4: it
// must neither wrap around nor lose or gain more than a few dB. codec2 is a
// model of voiced speech and does not keep a pure tone's level, so LP is held
// to the level of a full-scale buzz (harmonics of 150 Hz) only.
struct FullScaleCase {
    const char* name;
    int mode;
    std::size_t delay;
    double hz;      // a sine, or 0 for the buzz
};

std::vector<std::int16_t> FullScale(double hz) {
    std::vector<double> x(8000);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / 8000;
        if (hz > 0) {
            x[i] = std::sin(2 * std::numbers::pi * hz * t);
        } else {
            for (int h = 1; h <= 20; ++h) x[i] += std::sin(2 * std::numbers::pi * 150 * h * t + h * h) / h;
        }
    }
    const double peak = *std::max_element(x.begin(), x.end(), [](double a, double b) { return std::abs(a) < std::abs(b); });
    std::vector<std::int16_t> pcm(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) pcm[i] = static_cast<std::int16_t>(std::lround(32767 * x[i] / std::abs(peak)));
    return pcm;
}

int BiggestStep(std::span<const std::int16_t> x) {
    int biggest = 0;
    for (std::size_t i = 1; i < x.size(); ++i) biggest = std::max(biggest, std::abs(x[i] - x[i - 1]));
    return biggest;
}

void PrintTo(const FullScaleCase& c, std::ostream* os) { *os << c.name; }

class TrcFullScaleTest : public TrcTest, public ::testing::WithParamInterface<FullScaleCase> {};

// Sines away from 0.8-1.5 kHz: there SILK at this rate overshoots on any pure
// tone, whatever its level.
const FullScaleCase kFullScale[] = {
    {"SP_300Hz", kModeSp, kSpDelaySamples, 300},
    {"SP_2kHz", kModeSp, kSpDelaySamples, 2000},
    {"SP_buzz", kModeSp, kSpDelaySamples, 0},
    {"LP_buzz", kModeLp, kLpDelaySamples, 0},
};

INSTANTIATE_TEST_SUITE_P(Signals, TrcFullScaleTest, ::testing::ValuesIn(kFullScale),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(TrcFullScaleTest, SurvivesTheRoundTrip) {
    const FullScaleCase& c = GetParam();
    const auto input = FullScale(c.hz);
    const auto decoded = Trc().DecodeStream(Trc().EncodeStream(input, c.mode));
    // Skip the codec's start; compare the steady part.
    const std::size_t from = 1600, to = input.size() - 400;
    const double in = RmsDbfs(input, from, to);
    const double out = RmsDbfs(decoded, from + c.delay, to + c.delay);
    const int stepIn = BiggestStep(std::span(input).subspan(from, to - from));
    const int stepOut = BiggestStep(std::span(decoded).subspan(from + c.delay, to - from));
    std::printf("[ %s ] %.1f dBFS in, %.1f dBFS out; biggest step %d in, %d out\n", c.name, in, out, stepIn, stepOut);
    EXPECT_NEAR(out, in, 3.0);
    // A wrap jumps from one rail to the other; even a 2 kHz full-scale sine
    // (4 samples a period) steps by 32767 only, and codecs that do not keep
    // the phase add their own peaks.
    EXPECT_LT(stepOut, 49152);
}

// ---------------------------------------------------------------------------
// Frames from elsewhere: a recorder's own, a damaged file, random bytes.

TEST_F(TrcTest, DecodesAnyBytesOfEveryClass) {
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<int> byte(0, 255);
    Trc().initDecoder();
    for (int round = 0; round < 3000; ++round) {
        // Every class, in random order, each frame in a buffer of exactly its
        // length so that a read past the end shows. Every other frame keeps
        // the low bits of byte 0 to the two that SP frames use, so that
        // random bytes reach the Opus decoder and not only concealment.
        const auto cls = static_cast<std::uint8_t>(round < 800 ? round % 8 : byte(rng) >> 5);
        const auto b0 = static_cast<std::uint8_t>((cls << 5) | (byte(rng) & (round % 2 ? 0x03 : 0x1F)));
        std::vector<std::uint8_t> frame(FrameLength(b0));
        frame[0] = b0;
        for (std::size_t i = 1; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(byte(rng));
        std::array<short, kBlockSamples> out;
        out.fill(0x7777);
        Trc().decode(out.data(), frame.data());
        if (frame.size() != kLpFrameBytes && frame.size() != kSpFrameBytes) {
            ASSERT_TRUE(std::all_of(out.begin(), out.end(), [](short s) { return s == 0; }))
                << "class " << int(cls) << " must decode to silence";
        }
    }
}

TEST_F(TrcTest, DspTrcDecodesLikeTrc) {
    std::string error;
    const TrcLibrary dsp = TrcLibrary::Load("dsp_trc.dll", &error);
    ASSERT_TRUE(dsp.module) << error;
    ASSERT_TRUE(dsp.Complete());
    for (const ModeCase& c : kModes) {
        SCOPED_TRACE(c.name);
        const auto frames = Trc().EncodeStream(Speech(), c.mode);
        ExpectSameSound(dsp.DecodeStream(frames), Trc().DecodeStream(frames), c.repeatableDecode);
    }
}

}  // namespace
}  // namespace murmex::codec::test
