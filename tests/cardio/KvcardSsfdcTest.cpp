// SmartMedia through the exported calls: page groups on the bulk pipes,
// program and erase results, chip identification and the protected blocks.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "KvcardFixture.h"
#include "CInterface.h"

namespace murmex::test {
namespace {

constexpr std::uint64_t k32MB = 32u << 20;
constexpr std::uint32_t kPage = 512;
constexpr std::uint32_t kRecord = 528;
constexpr std::uint32_t kSlot = 544;
constexpr std::uint32_t kBlockBytes = 16384;

class KvcardSsfdc : public KvcardFixture {
protected:
    // Opens the bridge in SmartMedia mode, as the manager connects.
    void Open(const std::string& image, const std::string& options = "") {
        PlugAndOpen(image, options);
        ASSERT_EQ(DEVICESelectMode(3), 1);
        ClearLog();
    }

    // Page records whose data part is `data`, spare bytes erased.
    static std::vector<unsigned char> Records(const std::vector<std::uint8_t>& data) {
        std::vector<unsigned char> records(data.size() / kPage * kRecord, 0xFF);
        for (std::size_t p = 0; p < data.size() / kPage; ++p)
            std::copy_n(data.begin() + p * kPage, kPage, records.begin() + p * kRecord);
        return records;
    }
    static std::vector<std::uint8_t> DataOf(const std::vector<unsigned char>& records) {
        std::vector<std::uint8_t> data;
        for (std::size_t p = 0; p < records.size() / kRecord; ++p)
            data.insert(data.end(), records.begin() + p * kRecord, records.begin() + p * kRecord + kPage);
        return data;
    }
};

TEST_F(KvcardSsfdc, ReadOfFortyPagesIsOneFullAndOnePartialGroup) {
    const auto content = Pattern(40 * kPage, 1);
    Open(MakeImage(k32MB, 0xFF, content));
    std::vector<unsigned char> records(40 * kRecord + 16, 0xEE);
    ASSERT_EQ(SSFDCReadMultiBlock(records.data(), 0, kSlot, 40), 1);
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{CtlOut(7, 7), BulkIn(32 * kSlot), BulkIn(8 * kSlot)}));
    records.resize(40 * kRecord + 16);
    EXPECT_EQ(DataOf({records.begin(), records.begin() + 40 * kRecord}), content);
    EXPECT_EQ(std::vector<unsigned char>(records.end() - 16, records.end()), std::vector<unsigned char>(16, 0xEE))
        << "nothing written past the 40 records";
}

TEST_F(KvcardSsfdc, WriteGroupsOfSixtyFourSlotsAndOneStatus) {
    struct Case {
        std::uint32_t pages;
        std::vector<TransferRecord> bulk;
    };
    const Case cases[] = {
        {32, {BulkOut(32 * kSlot)}},
        {100, {BulkOut(64 * kSlot), BulkOut(36 * kSlot)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pages);
        const std::string image = MakeImage(k32MB);
        Open(image);
        const auto content = Pattern(c.pages * kPage, c.pages);
        auto records = Records(content);
        ASSERT_EQ(SSFDCWriteMultiBlock(records.data(), 2 * kBlockBytes, kSlot, c.pages), 1);
        EXPECT_EQ(Log().front(), CtlOut(8, 7));
        EXPECT_EQ(Only(Kind::BulkOut), c.bulk);
        EXPECT_EQ(Log().back(), CtlIn(1, 3));
        EXPECT_EQ(ReadFileBytes(image, 2 * kBlockBytes, content.size()), content);
        IOClose();
        usb::DeviceManager::Instance().UnplugAll();
    }
}

TEST_F(KvcardSsfdc, UnitOtherThanTheSlotSizeIsRefusedBeforeAnyTransfer) {
    Open(MakeImage(k32MB));
    std::vector<unsigned char> records(4 * kSlot);
    EXPECT_EQ(SSFDCReadMultiBlock(records.data(), 0, 2 * kSlot, 2), 0);
    EXPECT_EQ(SSFDCWriteMultiBlock(records.data(), 0, kRecord, 2), 0);
    EXPECT_TRUE(Log().empty());
}

TEST_F(KvcardSsfdc, EraseClearsTheBlockAfterReadyPollAndStatus) {
    const std::string image = MakeImage(k32MB, 0x00);
    Open(image);
    ASSERT_EQ(SSFDCEraseBlock(kBlockBytes), 1);
    const auto log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log.front(), CtlOut(0, 7));
    EXPECT_EQ(log[1], CtlIn(5, 2));
    EXPECT_EQ(log[log.size() - 2], CtlOut(0, 7));
    EXPECT_EQ(log.back(), CtlIn(1, 3));
    EXPECT_EQ(ReadFileBytes(image, kBlockBytes, kBlockBytes), std::vector<std::uint8_t>(kBlockBytes, 0xFF));
    EXPECT_EQ(ReadFileBytes(image, 0, 16), std::vector<std::uint8_t>(16, 0x00));
}

TEST_F(KvcardSsfdc, ChipThatStaysBusyFailsAfterFivePollsWithoutStatusRead) {
    Open(MakeImage(k32MB), "busy");
    EXPECT_EQ(SSFDCEraseBlock(0), 0);
    EXPECT_EQ(IOGetLastError(), 7u);
    std::vector<TransferRecord> expected{CtlOut(0, 7)};
    expected.insert(expected.end(), 5, CtlIn(5, 2));
    EXPECT_EQ(Log(), expected);
}

TEST_F(KvcardSsfdc, BadBlockFailsProgramAndErase) {
    Open(MakeImage(k32MB), "bad=3");
    auto records = Records(Pattern(32 * kPage, 3));
    EXPECT_EQ(SSFDCWriteMultiBlock(records.data(), 3 * kBlockBytes, kSlot, 32), 0);
    EXPECT_EQ(IOGetLastError(), 13u);
    EXPECT_EQ(SSFDCEraseBlock(3 * kBlockBytes), 0);
    EXPECT_EQ(IOGetLastError(), 12u);
    EXPECT_EQ(SSFDCEraseBlock(4 * kBlockBytes), 1);
}

struct ChipCase {
    std::uint64_t imageBytes;
    unsigned char deviceCode;
    const char* name;
};

TEST_F(KvcardSsfdc, CheckIdentifiesEveryChipSize) {
    const ChipCase cases[] = {
        {4u << 20, 0xE3, "Unlnown card"}, {8u << 20, 0xE6, "8MB"},  {16u << 20, 0x73, "16MB"},
        {32u << 20, 0x75, "32MB"},        {64u << 20, 0x76, "64MB"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Plug(MakeImage(c.imageBytes));
        cardio::CInterface card;
        ASSERT_EQ(card.KernelIO().OpenPort(0, 0), 1);
        ClearLog();
        ASSERT_EQ(card.SSFDCCheckCard(), 1);
        EXPECT_EQ(card.SSFDCGetDeviceCode(), c.deviceCode);
        EXPECT_STREQ(card.SSFDCGetProductName(), c.name);
        EXPECT_EQ(card.SSFDCHasUniqueID(), 0);
        // The 64 MB chip needs its own bus mode.
        const bool big = c.deviceCode == 0x76;
        EXPECT_EQ(Log().back(), big ? CtlOut(6, 0, 2) : CtlIn(1, 3));
        usb::DeviceManager::Instance().UnplugAll();
    }
}

TEST_F(KvcardSsfdc, CheckFailsWithoutChipAndForMoreThanOneChip) {
    Open(MakeImage(k32MB), "nocard");
    EXPECT_EQ(SSFDCCheckCard(), 0);
    EXPECT_EQ(IOGetLastError(), 4u);
    EXPECT_EQ(SSFDCGetDeviceCode(), 0);

    cardio::CInterface card;
    card.KernelIO().SetError(9);
    ClearLog();
    EXPECT_EQ(card.SSFDCCheckCardN(2), 0);
    EXPECT_EQ(card.KernelIO().GetLastError(), 9u);
    EXPECT_TRUE(Log().empty());
}

TEST_F(KvcardSsfdc, ThirtyTwoMegabyteChipKeepsItsLastBlockOfEachHalf) {
    const std::string image = MakeImage(k32MB, 0x00);
    Open(image);
    // Before any check the device code is 0 and nothing is refused.
    EXPECT_EQ(SSFDCEraseBlock(0xFFC000), 1);

    ASSERT_EQ(SSFDCCheckCard(), 1);
    ASSERT_EQ(SSFDCGetDeviceCode(), 0x75);
    for (std::uint32_t address : {0xFFC000u, 0x1FFC000u, 0x1FFC200u}) {
        ClearLog();
        EXPECT_EQ(SSFDCEraseBlock(address), 0) << std::hex << address;
        EXPECT_EQ(IOGetLastError(), 12u);
        EXPECT_TRUE(Log().empty());
    }
    EXPECT_EQ(ReadFileBytes(image, 0x1FFC000, 16), std::vector<std::uint8_t>(16, 0x00));
    EXPECT_EQ(SSFDCEraseBlock(0x1FF8000), 1);
}

}  // namespace
}  // namespace murmex::test
