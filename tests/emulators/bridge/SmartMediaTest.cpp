// The SmartMedia chip behind the bridge, driven with the chip commands the
// host sends: ID, page reads in slots, programs, erases, status.
#include "BridgeWire.h"

namespace murmex::bridge::test {
namespace {

constexpr std::size_t kPage = 512;

std::uint32_t PageAddress(std::uint32_t page) { return page << 8; }
std::uint32_t EraseAddress(std::uint32_t page) { return page | 0xD0000000u; }

class SmartMediaTest : public ::testing::Test {
protected:
    void Open(std::string extra = "") {
        bridge_ = std::make_unique<BridgeEmulator>(Options(image_, extra));
        host_ = std::make_unique<Host>(*bridge_);
        host_->Out(req::kMode, 3);
    }
    void ProgramPages(std::uint32_t firstPage, const std::vector<std::uint8_t>& data) {
        host_->Chip(0x80, PageAddress(firstPage), req::kCommandWrite);
        std::vector<std::uint8_t> slots;
        for (std::size_t at = 0; at < data.size(); at += kPage) {
            slots.insert(slots.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                         data.begin() + static_cast<std::ptrdiff_t>(at + kPage));
            slots.resize(slots.size() + kSlot - kPage, 0x00);  // spare and padding are not kept
        }
        ASSERT_TRUE(host_->BulkOut(slots).Ok());
    }
    std::uint8_t Response() { return host_->In(req::kResponse, 0, 3).at(0); }

    TempImage image_{4 * kMiB};
    std::unique_ptr<BridgeEmulator> bridge_;
    std::unique_ptr<Host> host_;
};

TEST(SmartMediaIdTest, DeviceCodeFollowsImageSize) {
    const struct {
        std::uint64_t bytes;
        std::uint8_t device;
    } cases[] = {{4 * kMiB, 0xE3}, {8 * kMiB, 0xE6}, {16 * kMiB, 0x73}, {32 * kMiB, 0x75}, {64 * kMiB, 0x76},
                 {3 * kMiB, 0x00}};
    for (const auto& c : cases) {
        TempImage image(c.bytes);
        BridgeEmulator bridge(Options(image));
        Host host(bridge);
        host.Out(req::kMode, c.bytes == 64 * kMiB ? 4 : 3);
        host.Chip(0xFF);
        host.Chip(0x90);
        const auto id = host.In(req::kResponse, 0, 3);
        EXPECT_EQ(id, (std::vector<std::uint8_t>{0x5A, c.device, 0xFF})) << c.bytes;
    }
}

TEST_F(SmartMediaTest, ReadDeliversPagesInSlotsAcrossTransfers) {
    const auto pages = Pattern(3 * kPage, 1);
    image_.Put(5 * kPage, pages);
    Open();
    host_->Chip(0x00, PageAddress(5), req::kCommandRead);
    auto slots = host_->BulkIn(1000);  // a slot may be split between transfers
    const auto rest = host_->BulkIn(3 * kSlot - 1000);
    slots.insert(slots.end(), rest.begin(), rest.end());

    for (std::size_t i = 0; i < 3; ++i) {
        const auto slot = slots.begin() + static_cast<std::ptrdiff_t>(i * kSlot);
        EXPECT_TRUE(std::equal(slot, slot + kPage, pages.begin() + static_cast<std::ptrdiff_t>(i * kPage))) << i;
        EXPECT_TRUE(std::all_of(slot + kPage, slot + kSlot, [](std::uint8_t b) { return b == 0xFF; })) << i;
    }
}

TEST_F(SmartMediaTest, ReadBeyondTheChipIsErased) {
    image_.Put(4 * kMiB - kPage, std::vector<std::uint8_t>(kPage, 0x00));
    Open();
    host_->Chip(0x00, PageAddress(8191), req::kCommandRead);
    const auto slots = host_->BulkIn(2 * kSlot);
    EXPECT_TRUE(std::all_of(slots.begin(), slots.begin() + kPage, [](std::uint8_t b) { return b == 0x00; }));
    EXPECT_TRUE(std::all_of(slots.begin() + kSlot, slots.end(), [](std::uint8_t b) { return b == 0xFF; }));
}

TEST_F(SmartMediaTest, ProgramOnlyClearsBits) {
    image_.Put(0, std::vector<std::uint8_t>(2 * kPage, 0xF0));
    Open();
    ProgramPages(0, std::vector<std::uint8_t>(2 * kPage, 0x3C));
    EXPECT_EQ(Response(), 0xC0);
    EXPECT_EQ(image_.Bytes(0, 2 * kPage), std::vector<std::uint8_t>(2 * kPage, 0x30));

    // Single program: raw bytes from the column on, the rest of the page untouched.
    host_->Chip(0x80, PageAddress(2) | 0x10);
    ASSERT_TRUE(host_->BulkOut({0x0F, 0xAA}).Ok());
    EXPECT_EQ(Response(), 0xC0);
    EXPECT_EQ(image_.Bytes(2 * kPage + 0x0F, 4), (std::vector<std::uint8_t>{0xFF, 0x0F, 0xAA, 0xFF}));
}

TEST_F(SmartMediaTest, EraseNeedsTheConfirmCodeAndClearsOneBlock) {
    image_.Put(0, std::vector<std::uint8_t>(40 * kPage, 0x00));
    Open();
    host_->Chip(0x60, 16);  // no 0xD0 confirm
    EXPECT_EQ(host_->ChipStatus(), 0xC1);
    EXPECT_EQ(image_.Bytes(16 * kPage, kPage), std::vector<std::uint8_t>(kPage, 0x00));

    host_->Chip(0x60, EraseAddress(20));  // any page of block 1 (16 pages on a 4 MB chip)
    EXPECT_EQ(host_->In(req::kReady, 0, 2).at(0), 1);
    EXPECT_EQ(host_->ChipStatus(), 0xC0);
    EXPECT_EQ(image_.Bytes(16 * kPage, 16 * kPage), std::vector<std::uint8_t>(16 * kPage, 0xFF));
    EXPECT_EQ(image_.Bytes(15 * kPage, kPage), std::vector<std::uint8_t>(kPage, 0x00));
    EXPECT_EQ(image_.Bytes(32 * kPage, kPage), std::vector<std::uint8_t>(kPage, 0x00));
}

TEST_F(SmartMediaTest, BadBlockFailsProgramAndEraseAndKeepsItsData) {
    Open("bad=2");
    ProgramPages(31, std::vector<std::uint8_t>(2 * kPage, 0x00));  // last page of block 1, first of block 2
    EXPECT_EQ(Response() & 0x01, 0x01);
    EXPECT_EQ(image_.Bytes(31 * kPage, kPage), std::vector<std::uint8_t>(kPage, 0x00));
    EXPECT_EQ(image_.Bytes(32 * kPage, kPage), std::vector<std::uint8_t>(kPage, 0xFF));

    host_->Chip(0x60, EraseAddress(32));
    EXPECT_EQ(host_->ChipStatus(), 0xC1);
    host_->Chip(0x60, EraseAddress(16));
    EXPECT_EQ(host_->ChipStatus(), 0xC0);
}

TEST_F(SmartMediaTest, ProgramBeyondTheChipFails) {
    Open();
    ProgramPages(8192, std::vector<std::uint8_t>(kPage, 0x00));
    EXPECT_EQ(Response(), 0xC1);
    host_->Chip(0x60, EraseAddress(0xFFFFFF));
    EXPECT_EQ(host_->ChipStatus(), 0xC1);
}

}  // namespace
}  // namespace murmex::bridge::test
