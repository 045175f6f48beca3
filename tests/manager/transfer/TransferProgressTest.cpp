#include <cstdint>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

#include "TransferProgress.h"

namespace murmex {
namespace {

struct UpdateCase {
    const char* name;
    std::uint32_t elapsedMs;
    std::uint32_t totalBytes;
    std::uint32_t doneBytes;
    const char* size;
    const char* rate;
    const char* elapsed;
    const char* estimate;
    const char* percentage;
    int position;
};

// Expected figures worked out by hand from the window's arithmetic.
const UpdateCase kUpdateCases[] = {
    {"nothing yet", 0, 0, 0, "0K", "0K", "  0Min  0Sec", "  0Min  0Sec", "0%", 0},
    {"half way", 10000, 2048000, 1024000, "2,000K", "100K", "  0Min 10Sec", "  0Min 20Sec", "50%", 50},
    // Under a tenth of a percent done: the estimate falls back to d / 10.
    {"barely started", 10000, 10000000, 1, "9,765K", "0K", "  0Min 10Sec", " 16Min 40Sec", "0%", 0},
    // Done, or more than announced: the estimate is the elapsed time.
    {"overshoot", 75000, 512000, 600000, "500K", "7K", "  1Min 15Sec", "  1Min 15Sec", "100%", 100},
    {"exactly done", 3000, 5000000, 5000000, "4,882K", "1627K", "  0Min  3Sec", "  0Min  3Sec", "100%", 100},
    // Nothing announced: a full permille for the estimate but 0%.
    {"no total", 5000, 0, 100, "0K", "0K", "  0Min  5Sec", "  0Min  5Sec", "0%", 0},
    // 100 x done wraps at 32 bits: half of 100 MB shows as 7%, as it always did.
    {"hundredfold wraps", 60000, 100000000, 50000000, "97,656K", "813K", "  1Min  0Sec", " 14Min 17Sec", "7%", 7},
    // The remainder x 10 wraps too, leaving zero permille.
    {"remainder wraps", 600000, 4000000000u, 3500000000u, "3906,250K", "5696K", " 10Min  0Sec", "1000Min  0Sec", "0%", 0},
    // Numbers wider than three characters are not cut.
    {"longest elapsed", 4294967295u, 0, 0, "0K", "0K", "71582Min 47Sec", "71582Min 47Sec", "0%", 0},
    {"fastest rate", 1, 4294967295u, 4294967295u, "4194,303K", "4194303999K", "  0Min  0Sec", "  0Min  0Sec", "100%", 100},
};

void PrintTo(const UpdateCase& c, std::ostream* os) { *os << c.name; }

class TransferProgressUpdate : public ::testing::TestWithParam<UpdateCase> {};

TEST_P(TransferProgressUpdate, Figures) {
    const UpdateCase& c = GetParam();
    TransferProgressModel model;
    model.Update(c.elapsedMs, c.totalBytes, c.doneBytes);
    EXPECT_EQ(model.Size(), c.size);
    EXPECT_EQ(model.Rate(), c.rate);
    EXPECT_EQ(model.Elapsed(), c.elapsed);
    EXPECT_EQ(model.Estimate(), c.estimate);
    EXPECT_EQ(model.Percentage(), c.percentage);
    EXPECT_EQ(model.Position(), c.position);
}

INSTANTIATE_TEST_SUITE_P(Known, TransferProgressUpdate, ::testing::ValuesIn(kUpdateCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) {
                                 if (ch == ' ') ch = '_';
                             }
                             return name;
                         });

TEST(TransferProgressModel, SizeSwitchesToThousandsPast1000K) {
    const struct {
        std::uint32_t bytes;
        const char* text;
    } cases[] = {
        {1023, "0K"},          {1024, "1K"},          {1024000, "1000K"},
        {1024001, "1,000K"},   {1025024, "1,001K"},   {1048576, "1,024K"},
        {5000000, "4,882K"},   {20480000, "20,000K"},
    };
    TransferProgressModel model;
    for (const auto& c : cases) {
        model.Update(0, c.bytes, 0);
        EXPECT_EQ(model.Size(), c.text) << c.bytes;
    }
}

TEST(TransferProgressModel, RateIsWholeKilobytesPerSecond) {
    const struct {
        std::uint32_t elapsedMs;
        std::uint32_t doneBytes;
        const char* text;
    } cases[] = {
        {1000, 1023, "0K"},
        {1000, 1024, "1K"},
        {3, 3072, "1000K"},  // no thousands comma on the rate
        {0, 1000000, "0K"},
        {7, 1000, "139K"},   // 142857.1 bytes/s
    };
    TransferProgressModel model;
    for (const auto& c : cases) {
        model.Update(c.elapsedMs, 4000000, c.doneBytes);
        EXPECT_EQ(model.Rate(), c.text) << c.elapsedMs << " ms, " << c.doneBytes << " bytes";
    }
}

TEST(TransferProgressModel, ResetRestoresFreshWindow) {
    TransferProgressModel model;
    EXPECT_EQ(model.Caption(), "Data Up/Down");

    model.Reset("DownLoad - MsgA001.mxd");
    model.Update(10000, 2048000, 1024000);
    // Updates touch only the figures.
    EXPECT_EQ(model.Caption(), "DownLoad - MsgA001.mxd");
    EXPECT_EQ(model.SizeLabel(), "File Size :");

    model.Reset();
    EXPECT_EQ(model.Caption(), "Data Up/Down");
    EXPECT_EQ(model.EstimateLabel(), "Est. Time :");
    EXPECT_EQ(model.ElapsedLabel(), "Elapsed  :");
    EXPECT_EQ(model.RateLabel(), "Transfer Rate :");
    EXPECT_EQ(model.SizeLabel(), "File Size :");
    EXPECT_EQ(model.CancelText(), "Cancel");
    EXPECT_EQ(model.Size(), "0K");
    EXPECT_EQ(model.Rate(), "0K");
    EXPECT_EQ(model.Elapsed(), "  0Min  0Sec");
    EXPECT_EQ(model.Estimate(), "  0Min  0Sec");
    EXPECT_EQ(model.Percentage(), "0%");
    EXPECT_EQ(model.Position(), 0);
}

TEST(TransferProgressModel, StringTableHasOnlyTheWindowsEntries) {
    EXPECT_EQ(TransferString(kStrMinutes), "%3.1ldMin");
    EXPECT_EQ(TransferString(kStrSeconds), "%3.1ldSec");
    EXPECT_TRUE(TransferString(404).empty());
    EXPECT_TRUE(TransferString(412).empty());
}

TEST(FormatProgressLine, WholeLine) {
    TransferProgressModel model;
    model.Reset("DownLoad - MsgA001.mxd");
    model.Update(10000, 2048000, 1024000);
    EXPECT_EQ(FormatProgressLine(model, 10),
              "DownLoad - MsgA001.mxd  [#####     ]  50%  File Size : 2,000K  Transfer Rate : 100K"
              "  Elapsed  :   0Min 10Sec  Est. Time :   0Min 20Sec");
    EXPECT_EQ(FormatProgressLine(model, 0),
              "DownLoad - MsgA001.mxd  50%  File Size : 2,000K  Transfer Rate : 100K"
              "  Elapsed  :   0Min 10Sec  Est. Time :   0Min 20Sec");
}

TEST(FormatProgressLine, BarAndPercentageKeepTheirWidth) {
    const struct {
        std::uint32_t totalBytes;
        std::uint32_t doneBytes;
        int barWidth;
        const char* head;  // the line up to the first label
    } cases[] = {
        {0, 0, 4, "x  [    ]   0%"},
        {1000, 999, 4, "x  [### ]  99%"},
        {1000, 1000, 4, "x  [####] 100%"},
        {1000, 500, 7, "x  [###    ]  50%"},
        {1000, 500, -3, "x  50%"},
    };
    for (const auto& c : cases) {
        TransferProgressModel model;
        model.Reset("x");
        model.Update(1000, c.totalBytes, c.doneBytes);
        const std::string line = FormatProgressLine(model, c.barWidth);
        EXPECT_EQ(line.substr(0, line.find("  File Size")), c.head) << line;
    }
}

}  // namespace
}  // namespace murmex
