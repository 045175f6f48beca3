// The frame walk every decoder shares: frame lengths by class, silence runs
// with their ×16 rule, durations and seeking.
#include <gtest/gtest.h>

#include <vector>

#include "MxdFile.h"

namespace murmex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Frame(std::uint8_t first) {
    Bytes f(FrameLength(first), 0x5A);
    f[0] = first;
    return f;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(MxdFrames, ClassesAndSilenceRuns) {
    struct Case {
        std::uint8_t first;
        std::uint32_t length;
    } lengths[] = {{0x00, 11}, {0x3F, 11}, {0x40, 18}, {0x7F, 18}, {0x80, 24}, {0xBF, 24},
                   {0xC0, 4},  {0xDF, 4},  {0xE0, 2},  {0xFF, 2}};
    for (const Case& c : lengths) EXPECT_EQ(FrameLength(c.first), c.length) << int{c.first};

    EXPECT_EQ(SilenceRunFrames(0xE0, 0x00), 1u);
    EXPECT_EQ(SilenceRunFrames(0xFF, 0xFF), 752u);
    EXPECT_EQ(SilenceRunFrames(0xE1, 0x00), 17u);
    EXPECT_EQ(SilenceRunFrames(0xE0, 0x10), 17u);
}

TEST(MxdFrames, MixedStreamWalksEveryClass) {
    const Bytes data = Concat({Frame(0x10), Frame(0x50), Frame(0x90), Frame(0xC5), Bytes{0xE1, 0x00}});
    FrameWalker walk(data);
    std::vector<std::uint32_t> lengths;
    std::uint32_t frames = 0;
    while (const auto step = walk.Next()) {
        lengths.push_back(step->length);
        frames += step->frames;
    }
    EXPECT_EQ(lengths, (std::vector<std::uint32_t>{11, 18, 24, 4, 2}));
    EXPECT_EQ(frames, 4u + 17u);
    EXPECT_EQ(DurationSamples(data), (4u + 17u) * 160u);
}

TEST(MxdFrames, EdgesOfTheData) {
    EXPECT_EQ(DurationSamples({}), 0u) << "a file of only its magic has no frames";
    EXPECT_EQ(DurationSamples(Bytes{0xFF, 0xFF, 0xE0, 0x00}), 753u * 160u) << "silence alone";
    // A frame cut short by the end of the file still counts as one frame.
    const Bytes cut = Concat({Frame(0x80), Bytes{0x80, 1, 2}});
    FrameWalker walk(cut);
    ASSERT_TRUE(walk.Next());
    const auto last = walk.Next();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->length, 3u);
    EXPECT_FALSE(walk.Next());
    EXPECT_EQ(DurationSamples(Bytes{0xE5}), 160u) << "a run without its second byte";
}

TEST(MxdFrames, SeekLandsOnTheFrameHoldingThePosition) {
    // Frames: SP at 0, silence run of 17 at 24, LP at 26.
    const Bytes data = Concat({Frame(0x80), Bytes{0xE0, 0x10}, Frame(0x00)});
    EXPECT_EQ(SeekByPcmPosition(data, 0), 0u);
    EXPECT_EQ(SeekByPcmPosition(data, 319), 0u);
    // The run is passed whole: any position inside it lands on the frame after.
    EXPECT_EQ(SeekByPcmPosition(data, 320), 26u);
    EXPECT_EQ(SeekByPcmPosition(data, 320 + 17 * 320 + 10), 26u);
    EXPECT_EQ(SeekByPcmPosition(data, 1000000), data.size());
}

TEST(MxdFrames, MagicsAndTypeCodes) {
    struct Case {
        const char* magic;
        int code;
    } cases[] = {{"MXDS", 0}, {"MXDL", 1}, {"MXAS", 2}, {"MXAL", 3}, {"MXTS", 6}, {"MXTL", 7}};
    for (const Case& c : cases) {
        const Bytes m(c.magic, c.magic + 4);
        EXPECT_EQ(TypeCodeForMagic(m), c.code) << c.magic;
    }
    EXPECT_FALSE(TypeCodeForMagic(Bytes{'M', 'X', 'Z', 'S'}));
    EXPECT_FALSE(TypeCodeForMagic(Bytes{'M', 'X'}));
    EXPECT_EQ(MagicForMode(2), "MXDS");
    EXPECT_EQ(MagicForMode(0), "MXDL");
}

}  // namespace
}  // namespace murmex
