// The bridge as the USB stack sees it: descriptors, configuration, the
// journal of transfers, and requests that make no sense.
#include "BridgeWire.h"

namespace murmex::bridge::test {
namespace {

TEST(BridgeDescriptorsTest, DeviceAndConfiguration) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image));

    const auto device = bridge.DeviceDescriptor();
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(device[0], 18);
    EXPECT_EQ(device[1], 1);
    EXPECT_EQ(device[8] | (device[9] << 8), BridgeEmulator::kVendorId);
    EXPECT_EQ(device[10] | (device[11] << 8), BridgeEmulator::kProductId);
    EXPECT_EQ(device[17], 1);

    const auto config = bridge.ConfigurationDescriptor(0);
    ASSERT_EQ(config.size(), 9u + 9u + 3u * 7u);
    EXPECT_EQ(config[2] | (config[3] << 8), static_cast<int>(config.size()));
    EXPECT_EQ(config[5], 1);       // configuration value
    EXPECT_EQ(config[9 + 4], 3);   // endpoints of interface 0
    const std::uint8_t expected[3] = {0x01, 0x82, 0x83};
    for (int i = 0; i < 3; ++i) {
        const std::size_t at = 18 + 7 * static_cast<std::size_t>(i);
        EXPECT_EQ(config[at + 1], 5);
        EXPECT_EQ(config[at + 2], expected[i]);
        EXPECT_EQ(config[at + 3], 2);  // bulk
        EXPECT_EQ(config[at + 4] | (config[at + 5] << 8), 64);
    }
    EXPECT_TRUE(bridge.ConfigurationDescriptor(1).empty());

    EXPECT_EQ(bridge.SetConfiguration(1), usb::TransferStatus::Completed);
    EXPECT_EQ(bridge.SetConfiguration(2), usb::TransferStatus::Stall);
}

TEST(BridgeDescriptorsTest, CountsEveryTransferAndLogsWhileEnabled) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image));
    Host host(bridge);
    host.Out(req::kMode, 3);
    bridge.EnableLog(true);
    host.In(req::kReady, 0, 2);
    host.BulkIn(100);
    host.BulkOut({1, 2, 3});
    host.Out(99, 0, {}); // stalls, still a transfer
    bridge.EnableLog(false);
    host.BulkIn(1);

    EXPECT_EQ(bridge.TransferCount(), 6u);
    using K = TransferRecord::Kind;
    const std::vector<TransferRecord> expected{{K::ControlIn, 5, 0, 2}, {K::BulkIn, 0x82, 0, 100},
                                               {K::BulkOut, 0x01, 0, 3}, {K::ControlOut, 99, 0, 0}};
    EXPECT_EQ(bridge.Log(), expected);
    bridge.ClearLog();
    EXPECT_TRUE(bridge.Log().empty());
}

TEST(BridgeDescriptorsTest, NonsenseIsRefusedNotObeyed) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image, "mmc"));
    Host host(bridge);
    using usb::TransferStatus;

    std::vector<std::uint8_t> buffer(64);
    const usb::ControlSetup standard{0x80, 6, 0x0100, 0, 18};  // a standard request is not the firmware's
    EXPECT_EQ(bridge.Control(standard, buffer).status, TransferStatus::Stall);
    EXPECT_EQ(host.Out(req::kMode, 1), TransferStatus::Stall);
    EXPECT_EQ(host.Out(req::kMode, 0xFFFF), TransferStatus::Stall);
    EXPECT_EQ(host.Out(req::kMode, 0x0102), TransferStatus::Stall);
    EXPECT_EQ(host.Out(req::kCommand, 0, {0xFF, 0x40}), TransferStatus::Stall);  // short packet
    EXPECT_EQ(host.Out(req::kWriteGpio, 0x0140), TransferStatus::Stall);         // pin 64
    host.In(req::kReadGpio, 200, 8, TransferStatus::Stall);
    host.In(req::kArm, 0, 4, TransferStatus::Stall);
    host.In(req::kResponse, 0, 0);
    std::vector<std::uint8_t> nothing;
    EXPECT_EQ(bridge.Bulk(0x05, nothing).status, TransferStatus::Stall);

    // Idle bus: responses and data are all ones, whatever the length asked.
    const auto response = host.In(req::kResponse, 0, 4096);
    EXPECT_EQ(response, std::vector<std::uint8_t>(4096, 0xFF));
    EXPECT_EQ(host.BulkIn(100000), std::vector<std::uint8_t>(100000, 0xFF));
    EXPECT_TRUE(host.BulkOut(std::vector<std::uint8_t>(70000, 0x00)).Ok());
    EXPECT_EQ(host.BulkIn(8, kStatusIn)[0], 0x01) << "no block written: no CRC status";
}

TEST(BridgeDescriptorsTest, GpioReadsBackWhatWasSet) {
    TempImage image(4 * kMiB);
    BridgeEmulator bridge(Options(image));
    Host host(bridge);
    EXPECT_EQ(host.In(req::kReadGpio, 6, 8).at(7), 1) << "both slots start on the bus";
    host.Out(req::kWriteGpio, 0x0005);
    host.Out(req::kWriteGpio, 0x0105);
    EXPECT_EQ(host.In(req::kReadGpio, 5, 8).at(7), 1);
    host.Out(req::kWriteGpio, 0x0006);
    EXPECT_EQ(host.In(req::kReadGpio, 6, 8).at(7), 0);
}

}  // namespace
}  // namespace murmex::bridge::test
