// The USB access library over the real stack: the device manager, the bridge
// driver and an emulated bridge.
#include <gtest/gtest.h>

#include <array>

#include "BridgeRig.h"
#include "hvtavrin.h"

namespace murmex {
namespace {

using bridge::TransferRecord;
using Kind = TransferRecord::Kind;

class UsbAccessTest : public ::testing::Test {
protected:
    void TearDown() override { CloseUsbDev(); }

    test::TempCardImage image_{16u << 20};
};

TEST_F(UsbAccessTest, WithoutABridgeNothingIsFoundAndNothingMoves) {
    EXPECT_EQ(FindUsbDev(0x6001), 0);
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(UsbVendorCmdRead(3, 0, 0, 8, buffer.data()), 0);
    EXPECT_EQ(UsbVendorCmdWrite(10, 3, 0, 0, buffer.data()), 0);
    EXPECT_EQ(UsbDataRead(8, buffer.data()), 0);
    EXPECT_EQ(UsbDataWrite(8, buffer.data()), 0);
    EXPECT_EQ(CloseUsbDev(), 1);
    EXPECT_EQ(IsOHCI(), 1);
    EXPECT_EQ(fnHvtavrin(), 42);
}

TEST_F(UsbAccessTest, TransfersWithTheHandleClosedNeverReachTheBridge) {
    test::BridgeRig rig(image_.Path());
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(UsbVendorCmdRead(3, 0, 0, 8, buffer.data()), 0);
    EXPECT_EQ(UsbDataReadPipe(8, buffer.data()), 0);
    EXPECT_EQ(UsbDataWrite(8, buffer.data()), 0);
    EXPECT_EQ(rig.Bridge().TransferCount(), 0u);
}

TEST_F(UsbAccessTest, VendorRequestsAndBulkDataReachTheBridge) {
    test::BridgeRig rig(image_.Path());
    ASSERT_EQ(FindUsbDev(0x6001), 1);
    rig.Bridge().ClearLog();

    std::array<std::uint8_t, 8> gpio{};
    gpio.fill(0xAA);
    EXPECT_EQ(UsbVendorCmdWrite(10, 3, 0, 0, nullptr), 1);  // no data stage
    EXPECT_EQ(UsbVendorCmdRead(3, 6, 0, 8, gpio.data()), 1);
    std::array<std::uint8_t, 32> bus{};
    EXPECT_EQ(UsbDataWrite(bus.size(), bus.data()), 1);
    EXPECT_EQ(UsbDataRead(bus.size(), bus.data()), 1);

    const std::vector<TransferRecord> expected = {{Kind::ControlOut, 10, 3, 0},
                                                  {Kind::ControlIn, 3, 6, 8},
                                                  {Kind::BulkOut, 0x01, 0, 32},
                                                  {Kind::BulkIn, 0x82, 0, 32}};
    EXPECT_EQ(rig.Bridge().Log(), expected);
}

TEST_F(UsbAccessTest, FailuresLeaveTheCallersBufferAlone) {
    test::BridgeRig rig(image_.Path(), "refuse-clock=2,short");
    ASSERT_EQ(FindUsbDev(0), 1);
    EXPECT_EQ(UsbVendorCmdWrite(6, 2, 0, 0, nullptr), 0);  // the bridge refuses 12 MHz
    EXPECT_EQ(UsbVendorCmdWrite(6, 1, 0, 0, nullptr), 1);
    std::array<std::uint8_t, 64> data{};
    EXPECT_EQ(UsbDataRead(data.size(), data.data()), 0);  // a short bulk packet fails the read
}

TEST_F(UsbAccessTest, AVendorReadThatFailsChangesNothing) {
    test::BridgeRig rig(image_.Path(), "unplug=1");
    ASSERT_EQ(FindUsbDev(0), 1);
    std::array<std::uint8_t, 8> buffer{};
    buffer.fill(0x5A);
    UsbVendorCmdWrite(10, 3, 0, 0, nullptr);  // the bridge's last transfer
    EXPECT_EQ(UsbVendorCmdRead(3, 0, 0, 8, buffer.data()), 0);
    for (std::uint8_t b : buffer) EXPECT_EQ(b, 0x5A);
}

}  // namespace
}  // namespace murmex
