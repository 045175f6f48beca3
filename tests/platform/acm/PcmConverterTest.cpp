// The PCM converter against sox: rate changes (sox's resampler with dither
// off), widening, down-mixing, and the formats it leaves alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "AcmTestSupport.h"
#include "ByteOrder.h"

namespace murmex::acm::test {
namespace {

class PcmAgainstSox : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    }

    // sox's version of a conversion of in.wav, read back.
    Wav SoxConvert(const std::string& args) {
        const std::string out = (dir_ / "sox-out.wav").string();
        EXPECT_TRUE(Sox("-D " + (dir_ / "in.wav").string() + " " + args + " " + out));
        return ReadWav(out);
    }

    ScratchDir dir_;
};

struct RateCase {
    const char* name;
    std::uint32_t inRate;
    std::uint16_t inBits, inChannels;
    std::uint32_t outRate;
    std::uint16_t outBits, outChannels;
    double minSnrDb;
};

void PrintTo(const RateCase& c, std::ostream* os) { *os << c.name; }

class Resampling : public PcmAgainstSox, public ::testing::WithParamInterface<RateCase> {};

TEST_P(Resampling, MatchesSox) {
    const RateCase& c = GetParam();
    const WaveFormat in16 = WaveFormat::Pcm(c.inRate, 16, c.inChannels);
    WriteWav(dir_ / "in16.wav", in16, Bytes16(SpeechLike(c.inRate, 2.0, c.inChannels)));
    // The input in its own width, made by sox so both sides read the same bytes.
    ASSERT_TRUE(Sox("-D " + (dir_ / "in16.wav").string() + " -b " + std::to_string(c.inBits) + " " +
                    (dir_ / "in.wav").string()));
    const Wav in = ReadWav(dir_ / "in.wav");
    ASSERT_EQ(in.format.bitsPerSample, c.inBits);

    const WaveFormat target = WaveFormat::Pcm(c.outRate, c.outBits, c.outChannels);
    MmResult code = ~0u;
    const auto ours = Convert(in.format, target, in.data, &code);
    ASSERT_EQ(code, MMSYSERR_NOERROR);
    const Wav sox = SoxConvert("-r " + std::to_string(c.outRate) + " -c " + std::to_string(c.outChannels) + " -b " +
                               std::to_string(c.outBits));
    ASSERT_EQ(sox.format.samplesPerSec, c.outRate);
    EXPECT_EQ(ours.size(), sox.data.size()) << "the same length, to the frame";

    auto widen = [&](const std::vector<std::uint8_t>& bytes) {
        if (c.outBits == 16) return Samples16(bytes);
        std::vector<std::int16_t> s;
        for (std::uint8_t b : bytes) s.push_back(static_cast<std::int16_t>((b - 128) * 256));
        return s;
    };
    const double snr = SnrDb(widen(sox.data), widen(ours));
    std::printf("[ acm ] PCM %s: against sox's rate, SNR %.1f dB\n", c.name, snr);
    EXPECT_GE(snr, c.minSnrDb);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, Resampling,
    ::testing::Values(RateCase{"44100_stereo_to_7221_mono", 44100, 16, 2, 7221, 16, 1, 70},
                      RateCase{"8000_mono_to_22050_stereo", 8000, 16, 1, 22050, 16, 2, 70},
                      RateCase{"48000_8bit_stereo_to_7224_mono", 48000, 8, 2, 7224, 16, 1, 70},
                      RateCase{"11025_mono_to_8000_8bit", 11025, 16, 1, 8000, 8, 1, 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PcmAgainstSox, EightBitAtTheVoiceRateWidensExactly) {
    WriteWav(dir_ / "in16.wav", WaveFormat::Pcm(7221, 16, 1), Bytes16(SpeechLike(7221, 1.0, 1)));
    ASSERT_TRUE(Sox("-D " + (dir_ / "in16.wav").string() + " -b 8 -e unsigned " + (dir_ / "in.wav").string()));
    const Wav in = ReadWav(dir_ / "in.wav");
    ASSERT_EQ(in.format, WaveFormat::Pcm(7221, 8, 1));
    MmResult code = ~0u;
    const auto ours = Convert(in.format, WaveFormat::Pcm(7221, 16, 1), in.data, &code);
    ASSERT_EQ(code, MMSYSERR_NOERROR);
    EXPECT_EQ(ours, SoxConvert("-b 16 -e signed-integer").data);
    ASSERT_EQ(ours.size(), 2 * in.data.size());
    EXPECT_EQ(static_cast<std::int16_t>(ReadLE16(ours, 0)), (in.data[0] - 128) * 256);
}

// Channel i goes to output i mod the output count, averaged: for four
// channels that is front and back of each side, as sox mixes them.
TEST_F(PcmAgainstSox, FourChannelsMixDownAsSox) {
    WriteWav(dir_ / "in.wav", WaveFormat::Pcm(16000, 16, 4), Bytes16(SpeechLike(16000, 1.0, 4)));
    const Wav in = ReadWav(dir_ / "in.wav");
    for (std::uint16_t channels : {1, 2}) {
        SCOPED_TRACE(channels);
        MmResult code = ~0u;
        const auto ours = Samples16(Convert(in.format, WaveFormat::Pcm(16000, 16, channels), in.data, &code));
        ASSERT_EQ(code, MMSYSERR_NOERROR);
        const auto sox = Samples16(SoxConvert("-c " + std::to_string(channels)).data);
        ASSERT_EQ(ours.size(), sox.size());
        const Difference d = Compare(ours, sox);
        std::printf("[ acm ] PCM 4 channels to %u: max %d, mean %.3f against sox\n", channels, d.max, d.mean);
        EXPECT_LE(d.max, 1);  // rounding of the average
    }
}

// Nothing to change: the very bytes come out, whatever the shape.
TEST(PcmConverter, SameFormatPassesByteForByte) {
    for (const WaveFormat& f : {WaveFormat::Pcm(7221, 16, 1), WaveFormat::Pcm(44100, 8, 2), WaveFormat::Pcm(22050, 16, 4)}) {
        SCOPED_TRACE(f.samplesPerSec);
        std::vector<std::uint8_t> data(f.blockAlign * 1000 + 1);  // and half a frame that is not used
        for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7919 >> 3);
        StreamHandle stream = 0;
        ASSERT_EQ(acmStreamOpen(stream, 0, f, f), MMSYSERR_NOERROR);
        std::vector<std::uint8_t> out(data.size());
        StreamHeader h{data, 0, out, 0};
        ASSERT_EQ(acmStreamPrepareHeader(stream, h), MMSYSERR_NOERROR);
        ASSERT_EQ(acmStreamConvert(stream, h), MMSYSERR_NOERROR);
        EXPECT_EQ(h.sourceUsed, data.size() - (f.blockAlign > 1 ? 1 : 0));
        ASSERT_EQ(h.destinationUsed, h.sourceUsed);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + h.destinationUsed, data.begin()));
        EXPECT_EQ(acmStreamUnprepareHeader(stream, h), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamClose(stream), MMSYSERR_NOERROR);
    }
}

// A mono sound made stereo has the same samples on both sides; a stereo
// sound with the same on both sides comes back as it was.
TEST(PcmConverter, MonoToStereoAndBack) {
    const auto mono = Bytes16(SpeechLike(8000, 0.5, 1));
    const auto stereo = Convert(WaveFormat::Pcm(8000, 16, 1), WaveFormat::Pcm(8000, 16, 2), mono);
    ASSERT_EQ(stereo.size(), 2 * mono.size());
    for (std::size_t i = 0; i < mono.size() / 2; ++i) {
        ASSERT_EQ(ReadLE16(stereo, 4 * i), ReadLE16(mono, 2 * i));
        ASSERT_EQ(ReadLE16(stereo, 4 * i + 2), ReadLE16(mono, 2 * i));
    }
    EXPECT_EQ(Convert(WaveFormat::Pcm(8000, 16, 2), WaveFormat::Pcm(8000, 16, 1), stereo), mono);
}

}  // namespace
}  // namespace murmex::acm::test
