// The format record as bytes: what a file's "fmt " chunk holds and back.
#include <gtest/gtest.h>

#include <optional>

#include "WaveFormat.h"

namespace murmex {
namespace {

TEST(WaveFormat, RecordBytesRoundTrip) {
    // GSM 6.10 as WAV files carry it: 18 bytes and two extra bytes holding 320.
    const std::vector<std::uint8_t> gsm = {0x31, 0x00, 0x01, 0x00, 0x40, 0x1f, 0x00, 0x00, 0x59, 0x06,
                                           0x00, 0x00, 0x41, 0x00, 0x00, 0x00, 0x02, 0x00, 0x40, 0x01};
    const auto f = WaveFormat::FromBytes(gsm);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->formatTag, 49);
    EXPECT_EQ(f->channels, 1);
    EXPECT_EQ(f->samplesPerSec, 8000u);
    EXPECT_EQ(f->avgBytesPerSec, 1625u);
    EXPECT_EQ(f->blockAlign, 65);
    EXPECT_EQ(f->bitsPerSample, 0);
    EXPECT_EQ(f->extra, (std::vector<std::uint8_t>{0x40, 0x01}));
    EXPECT_EQ(f->RecordSize(), 20u);
    EXPECT_EQ(f->ToBytes(), gsm);
}

TEST(WaveFormat, RecordTakesOnlyTheBytesItNames) {
    struct Case {
        const char* name;
        std::size_t size;        // bytes handed over
        std::uint16_t extraSize;  // what the record claims
        bool accepted;
    };
    const Case cases[] = {
        {"empty", 0, 0, false},
        {"seventeen bytes", 17, 0, false},
        {"bare record", 18, 0, true},
        {"bytes beyond the record", 30, 2, true},
        {"extra bytes missing", 19, 2, false},
        {"extra size far beyond", 100, 0xFFFF, false},
        {"extra size exactly there", 18 + 300, 300, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bytes(c.size, 0xAB);
        if (c.size >= 18) {
            bytes[16] = static_cast<std::uint8_t>(c.extraSize);
            bytes[17] = static_cast<std::uint8_t>(c.extraSize >> 8);
        }
        const auto f = WaveFormat::FromBytes(bytes);
        ASSERT_EQ(f.has_value(), c.accepted);
        if (f) {
            EXPECT_EQ(f->ExtraSize(), c.extraSize);
            EXPECT_EQ(f->ToBytes(), std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + 18 + c.extraSize));
        }
    }
}

TEST(WaveFormat, ExtraBeyondWhatTheFieldCanNameIsNotWritten) {
    WaveFormat f = WaveFormat::Pcm(8000, 16, 1);
    f.extra.assign(70000, 1);
    const auto bytes = f.ToBytes();
    ASSERT_EQ(bytes.size(), 18u + 0xFFFF);
    const auto back = WaveFormat::FromBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ExtraSize(), 0xFFFF);
}

TEST(WaveFormat, PcmWorksOutAlignAndRate) {
    struct Case {
        std::uint32_t rate;
        std::uint16_t bits, channels, blockAlign;
        std::uint32_t bytesPerSecond;
    };
    for (const Case& c : {Case{7221, 16, 1, 2, 14442}, Case{44100, 8, 2, 2, 88200}, Case{22050, 16, 4, 8, 176400}}) {
        const WaveFormat f = WaveFormat::Pcm(c.rate, c.bits, c.channels);
        EXPECT_TRUE(f.IsPcm());
        EXPECT_EQ(f.blockAlign, c.blockAlign);
        EXPECT_EQ(f.avgBytesPerSec, c.bytesPerSecond);
        EXPECT_EQ(f.ExtraSize(), 0);
    }
}

}  // namespace
}  // namespace murmex
