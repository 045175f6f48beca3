// Faults injected from the option string: the bridge must fail the way the
// option says, and only that way.
#include "BridgeWire.h"

namespace murmex::bridge::test {
namespace {

constexpr std::size_t kBlock = 512;

TEST(BridgeFaultTest, RefusedClockStalls) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image, "refuse-clock=2"));
    Host host(bridge);
    EXPECT_EQ(host.Out(req::kClock, 2), usb::TransferStatus::Stall);
    EXPECT_EQ(host.Out(req::kClock, 1), usb::TransferStatus::Completed);
    EXPECT_EQ(host.Out(req::kClock, 0), usb::TransferStatus::Completed);
    EXPECT_EQ(host.Out(req::kClock, 3), usb::TransferStatus::Stall) << "no such clock";
}

TEST(BridgeFaultTest, ShortReadsEndOneByteEarly) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image, "short"));
    Host host(bridge);
    host.Out(req::kMode, 3);
    host.Chip(0x00, 0, req::kCommandRead);
    EXPECT_EQ(host.BulkIn(32 * kSlot).size(), 32 * kSlot - 1);
    EXPECT_EQ(host.BulkIn(8, kStatusIn).size(), 7u);
    EXPECT_EQ(host.In(req::kResponse, 0, 3).size(), 3u) << "control transfers stay whole";
}

TEST(BridgeFaultTest, UnplugsAfterNTransfers) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image, "unplug=3"));
    Host host(bridge);
    EXPECT_EQ(host.Out(req::kMode, 3), usb::TransferStatus::Completed);
    host.In(req::kReady, 0, 2);
    host.BulkIn(64);
    EXPECT_FALSE(bridge.Attached());
    EXPECT_EQ(host.Out(req::kMode, 3), usb::TransferStatus::NoDevice);
    std::vector<std::uint8_t> data(64);
    EXPECT_EQ(bridge.Bulk(kBulkIn, data).status, usb::TransferStatus::NoDevice);
    EXPECT_EQ(bridge.SetConfiguration(1), usb::TransferStatus::NoDevice);
    EXPECT_EQ(bridge.TransferCount(), 5u);
}

TEST(BridgeFaultTest, CrcFaultSpoilsEveryCrcTheCardSends) {
    TempImage image(1 * kMiB, 0x5A);
    BridgeEmulator bridge(Options(image, "mmc,crc"));
    Host host(bridge);
    ASSERT_GT(host.MmcPowerUp(), 0);
    const auto cid = host.MmcR2(2);
    ASSERT_EQ(cid[0], 0x3F);
    EXPECT_NE(cid[16], crc::Crc7Byte(std::span(cid).subspan(1, 15)));
    const auto r1 = host.MmcR1(3, 1u << 16);
    ASSERT_EQ(r1[0], 3);
    EXPECT_NE(r1[5], crc::Crc7Byte(std::span(r1).first(5)));
    EXPECT_EQ(r1[5] & 1, 1) << "the end bit stays";

    host.MmcR1(7, 1u << 16);
    host.Mmc(18, 0, req::kCommandRead);
    const auto slot = host.BulkIn(kSlot);
    const std::vector<std::uint8_t> data(slot.begin(), slot.begin() + kBlock);
    EXPECT_EQ(data, std::vector<std::uint8_t>(kBlock, 0x5A)) << "the data itself is sound";
    EXPECT_NE((slot[kBlock] << 8) | slot[kBlock + 1], crc::Crc16(data));
}

TEST(BridgeFaultTest, BusyChipNeverGetsReady) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image, "busy"));
    Host host(bridge);
    host.Out(req::kMode, 3);
    host.Chip(0x60, 0xD0000000);
    for (int poll = 0; poll < 5; ++poll) EXPECT_EQ(host.In(req::kReady, 0, 2).at(0), 0);
    EXPECT_EQ(host.ChipStatus() & 0x40, 0);
}

TEST(BridgeFaultTest, BusyCardHoldsTheLineAndReportsBusyAfterWrites) {
    TempImage image(1 * kMiB);
    BridgeEmulator bridge(Options(image, "mmc,busy"));
    Host host(bridge);
    host.MmcSelectOnly();
    host.Mmc(24, 0, req::kCommandWrite);
    host.BulkOut(WriteStream(Pattern(kBlock, 1)));
    const auto status = host.BulkIn(8, kStatusIn);
    EXPECT_EQ(status[0], 0);
    EXPECT_NE(status[1] & 0x0F, 0);

    host.MmcR1(32, 0);
    host.MmcR1(33, 0);
    host.MmcR1(38);
    host.In(req::kArm, 0, 0);
    for (int read = 0; read < 50; ++read) ASSERT_EQ(host.BulkIn(32), std::vector<std::uint8_t>(32, 0x00)) << read;
}

TEST(BridgeFaultTest, NoCardAnswersNothing) {
    TempImage image(4 * kMiB);
    BridgeEmulator chipless(Options(image, "nocard"));
    Host host(chipless);
    host.Out(req::kMode, 3);
    host.Chip(0xFF);
    host.Chip(0x90);
    EXPECT_EQ(host.In(req::kResponse, 0, 3), std::vector<std::uint8_t>(3, 0xFF));

    BridgeEmulator empty(Options(image, "mmc,nocard"));
    Host mmcHost(empty);
    EXPECT_EQ(mmcHost.MmcPowerUp(), 0);
    EXPECT_TRUE(mmcHost.MmcEnumerate().empty());
}

}  // namespace
}  // namespace murmex::bridge::test
