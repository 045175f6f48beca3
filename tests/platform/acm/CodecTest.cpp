// The codec drivers against sox: files sox writes in each format are
// opened with exactly the record they carry and decoded as sox decodes them;
// what our encoders write, sox decodes as we do, and it sounds about as good
// as what sox's own encoders make.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "AcmTestSupport.h"

namespace murmex::acm::test {
namespace {

struct CodecCase {
    const char* name;
    const char* soxEncoding;  // sox's arguments for the coded file
    std::uint16_t tag;
    std::uint16_t channels;
    int maxError;  // our decode against sox's, in 16-bit steps
    double minSnrDb;  // our encode and decode against the input
};

void PrintTo(const CodecCase& c, std::ostream* os) { *os << c.name; }

class CodecAgainstSox : public ::testing::TestWithParam<CodecCase> {
protected:
    void SetUp() override {
        if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
        const CodecCase& c = GetParam();
        input_ = SpeechLike(kRate, 3.0, c.channels);
        WriteWav(dir_ / "in.wav", WaveFormat::Pcm(kRate, 16, c.channels), Bytes16(input_));
    }

    // sox's decoding of a coded file.
    std::vector<std::int16_t> SoxDecode(const std::string& coded) {
        const std::string out = (dir_ / (coded + ".pcm.wav")).string();
        EXPECT_TRUE(Sox((dir_ / coded).string() + " -e signed-integer -b 16 " + out));
        const Wav wav = ReadWav(out);
        EXPECT_TRUE(wav.format.IsPcm());
        return Samples16(wav.data);
    }

    std::vector<std::int16_t> OurDecode(const Wav& coded) {
        MmResult code = ~0u;
        const auto pcm = Convert(coded.format, WaveFormat::Pcm(coded.format.samplesPerSec, 16, coded.format.channels),
                                 coded.data, &code);
        EXPECT_EQ(code, MMSYSERR_NOERROR);
        return Samples16(pcm);
    }

    static constexpr std::uint32_t kRate = 8000;
    ScratchDir dir_;
    std::vector<std::int16_t> input_;
};

TEST_P(CodecAgainstSox, DecodesSoxFilesAsSoxDoes) {
    const CodecCase& c = GetParam();
    ASSERT_TRUE(Sox("-D " + (dir_ / "in.wav").string() + " " + c.soxEncoding + " " + (dir_ / "coded.wav").string()));
    const Wav coded = ReadWav(dir_ / "coded.wav");
    ASSERT_EQ(coded.format.formatTag, c.tag) << "sox wrote another format";
    ASSERT_EQ(coded.format.channels, c.channels);
    // What our table offers is the very record a user's file carries.
    EXPECT_EQ(TableFormat(c.tag, kRate, c.channels), coded.format);

    const auto ours = OurDecode(coded);
    const auto theirs = SoxDecode("coded.wav");
    // sox decodes every block, the padding of the last one included; so do we.
    EXPECT_EQ(ours.size(), theirs.size());
    EXPECT_GE(ours.size(), input_.size());
    const Difference d = Compare(ours, theirs);
    std::printf("[ acm ] %s: decode of sox's file against sox's decode: max %d, mean %.4f over %zu samples\n", c.name,
                d.max, d.mean, ours.size());
    EXPECT_LE(d.max, c.maxError);
}

TEST_P(CodecAgainstSox, SoxDecodesOurEncodingAsWeDo) {
    const CodecCase& c = GetParam();
    const WaveFormat record = TableFormat(c.tag, kRate, c.channels);
    ASSERT_EQ(record.formatTag, c.tag) << "no table format";
    MmResult code = ~0u;
    const auto coded = Convert(WaveFormat::Pcm(kRate, 16, c.channels), record, Bytes16(input_), &code);
    ASSERT_EQ(code, MMSYSERR_NOERROR);
    ASSERT_EQ(coded.size() % record.blockAlign, 0u);
    WriteWav(dir_ / "ours.wav", record, coded);

    const auto ours = OurDecode({record, coded});
    const auto theirs = SoxDecode("ours.wav");
    EXPECT_EQ(ours.size(), theirs.size());
    const Difference d = Compare(ours, theirs);
    EXPECT_LE(d.max, c.maxError);

    // Good sound, not merely agreed on: our coding against the input, and
    // sox's own encoder on the same input for comparison.
    ASSERT_TRUE(Sox("-D " + (dir_ / "in.wav").string() + " " + c.soxEncoding + " " + (dir_ / "theirs.wav").string()));
    const double ourSnr = SnrDb(input_, ours);
    const double soxSnr = SnrDb(input_, SoxDecode("theirs.wav"));
    std::printf("[ acm ] %s: our encoding decoded by sox: max %d, mean %.4f; SNR ours %.2f dB, sox's %.2f dB\n",
                c.name, d.max, d.mean, ourSnr, soxSnr);
    EXPECT_GE(ourSnr, c.minSnrDb);
    EXPECT_GE(ourSnr, soxSnr - 1.5);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, CodecAgainstSox,
    ::testing::Values(CodecCase{"alaw_mono", "-e a-law", 6, 1, 0, 30},
                      CodecCase{"ulaw_stereo", "-e u-law", 7, 2, 0, 30},
                      CodecCase{"ima_mono", "-e ima-adpcm", 0x11, 1, 0, 16},
                      CodecCase{"ima_stereo", "-e ima-adpcm", 0x11, 2, 0, 16},
                      CodecCase{"ms_mono", "-e ms-adpcm", 2, 1, 0, 19},
                      CodecCase{"ms_stereo", "-e ms-adpcm", 2, 2, 0, 19},
                      CodecCase{"gsm", "-e gsm-full-rate", 49, 1, 0, 6}),
    [](const auto& info) { return std::string(info.param.name); });

// G.711 leaves no choice to a coder: on every 16-bit value and every code
// we give exactly what sox gives.
TEST(G711, EveryValueAndCodeAsSox) {
    if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
    ScratchDir dir;
    std::vector<std::int16_t> all;
    for (int v = -32768; v <= 32767; ++v) all.push_back(static_cast<std::int16_t>(v));
    WriteWav(dir / "all.wav", WaveFormat::Pcm(8000, 16, 1), Bytes16(all));
    for (const auto& [tag, encoding] : {std::pair<std::uint16_t, const char*>{6, "a-law"}, {7, "u-law"}}) {
        SCOPED_TRACE(encoding);
        const std::string coded = (dir / (std::string(encoding) + ".wav")).string();
        ASSERT_TRUE(Sox("-D " + (dir / "all.wav").string() + " -e " + encoding + " " + coded));
        const Wav sox = ReadWav(coded);
        ASSERT_EQ(sox.format.formatTag, tag);
        MmResult code = ~0u;
        const auto ours = Convert(WaveFormat::Pcm(8000, 16, 1), sox.format, Bytes16(all), &code);
        ASSERT_EQ(code, MMSYSERR_NOERROR);
        ASSERT_EQ(ours.size(), sox.data.size());
        for (std::size_t i = 0; i < ours.size(); ++i) ASSERT_EQ(ours[i], sox.data[i]) << "sample " << all[i];

        std::vector<std::uint8_t> codes(256);
        for (int c = 0; c < 256; ++c) codes[c] = static_cast<std::uint8_t>(c);
        WriteWav(dir / "codes.wav", sox.format, codes);
        ASSERT_TRUE(Sox((dir / "codes.wav").string() + " -e signed-integer -b 16 " + (dir / "codes16.wav").string()));
        EXPECT_EQ(Samples16(Convert(sox.format, WaveFormat::Pcm(8000, 16, 1), codes)),
                  Samples16(ReadWav(dir / "codes16.wav").data));
    }
}

}  // namespace
}  // namespace murmex::acm::test
