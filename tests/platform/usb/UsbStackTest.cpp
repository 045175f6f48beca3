// The device manager, the bridge driver and the emulator backend together:
// what the USB access library sees of a bridge, request by request.
#include <gtest/gtest.h>

#include <vector>

#include "BridgeIds.h"
#include "BridgeRig.h"
#include "ConfigurationDescriptor.h"
#include "DeviceManager.h"
#include "VendorRequest.h"

namespace murmex::usb {
namespace {

using bridge::TransferRecord;
using Kind = TransferRecord::Kind;

const Guid kOtherMakeClass{"{58519EFB-7E41-477B-8DF5-7B947261B6EA}"};

class UsbStackTest : public ::testing::Test {
protected:
    void SetUp() override {
        rig_ = std::make_unique<test::BridgeRig>(image_.Path(), "refuse-clock=2");
        const auto paths = DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass);
        ASSERT_EQ(paths.size(), 1u);
        file_ = DeviceManager::Instance().Open(paths.front());
        ASSERT_NE(file_, kInvalidFile);
        rig_->Bridge().ClearLog();
    }
    void TearDown() override { DeviceManager::Instance().Close(file_); }

    NtStatus Vendor(VendorRequestIn record, std::uint32_t& returned, std::span<std::uint8_t> output) {
        const auto input = record.Encode();
        return DeviceManager::Instance().DeviceIoControl(file_, kIoctlVendorCommand, input, output, returned);
    }

    test::TempCardImage image_{16u << 20};
    std::unique_ptr<test::BridgeRig> rig_;
    FileHandle file_ = kInvalidFile;
};

TEST_F(UsbStackTest, TheBridgeIsFoundByTheDriversInterfaceClassOnly) {
    const auto paths = DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_NE(paths.front().find("/TavrinDevice"), std::string::npos);
    EXPECT_NE(paths.front().find(kTavrinInterfaceClass.text), std::string::npos);
    EXPECT_TRUE(DeviceManager::Instance().InterfacePaths(kOtherMakeClass).empty());
    EXPECT_EQ(DeviceManager::Instance().Open("/murmex/usb/no-such-device"), kInvalidFile);
}

TEST_F(UsbStackTest, EachBridgeAddedGetsTheNextUnitNumber) {
    test::TempCardImage second(16u << 20);
    const auto before = DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).front();
    test::BridgeRig another(second.Path());
    const auto paths = DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass);
    ASSERT_EQ(paths.size(), 2u);
    auto unit = [](const std::string& path) {
        const auto at = path.find("TavrinDevice") + 12;
        return std::stoi(path.substr(at, path.find('/', at) - at));
    };
    EXPECT_EQ(paths[0], before);
    EXPECT_EQ(unit(paths[1]), unit(paths[0]) + 1);
}

TEST_F(UsbStackTest, ReadsChooseTheEndpointByLengthAndAreClipped) {
    struct Case {
        std::size_t asked;
        std::uint8_t endpoint;
        std::uint32_t onTheWire;
    };
    const Case cases[] = {{8, 0x83, 8}, {7, 0x82, 7}, {9, 0x82, 9}, {100000, 0x82, 65536}};
    for (const Case& c : cases) {
        rig_->Bridge().ClearLog();
        std::vector<std::uint8_t> buffer(c.asked);
        std::uint32_t moved = 0;
        DeviceManager::Instance().Read(file_, buffer, moved);
        ASSERT_EQ(rig_->Bridge().Log().size(), 1u) << c.asked;
        EXPECT_EQ(rig_->Bridge().Log()[0], (TransferRecord{Kind::BulkIn, c.endpoint, 0, c.onTheWire})) << c.asked;
        EXPECT_LE(moved, 65536u);
    }
    // Nothing asked, nothing on the wire.
    rig_->Bridge().ClearLog();
    std::uint32_t moved = 1;
    EXPECT_EQ(DeviceManager::Instance().Read(file_, {}, moved), kStatusSuccess);
    EXPECT_EQ(moved, 0u);
    EXPECT_TRUE(rig_->Bridge().Log().empty());
}

TEST_F(UsbStackTest, WritesGoToEndpointOneClippedAt65536) {
    std::vector<std::uint8_t> data(70000, 0xFF);
    std::uint32_t moved = 0;
    DeviceManager::Instance().Write(file_, data, moved);
    ASSERT_EQ(rig_->Bridge().Log().size(), 1u);
    EXPECT_EQ(rig_->Bridge().Log()[0], (TransferRecord{Kind::BulkOut, 0x01, 0, 65536}));
    EXPECT_EQ(moved, 65536u);  // the caller sees the short count and fails the transfer
}

TEST_F(UsbStackTest, VendorRequestsBecomeControlTransfers) {
    std::vector<std::uint8_t> output(kVendorOutputBytes);
    std::uint32_t returned = 99;

    VendorRequestIn mode;  // host to device without a data stage
    mode.request = 10;
    mode.value = 3;
    EXPECT_EQ(Vendor(mode, returned, output), kStatusSuccess);
    EXPECT_EQ(returned, 0u);

    VendorRequestIn gpio;
    gpio.request = 3;
    gpio.value = 0;
    gpio.length = 8;
    gpio.deviceToHost = true;
    EXPECT_EQ(Vendor(gpio, returned, output), kStatusSuccess);
    EXPECT_EQ(returned, 8u);

    const std::vector<TransferRecord> expected = {{Kind::ControlOut, 10, 3, 0}, {Kind::ControlIn, 3, 0, 8}};
    EXPECT_EQ(rig_->Bridge().Log(), expected);
}

TEST_F(UsbStackTest, AFailingVendorRequestCompletesWithItsStatusAndNoBytes) {
    std::vector<std::uint8_t> output(kVendorOutputBytes);
    std::uint32_t returned = 99;
    VendorRequestIn clock;
    clock.request = 6;
    clock.value = 2;  // the emulated bridge refuses 12 MHz
    EXPECT_FALSE(NtSuccess(Vendor(clock, returned, output)));
    EXPECT_EQ(returned, 0u);
}

TEST_F(UsbStackTest, IoControlsOtherThanTheVendorRequestAreRefusedOrIgnored) {
    std::vector<std::uint8_t> output(kVendorOutputBytes);
    std::uint32_t returned = 99;
    EXPECT_EQ(DeviceManager::Instance().DeviceIoControl(file_, kIoctl800, {}, output, returned), kStatusSuccess);
    EXPECT_EQ(returned, 0u);
    EXPECT_EQ(DeviceManager::Instance().DeviceIoControl(file_, 0x222008, {}, output, returned),
              kStatusInvalidParameter);

    // Records the driver cannot carry out safely: too short, more data than
    // the record holds, more data back than the caller's buffer takes.
    const std::vector<std::uint8_t> shortRecord(25);
    EXPECT_EQ(DeviceManager::Instance().DeviceIoControl(file_, kIoctlVendorCommand, shortRecord, output, returned),
              kStatusInvalidParameter);
    VendorRequestIn tooLong;
    tooLong.length = 18;
    EXPECT_EQ(Vendor(tooLong, returned, output), kStatusInvalidParameter);
    VendorRequestIn tooMuchBack;
    tooMuchBack.deviceToHost = true;
    tooMuchBack.length = 513;
    EXPECT_EQ(Vendor(tooMuchBack, returned, output), kStatusInvalidParameter);
    EXPECT_TRUE(rig_->Bridge().Log().empty());
}

TEST_F(UsbStackTest, AnUnpluggedBridgeLeavesTheListAndItsHandleFails) {
    rig_.reset();
    EXPECT_TRUE(DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).empty());
    std::vector<std::uint8_t> buffer(8);
    std::uint32_t moved = 0;
    EXPECT_FALSE(NtSuccess(DeviceManager::Instance().Read(file_, buffer, moved)));
    EXPECT_EQ(DeviceManager::Instance().Read(12345, buffer, moved), kStatusInvalidHandle);
}

TEST_F(UsbStackTest, ABridgeThatLeavesTheBusByItselfIsRemovedAtTheNextLook) {
    test::TempCardImage second(16u << 20);
    test::BridgeRig leaving(second.Path(), "unplug=1");
    ASSERT_EQ(DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).size(), 2u);
    const auto path = DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).back();
    const FileHandle file = DeviceManager::Instance().Open(path);
    std::vector<std::uint8_t> buffer(8);
    std::uint32_t moved = 0;
    DeviceManager::Instance().Read(file, buffer, moved);  // its one transfer
    EXPECT_EQ(DeviceManager::Instance().Read(file, buffer, moved), kStatusDeviceNotConnected);
    EXPECT_EQ(DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).size(), 1u);
    DeviceManager::Instance().Close(file);
}

// A device on the bus that is not a bridge: no interface 0 in its configuration.
class NotABridge : public UsbFunction {
public:
    std::vector<std::uint8_t> DeviceDescriptor() const override {
        return {18, 1, 0, 2, 0, 0, 0, 64, 0x09, 0x12, 0x01, 0x00, 0, 1, 0, 0, 0, 1};
    }
    std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t) const override {
        return {9, 2, 9, 0, 0, 1, 0, 0x80, 50};
    }
    TransferStatus SetConfiguration(std::uint8_t) override { return TransferStatus::Completed; }
    TransferResult Control(const ControlSetup&, std::span<std::uint8_t>) override { return {}; }
    TransferResult Bulk(std::uint8_t, std::span<std::uint8_t>) override { return {}; }
    bool Attached() const override { return true; }
};

TEST_F(UsbStackTest, ADeviceTheDriverCannotStartPublishesNoInterface) {
    const DeviceId other = DeviceManager::Instance().PlugEmulated(std::make_shared<NotABridge>());
    EXPECT_EQ(DeviceManager::Instance().InterfacePaths(kTavrinInterfaceClass).size(), 1u);
    DeviceManager::Instance().Unplug(other);
}

TEST(ConfigurationDescriptorTest, HostileLengthsEndTheWalk) {
    struct Case {
        const char* what;
        std::vector<std::uint8_t> bytes;
        bool parsed;
        std::size_t endpoints;
    };
    const std::vector<std::uint8_t> bridge = {9, 2, 39, 0, 1, 1, 0, 0x80, 50,  // configuration
                                              9, 4, 0, 0, 3, 0xFF, 0, 0, 0,   // interface 0
                                              7, 5, 0x01, 2, 64, 0, 0,        // endpoints
                                              7, 5, 0x82, 2, 64, 0, 0,
                                              7, 5, 0x83, 2, 64, 0, 0};
    auto withByte = [&](std::size_t at, std::uint8_t value) {
        auto copy = bridge;
        copy[at] = value;
        return copy;
    };
    const Case cases[] = {
        {"whole", bridge, true, 3},
        {"zero-length descriptor", withByte(18, 0), true, 0},
        {"descriptor running past the total", withByte(32, 200), true, 2},
        {"total longer than the bytes", withByte(2, 250), true, 3},
        {"not a configuration", withByte(1, 4), false, 0},
        {"cut short", {9, 2, 39}, false, 0},
    };
    for (const Case& c : cases) {
        const auto parsed = ParseConfigurationDescriptor(c.bytes);
        ASSERT_EQ(parsed.has_value(), c.parsed) << c.what;
        if (!parsed) continue;
        const InterfaceInfo* interface = parsed->Find(0, 0);
        ASSERT_NE(interface, nullptr) << c.what;
        EXPECT_EQ(interface->endpoints.size(), c.endpoints) << c.what;
    }
}

TEST(BridgeIdsTest, ListsOfVendorAndProductIds) {
    EXPECT_EQ(ParseBridgeIds("1209:0001,abcd:EF01"), (std::vector<UsbId>{{0x1209, 0x0001}, {0xABCD, 0xEF01}}));
    EXPECT_EQ(ParseBridgeIds("12345:1,zz:1,1:,:2,,7:8"), (std::vector<UsbId>{{7, 8}}));
    EXPECT_TRUE(ParseBridgeIds("").empty());
}

}  // namespace
}  // namespace murmex::usb
