// The MMC cards behind the bridge: identification (one card, two cards with
// GPIO 6), response framing and CRCs, block reads, decoded write streams,
// erase with busy.
#include "BridgeWire.h"

namespace murmex::bridge::test {
namespace {

constexpr std::size_t kBlock = 512;

bool R1Valid(const std::vector<std::uint8_t>& r, std::uint8_t index) {
    return r.size() == 7 && r[0] == index && r[5] == crc::Crc7Byte(std::span(r).first(5)) && r[6] == 0xFF;
}

bool R2Valid(const std::vector<std::uint8_t>& r) {
    return r.size() == 21 && r[0] == 0x3F && r[16] == crc::Crc7Byte(std::span(r).subspan(1, 15));
}

std::uint16_t SlotCrc(const std::vector<std::uint8_t>& slots, std::size_t slot) {
    return static_cast<std::uint16_t>((slots[slot * kSlot + kBlock] << 8) | slots[slot * kSlot + kBlock + 1]);
}

std::vector<std::uint8_t> SlotData(const std::vector<std::uint8_t>& slots, std::size_t slot) {
    const auto at = slots.begin() + static_cast<std::ptrdiff_t>(slot * kSlot);
    return {at, at + kBlock};
}

class MmcTest : public ::testing::Test {
protected:
    void Open(std::string extra = "") {
        bridge_ = std::make_unique<BridgeEmulator>(Options(image_, "mmc" + (extra.empty() ? "" : "," + extra)));
        host_ = std::make_unique<Host>(*bridge_);
    }
    std::vector<std::uint8_t> WriteStatus() { return host_->BulkIn(8, kStatusIn); }

    TempImage image_{2 * kMiB};
    std::unique_ptr<BridgeEmulator> bridge_;
    std::unique_ptr<Host> host_;
};

TEST_F(MmcTest, IdentifiesOneCard) {
    Open();
    Host& host = *host_;
    host.Out(req::kMode, 0);
    host.Out(req::kMode, 2);
    host.Mmc(0);
    const auto first = host.MmcR1(1, 0x00FFC000);
    EXPECT_EQ(first, (std::vector<std::uint8_t>{0x3F, 0x00, 0xFF, 0xC0, 0x00, 0xFF, 0xFF})) << "still powering up";

    EXPECT_GT(host.MmcPowerUp(), 1);
    const auto cid = host.MmcR2(2);
    ASSERT_TRUE(R2Valid(cid));
    EXPECT_TRUE(std::all_of(cid.begin() + 4, cid.begin() + 11, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; }))
        << "product name";
    EXPECT_EQ(host.MmcR2(2)[0], 0xFF) << "the only card is already identified";

    EXPECT_TRUE(R1Valid(host.MmcR1(3, 1u << 16), 3));
    const auto csd = host.MmcR2(9, 1u << 16);
    ASSERT_TRUE(R2Valid(csd));
    EXPECT_EQ(host.MmcR2(10, 1u << 16), cid);
    EXPECT_EQ(host.MmcR1(34)[0], 0xFF) << "the probe is answered only once selected";
    EXPECT_TRUE(R1Valid(host.MmcR1(7, 1u << 16), 7));
    EXPECT_TRUE(R1Valid(host.MmcR1(34), 34));

    host.Mmc(0);
    EXPECT_EQ(host.MmcR1(34)[0], 0xFF) << "GO_IDLE drops the selection";
}

TEST(MmcCsdTest, SizeFieldsGiveTheImageSize) {
    for (const std::uint64_t bytes : {1 * kMiB, 16 * kMiB, 32 * kMiB, 64 * kMiB, 128 * kMiB}) {
        TempImage image(bytes);
        BridgeEmulator bridge(Options(image, "mmc"));
        Host host(bridge);
        ASSERT_GT(host.MmcPowerUp(), 0);
        host.MmcEnumerate();
        const auto r = host.MmcR2(9, 1u << 16);
        const unsigned cSize = ((r[7] << 10) | (r[8] << 2) | (r[9] >> 6)) & 0xFFF;
        const unsigned mult = ((r[10] << 1) | (r[11] >> 7)) & 7;
        const unsigned readBlockLength = r[6] & 0x0F;
        EXPECT_EQ(readBlockLength, 9u);
        EXPECT_EQ(std::uint64_t{cSize + 1} << (mult + 2 + readBlockLength), bytes);
    }
}

TEST(MmcTwoCardsTest, Gpio6TakesSlot0OffTheBus) {
    TempImage first(1 * kMiB), second(1 * kMiB);
    BridgeEmulator bridge(ParseBridgeOptions(first.Path() + ",mmc,mmc1=" + second.Path()));
    Host host(bridge);

    host.Out(req::kMode, 0);
    host.Out(req::kMode, 2);
    host.Out(req::kWriteGpio, 0x0006);
    ASSERT_GT(host.MmcPowerUp(), 0);
    const auto alone = host.MmcEnumerate();
    ASSERT_EQ(alone.size(), 1u);

    host.Out(req::kWriteGpio, 0x0106);
    ASSERT_GT(host.MmcPowerUp(), 0);
    const auto both = host.MmcEnumerate();
    ASSERT_EQ(both.size(), 2u);
    EXPECT_NE(both[0], both[1]);
    EXPECT_EQ(both[1], alone[0]) << "slot 1 holds the card that stays on the bus";

    // RCA 2 went to the slot-1 card: writes to it land in its image.
    EXPECT_TRUE(R1Valid(host.MmcR1(7, 2u << 16), 7));
    const auto block = Pattern(kBlock, 9);
    host.Mmc(24, 0, req::kCommandWrite);
    host.BulkOut(WriteStream(block));
    EXPECT_EQ(host.BulkIn(8, kStatusIn), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(second.Bytes(0, kBlock), block);
    EXPECT_EQ(first.Bytes(0, kBlock), std::vector<std::uint8_t>(kBlock, 0xFF));

    EXPECT_TRUE(R1Valid(host.MmcR1(7, 1u << 16), 7));
    EXPECT_TRUE(R1Valid(host.MmcR1(34), 34)) << "one card selected, one answer";
}

TEST_F(MmcTest, CommandWithWrongCrcIsIgnored) {
    Open();
    host_->MmcSelectOnly();
    auto packet = Host::MmcPacket(34, 0);
    packet[6] ^= 0x02;
    host_->Out(req::kCommand, 0, packet);
    EXPECT_EQ(host_->Response(1), std::vector<std::uint8_t>(7, 0xFF));
}

TEST_F(MmcTest, DecodedWriteStreamLandsAndCorruptOneIsRejected) {
    Open();
    host_->MmcSelectOnly();
    const auto block = Pattern(kBlock, 3);
    host_->Mmc(24, 3 * kBlock, req::kCommandWrite);
    host_->BulkOut(WriteStream(block));
    EXPECT_EQ(WriteStatus(), std::vector<std::uint8_t>(8, 0));
    EXPECT_EQ(image_.Bytes(3 * kBlock, kBlock), block);

    auto corrupt = WriteStream(Pattern(kBlock, 4));
    corrupt[200] ^= 0x10;
    host_->Mmc(24, 4 * kBlock, req::kCommandWrite);
    host_->BulkOut(corrupt);
    const auto status = WriteStatus();
    EXPECT_EQ(status[0], 0);
    EXPECT_NE(status[1] & 0xF0, 0);
    EXPECT_EQ(image_.Bytes(4 * kBlock, kBlock), std::vector<std::uint8_t>(kBlock, 0xFF));
}

TEST_F(MmcTest, MultiBlockWriteReportsPerGroupAndStops) {
    Open();
    host_->MmcSelectOnly();
    const auto data = Pattern(3 * kBlock, 5);
    host_->Mmc(25, 8 * kBlock, req::kCommandWrite);
    for (std::size_t i = 0; i < 3; ++i) {
        const std::vector<std::uint8_t> block(data.begin() + static_cast<std::ptrdiff_t>(i * kBlock),
                                              data.begin() + static_cast<std::ptrdiff_t>((i + 1) * kBlock));
        host_->BulkOut(WriteStream(block));
        if (i == 1) {
            EXPECT_EQ(WriteStatus(), std::vector<std::uint8_t>(8, 0));
        }
    }
    EXPECT_EQ(WriteStatus(), std::vector<std::uint8_t>(8, 0));
    host_->Mmc(12);
    EXPECT_TRUE(R1Valid(host_->Response(1, req::kStopResponse), 12));
    EXPECT_EQ(image_.Bytes(8 * kBlock, 3 * kBlock), data);

    host_->BulkOut(WriteStream(Pattern(kBlock, 6)));  // after the stop: not a block any more
    EXPECT_EQ(image_.Bytes(11 * kBlock, kBlock), std::vector<std::uint8_t>(kBlock, 0xFF));
}

TEST_F(MmcTest, ReadsDeliverSlotsWithCrc16) {
    const auto data = Pattern(4 * kBlock, 7);
    image_.Put(20 * kBlock, data);
    Open();
    host_->MmcSelectOnly();

    host_->Mmc(17, 21 * kBlock);
    host_->In(req::kArm, 0, 0);
    const auto single = host_->BulkIn(kSlot);
    EXPECT_EQ(SlotData(single, 0), std::vector<std::uint8_t>(data.begin() + kBlock, data.begin() + 2 * kBlock));
    EXPECT_EQ(SlotCrc(single, 0), crc::Crc16(SlotData(single, 0)));

    host_->Mmc(18, 20 * kBlock, req::kCommandRead);
    const auto slots = host_->BulkIn(4 * kSlot);
    for (std::size_t i = 0; i < 4; ++i) {
        const auto block = SlotData(slots, i);
        EXPECT_EQ(block, std::vector<std::uint8_t>(data.begin() + static_cast<std::ptrdiff_t>(i * kBlock),
                                                   data.begin() + static_cast<std::ptrdiff_t>((i + 1) * kBlock)));
        EXPECT_EQ(SlotCrc(slots, i), crc::Crc16(block)) << i;
    }
    EXPECT_TRUE(R1Valid(host_->MmcR1(12), 12));
    EXPECT_EQ(host_->BulkIn(kSlot), std::vector<std::uint8_t>(kSlot, 0xFF)) << "stopped: idle bus";
}

TEST_F(MmcTest, EraseHoldsBusyThenReleasesErasedBlocks) {
    image_.Put(0, std::vector<std::uint8_t>(64 * kBlock, 0x00));
    Open();
    host_->MmcSelectOnly();
    EXPECT_TRUE(R1Valid(host_->MmcR1(32, 32 * kBlock), 32));
    EXPECT_TRUE(R1Valid(host_->MmcR1(33, 63 * kBlock), 33));
    EXPECT_TRUE(R1Valid(host_->MmcR1(38), 38));
    host_->In(req::kArm, 0, 0);

    EXPECT_EQ(host_->BulkIn(32), std::vector<std::uint8_t>(32, 0x00)) << "busy right after the command";
    int reads = 1;
    while (reads < 100 && host_->BulkIn(32) == std::vector<std::uint8_t>(32, 0x00)) ++reads;
    EXPECT_LT(reads, 100);
    EXPECT_EQ(image_.Bytes(32 * kBlock, 32 * kBlock), std::vector<std::uint8_t>(32 * kBlock, 0xFF));
    EXPECT_EQ(image_.Bytes(31 * kBlock, kBlock), std::vector<std::uint8_t>(kBlock, 0x00));
}

TEST_F(MmcTest, BadBlockRejectsProgramming) {
    Open("bad=1");
    host_->MmcSelectOnly();
    host_->Mmc(24, 16384 + kBlock, req::kCommandWrite);
    host_->BulkOut(WriteStream(Pattern(kBlock, 8)));
    EXPECT_EQ(WriteStatus(), (std::vector<std::uint8_t>{0, 0x50, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(image_.Bytes(16384 + kBlock, kBlock), std::vector<std::uint8_t>(kBlock, 0xFF));
}

}  // namespace
}  // namespace murmex::bridge::test
