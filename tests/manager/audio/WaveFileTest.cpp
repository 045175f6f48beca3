// The WAV helpers on real files: what the reader accepts and where it leaves
// the file, the two header writers, the level scaling, and format names.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "FormatTagName.h"
#include "WaveFile.h"

namespace murmex {
namespace {

// A WAV file's bytes, chunk by chunk.
struct WavBytes {
    std::vector<std::uint8_t> bytes;
    WavBytes& Raw(const std::string& s) {
        bytes.insert(bytes.end(), s.begin(), s.end());
        return *this;
    }
    WavBytes& U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
        return *this;
    }
    WavBytes& U16(std::uint16_t v) {
        bytes.push_back(static_cast<std::uint8_t>(v));
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        return *this;
    }
    WavBytes& Fill(std::size_t n, std::uint8_t b = 0x11) {
        bytes.insert(bytes.end(), n, b);
        return *this;
    }
    // RIFF/WAVE head and a PCM "fmt " chunk of the given size (16, 18 or more).
    static WavBytes Pcm(std::uint32_t fmtSize, const char* riff = "RIFF", const char* wave = "WAVE") {
        WavBytes w;
        w.Raw(riff).U32(0).Raw(wave).Raw("fmt ").U32(fmtSize).U16(1).U16(1).U32(8000).U32(16000).U16(2).U16(16);
        if (fmtSize >= 18) w.U16(static_cast<std::uint16_t>(fmtSize - 18)).Fill(fmtSize - 18, 0x22);
        return w;
    }
};

struct TempFile {
    std::FILE* f = std::tmpfile();
    explicit TempFile(const std::vector<std::uint8_t>& bytes) {
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fseek(f, 0, SEEK_SET);
    }
    ~TempFile() { std::fclose(f); }
    std::vector<std::uint8_t> All() {
        std::fseek(f, 0, SEEK_END);
        std::vector<std::uint8_t> out(static_cast<std::size_t>(std::ftell(f)));
        std::fseek(f, 0, SEEK_SET);
        EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
        return out;
    }
};

TEST(WaveHeaderReader, AcceptsAndRefuses) {
    struct Case {
        const char* what;
        WavBytes wav;
        int expected;
        std::uint32_t length;  // also the bytes that follow the data header
        std::uint16_t extra;
    };
    const std::vector<Case> cases = {
        {"plain 18-byte fmt", WavBytes::Pcm(18).Raw("data").U32(100).Fill(100), 1, 100, 0},
        {"16-byte fmt has no extra bytes", WavBytes::Pcm(16).Raw("data").U32(40).Fill(40), 1, 40, 0},
        {"extra bytes are read with the record", WavBytes::Pcm(20).Raw("data").U32(8).Fill(8), 1, 8, 2},
        {"RIFF without WAVE", WavBytes::Pcm(18, "RIFF", "XXXX").Raw("data").U32(40).Fill(40), 1, 40, 0},
        {"WAVE without RIFF", WavBytes::Pcm(18, "XXXX", "WAVE").Raw("data").U32(40).Fill(40), 1, 40, 0},
        {"neither RIFF nor WAVE", WavBytes::Pcm(18, "XXXX", "YYYY").Raw("data").U32(40).Fill(40), 0, 0, 0},
        {"data claims more than there is", WavBytes::Pcm(18).Raw("data").U32(100000).Fill(50), 1, 50, 0},
        {"three bytes of data", WavBytes::Pcm(18).Raw("data").U32(3).Fill(3), 0, 0, 0},
        {"no data chunk", WavBytes::Pcm(18).Fill(100), 0, 0, 0},
        {"a chunk before fmt", WavBytes().Raw("RIFF").U32(0).Raw("WAVE").Raw("LIST").U32(4).Raw("abcd")
                                   .Raw("fmt ").U32(16).U16(1).U16(2).U32(44100).U32(176400).U16(4).U16(16)
                                   .Raw("data").U32(16).Fill(16), 1, 16, 0},
        {"extra size beyond the file", WavBytes().Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(18).U16(1).U16(1)
                                           .U32(8000).U32(16000).U16(2).U16(16).U16(60000).Fill(20), 0, 0, 0},
    };
    for (const Case& c : cases) {
        TempFile file(c.wav.bytes);
        std::fseek(file.f, 5, SEEK_SET);
        WaveFormat format;
        std::uint32_t length = 0;
        EXPECT_EQ(WaveHeaderReader(file.f, format, length), c.expected) << c.what;
        if (c.expected) {
            EXPECT_EQ(length, c.length) << c.what;
            EXPECT_EQ(format.ExtraSize(), c.extra) << c.what;
            EXPECT_EQ(std::ftell(file.f), static_cast<long>(c.wav.bytes.size() - c.length)) << c.what;
        } else {
            EXPECT_EQ(std::ftell(file.f), 5) << c.what << ": the position must be kept";
        }
    }
}

TEST(WaveHeaderReader, RefusesShortFilesAndShortFormatChunks) {
    TempFile tiny(WavBytes::Pcm(18).bytes);  // 38 bytes, no room for anything
    ASSERT_EQ(tiny.All().size(), 38u);
    std::fseek(tiny.f, 0, SEEK_SET);
    WaveFormat format;
    std::uint32_t length = 0;
    EXPECT_EQ(WaveHeaderReader(tiny.f, format, length), 0);
    EXPECT_EQ(std::ftell(tiny.f), 0);

    WavBytes shortFmt;
    shortFmt.Raw("RIFF").U32(0).Raw("WAVE").Raw("fmt ").U32(15).Fill(15).Raw("data").U32(40).Fill(40);
    TempFile f(shortFmt.bytes);
    EXPECT_EQ(WaveHeaderReader(f.f, format, length), 0);
}

TEST(WaveHeaderWriters, WriteTheirHeaders) {
    TempFile mxd({});
    std::vector<std::uint8_t> samples(100, 0x33);
    std::fwrite(samples.data(), 1, 48, mxd.f);  // room for the header, then samples
    std::fwrite(samples.data(), 1, samples.size(), mxd.f);
    ASSERT_EQ(WriteMxdWaveHeader(mxd.f, 100, 1), 1);
    EXPECT_EQ(std::ftell(mxd.f), 148) << "goes back to where it was";
    auto bytes = mxd.All();
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(ReadLE32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(ReadLE32(bytes, 24), 7224u);
    EXPECT_EQ(ReadLE32(bytes, 28), 14448u);
    EXPECT_EQ(ReadLE32(bytes, 44), 100u);
    for (int type : {0, 3, 7}) {
        TempFile sp({});
        ASSERT_EQ(WriteMxdWaveHeader(sp.f, 10, type), 1);
        EXPECT_EQ(std::ftell(sp.f), 48) << "a file at its start ends up behind the header";
        EXPECT_EQ(ReadLE32(sp.All(), 24), 7221u) << type;
    }
    EXPECT_EQ(WriteMxdWaveHeader(nullptr, 10, 0), 0);

    WaveFormat gsm{49, 1, 8000, 1625, 65, 0, {0x40, 0x01}};
    TempFile generic({});
    ASSERT_EQ(WaveHeaderWriter(generic.f, gsm, 650), 1);
    const std::vector<std::uint8_t> zeros(650, 0);
    std::fwrite(zeros.data(), 1, zeros.size(), generic.f);
    std::fseek(generic.f, 0, SEEK_SET);
    WaveFormat back;
    std::uint32_t length = 0;
    ASSERT_EQ(WaveHeaderReader(generic.f, back, length), 1);
    EXPECT_EQ(back, gsm);
    EXPECT_EQ(length, 650u);
    EXPECT_EQ(ReadLE32(generic.All(), 4), 4u + 8 + 20 + 8 + 650);
}

TEST(ScaleSamples, GainSaturatesAndDivisionRoundsDown) {
    struct Case {
        std::int16_t in;
        std::uint32_t factor;
        std::int16_t out;
    } cases[] = {
        {10000, kDecoderGain, 32767}, {-10000, kDecoderGain, -32768}, {100, kDecoderGain, 400},
        {-1, kEncoderDivide, -1},     {7, kEncoderDivide, 1},          {-32768, kEncoderDivide, -8192},
        {32767, kEncoderDivide, 8191}, {-5, kEncoderDivide, -2},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes(2);
        WriteLE16(bytes, 0, static_cast<std::uint16_t>(c.in));
        ScaleSamples(bytes, c.factor);
        EXPECT_EQ(static_cast<std::int16_t>(ReadLE16(bytes, 0)), c.out) << c.in << " by " << std::hex << c.factor;
    }
}

TEST(FormatTagName, NamesTagRateAndChannels) {
    EXPECT_EQ(FormatTagName(WaveFormat::Pcm(8000, 16, 1)), "PCM 8000Hz Mono");
    EXPECT_EQ(FormatTagName(WaveFormat::Pcm(44100, 16, 2)), "PCM 44100Hz Streo");
    EXPECT_EQ(FormatTagName(WaveFormat::Pcm(8000, 16, 4)), "PCM 8000Hz 4Channels");
    EXPECT_EQ(FormatTagName(WaveFormat{49, 1, 8000, 1625, 65, 0, {}}), "GSM610 8000Hz Mono");
    EXPECT_EQ(FormatTagName(WaveFormat{34, 1, 8000, 1067, 32, 1, {}}), "DSP Group's True Speech 8000Hz Mono");
    EXPECT_EQ(FormatTagName(WaveFormat{9999, 1, 8000, 0, 0, 0, {}}), " 8000Hz Mono");
    EXPECT_EQ(FormatTagShortName(115), "L&h SBC ");
    EXPECT_EQ(FormatTagShortName(593), "");
    EXPECT_EQ(FormatTagShortName(8192), "DVM");
}

}  // namespace
}  // namespace murmex
