// The card device in card mode: kvcard bound at run time from a program
// directory, the USB access library, the device manager, the bridge driver
// and an emulated bridge with a SmartMedia card.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "BridgeRig.h"
#include "CCardDevice.h"

namespace murmex {
namespace {

namespace fs = std::filesystem;
using bridge::TransferRecord;
using Kind = TransferRecord::Kind;

struct RecordedMessages : DeviceMessages {
    void ShowDeviceMessage(const std::string& caption, const std::string& text) override {
        EXPECT_EQ(caption, "Murmex PLUS");
        texts.push_back(text);
    }
    std::vector<std::string> texts;
};

// A program directory of its own, with the card access library and the USB
// access library copied in, so that nothing a connect writes lands in the build.
class CardModeDevice : public ::testing::Test {
protected:
    void SetUp() override {
        programDir_ = fs::temp_directory_path() / ("murmex-card-mode-" + std::to_string(::getpid()));
        fs::create_directories(programDir_);
        const fs::path bin = std::getenv("MURMEX_BIN_DIR");
        for (const char* module : {"kvcard.dll", "hvtavrin.dll"})
            fs::copy_file(bin / module, programDir_ / module, fs::copy_options::overwrite_existing);
        ::setenv("MURMEX_PROGRAM_DIR", (programDir_.string() + "/").c_str(), 1);
    }
    void TearDown() override {
        device_.Close();
        ::unsetenv("MURMEX_PROGRAM_DIR");
        fs::remove_all(programDir_);
    }

    int Connect() { return device_.Connect(programDir_.string() + "/", messages_); }

    fs::path programDir_;
    test::TempCardImage image_{16u << 20};
    CCardDevice device_;
    RecordedMessages messages_;
};

TEST_F(CardModeDevice, BlocksTravelAsOneCommandAndOneBulkTransferEach) {
    test::BridgeRig rig(image_.Path());
    ASSERT_EQ(Connect(), 1);
    EXPECT_TRUE(messages_.texts.empty());
    ASSERT_EQ(device_.GetBlockBytes(), 16384u);

    std::vector<std::uint8_t> block(16384);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7 + i / 512);
    rig.Bridge().ClearLog();
    ASSERT_EQ(device_.WriteBlock(0x8000, block), 1);
    const std::vector<TransferRecord> write = {
        {Kind::ControlOut, 8, 0, 7}, {Kind::BulkOut, 0x01, 0, 32 * 544}, {Kind::ControlIn, 1, 0, 3}};
    EXPECT_EQ(rig.Bridge().Log(), write);
    EXPECT_EQ(image_.Bytes(0x8000, 16384), block);

    rig.Bridge().ClearLog();
    std::vector<std::uint8_t> back(16384);
    ASSERT_EQ(device_.ReadBlock(0x8000, back), 1);
    const std::vector<TransferRecord> read = {{Kind::ControlOut, 7, 0, 7}, {Kind::BulkIn, 0x82, 0, 32 * 544}};
    EXPECT_EQ(rig.Bridge().Log(), read);
    EXPECT_EQ(back, block);
}

TEST_F(CardModeDevice, ProgrammingOnlyClearsBitsUntilTheBlockIsErased) {
    test::BridgeRig rig(image_.Path());
    ASSERT_EQ(Connect(), 1);
    std::vector<std::uint8_t> block(16384, 0xF0);
    ASSERT_EQ(device_.WriteBlock(0x4000, block), 1);
    std::fill(block.begin(), block.end(), 0x0F);
    ASSERT_EQ(device_.WriteBlock(0x4000, block), 1);
    EXPECT_EQ(image_.Bytes(0x4000, 16384), std::vector<std::uint8_t>(16384, 0x00));
    ASSERT_EQ(device_.EraseBlock(0x4000), 1);
    EXPECT_EQ(image_.Bytes(0x4000, 16384), std::vector<std::uint8_t>(16384, 0xFF));
}

TEST_F(CardModeDevice, SmallCardsMoveSixteenPagesABlock) {
    test::BridgeRig rig(image_.Path());
    ASSERT_EQ(Connect(), 1);
    EXPECT_EQ(device_.SetCardSize(64), 0);
    EXPECT_EQ(device_.GetBlockBytes(), 16384u);
    ASSERT_EQ(device_.SetCardSize(8), 1);
    std::vector<std::uint8_t> block(8192);
    rig.Bridge().ClearLog();
    ASSERT_EQ(device_.ReadBlock(0x2000, block), 1);
    ASSERT_EQ(rig.Bridge().Log().size(), 2u);
    EXPECT_EQ(rig.Bridge().Log()[1].length, 16u * 544);
}

TEST_F(CardModeDevice, CardFailuresReachTheUserAsTheErrorTableSaysThem) {
    struct Case {
        const char* fault;
        const char* text;
        int (*operation)(CCardDevice&);
    };
    static std::vector<std::uint8_t> block(16384, 0x00);
    const Case cases[] = {
        {"bad=3", "Write fail at SSFDC (bad block)",
         [](CCardDevice& d) { return d.WriteBlock(3 * 16384, block); }},
        {"bad=3", "Erase fail at SSFDC (bad block)", [](CCardDevice& d) { return d.EraseBlock(3 * 16384); }},
        {"busy", "Timeout. when waiting busy off (during write, erase operation)",
         [](CCardDevice& d) { return d.EraseBlock(0); }},
        {"short", "I/O timeout error.\nDevice is not attached.",
         [](CCardDevice& d) { return d.ReadBlock(0, block); }},
    };
    for (const Case& c : cases) {
        test::BridgeRig rig(image_.Path(), c.fault);
        ASSERT_EQ(Connect(), 1) << c.fault;
        EXPECT_EQ(c.operation(device_), 0) << c.fault;
        EXPECT_EQ(device_.GetErrorText(), c.text) << c.fault;
        device_.Close();
    }
}

TEST_F(CardModeDevice, AFailedReadLeavesTheCallersBufferAlone) {
    test::BridgeRig rig(image_.Path(), "short");
    ASSERT_EQ(Connect(), 1);
    std::vector<std::uint8_t> buffer(16384, 0x5A);
    EXPECT_EQ(device_.ReadBlock(0, buffer), 0);
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(16384, 0x5A));
}

TEST_F(CardModeDevice, ABridgeThatRefusesTwelveMegahertzRunsAtSix) {
    test::BridgeRig rig(image_.Path(), "refuse-clock=2");
    EXPECT_EQ(Connect(), 1);
    EXPECT_EQ(messages_.texts, std::vector<std::string>{"12Mhz USB setting failed."});
}

TEST_F(CardModeDevice, LivenessFollowsTheBridgeAndCloseUnbinds) {
    auto rig = std::make_unique<test::BridgeRig>(image_.Path());
    EXPECT_EQ(device_.IsDeviceAlive(), 0);
    EXPECT_EQ(device_.GetErrorText(), "USB setting failed.");
    ASSERT_EQ(Connect(), 1);
    EXPECT_EQ(device_.IsDeviceAlive(), 1);
    EXPECT_EQ(device_.GetErrorText(), "No error.");
    rig.reset();
    EXPECT_EQ(device_.IsDeviceAlive(), 0);
    EXPECT_EQ(device_.Close(), 1);
    EXPECT_EQ(device_.GetErrorText(), "USB setting failed.");
    std::vector<std::uint8_t> buffer(16384);
    EXPECT_EQ(device_.ReadBlock(0, buffer), 0);
}

TEST(CardErrorTextTest, CodesBeyondTheTableHaveNoText) {
    EXPECT_EQ(CardErrorText(0), "No error.");
    EXPECT_EQ(CardErrorText(13), "Write fail at SSFDC (bad block)");
    EXPECT_EQ(CardErrorText(14), "");
    EXPECT_EQ(CardErrorText(0xFFFFFFFF), "");
}

}  // namespace
}  // namespace murmex
