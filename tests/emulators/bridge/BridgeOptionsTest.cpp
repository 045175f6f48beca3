#include <stdexcept>

#include "BridgeWire.h"

namespace murmex::bridge::test {
namespace {

TEST(BridgeOptionsTest, ParsesEveryOption) {
    const BridgeOptions o = ParseBridgeOptions(
        "card.tmf,mmc,mmc1=/tmp/two.img,bad=3,bad=0x10,busy,crc,short,refuse-clock=2,refuse-clock=1,nocard,unplug=40,"
        "ready-after=40,reject-write=2,datacrc");
    EXPECT_EQ(o.imagePath, "card.tmf");
    EXPECT_TRUE(o.mmc);
    EXPECT_EQ(o.secondMmcPath, "/tmp/two.img");
    EXPECT_EQ(o.badBlocks, (std::vector<std::uint32_t>{3, 16}));
    EXPECT_TRUE(o.neverReady);
    EXPECT_TRUE(o.corruptCrc);
    EXPECT_TRUE(o.shortReads);
    EXPECT_EQ(o.refusedClocks, (std::vector<unsigned>{2, 1}));
    EXPECT_TRUE(o.noCard);
    EXPECT_EQ(o.unplugAfter, 40u);
    EXPECT_EQ(o.readyAfter, 40u);
    EXPECT_EQ(o.rejectWrite, 2u);
    EXPECT_TRUE(o.corruptDataCrc);
}

TEST(BridgeOptionsTest, ImageAloneLeavesEverythingOff) {
    const BridgeOptions o = ParseBridgeOptions("/cards/sm.tmf");
    EXPECT_EQ(o.imagePath, "/cards/sm.tmf");
    EXPECT_FALSE(o.mmc || o.neverReady || o.corruptCrc || o.shortReads || o.noCard);
    EXPECT_TRUE(o.badBlocks.empty() && o.refusedClocks.empty() && o.secondMmcPath.empty());
    EXPECT_EQ(o.unplugAfter, 0u);
    EXPECT_EQ(o.readyAfter, 3u);
    EXPECT_EQ(o.rejectWrite, 0u);
}

TEST(BridgeOptionsTest, RejectsWhatItDoesNotUnderstandNamingIt) {
    for (const char* option : {"bogus", "bad=", "bad=12x", "bad=4294967296", "unplug=-1", "mmc1=", "busy=1", "MMC"}) {
        try {
            ParseBridgeOptions(std::string("card.tmf,") + option);
            ADD_FAILURE() << option << " was accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find(option), std::string::npos) << e.what();
        }
    }
}

TEST(BridgeOptionsTest, ImageThatCannotBeOpenedThrows) {
    EXPECT_THROW(BridgeEmulator(ParseBridgeOptions("/nonexistent/card.tmf")), std::runtime_error);
    TempImage image(4 * kMiB);
    EXPECT_THROW(BridgeEmulator(Options(image, "mmc,mmc1=/nonexistent/two.img")), std::runtime_error);
}

}  // namespace
}  // namespace murmex::bridge::test
