// MMC through the exported calls: identification and two-card selection,
// block writes in groups with one command, reads in slot groups, erase.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "KvcardFixture.h"

namespace murmex::test {
namespace {

constexpr std::uint64_t kCardBytes = 4u << 20;
constexpr std::uint32_t kBlock = 512;
constexpr std::uint32_t kSlot = 544;

class KvcardMmc : public KvcardFixture {
protected:
    std::string PlugCard(const std::vector<std::uint8_t>& content = {}, const std::string& options = "") {
        const std::string image = MakeImage(kCardBytes, 0xFF, content);
        PlugAndOpen(image, options.empty() ? "mmc" : "mmc," + options);
        return image;
    }

    void Identify() {
        std::uint32_t serial = 0;
        ASSERT_EQ(MMCCheckCard(&serial), 1) << "last error " << IOGetLastError();
        ClearLog();
    }
};

TEST_F(KvcardMmc, CheckIdentifiesTheCardAndSecondCheckOnlyProbes) {
    PlugCard();
    std::uint32_t serial = 0;
    ASSERT_EQ(MMCCheckCard(&serial), 1) << IOGetLastError();
    EXPECT_NE(serial, 0u);
    EXPECT_EQ(MMCGetSerialNumber(), serial);
    EXPECT_NE(MMCGetDeviceSize(), 0);
    EXPECT_NE(std::string(MMCGetProductName()), "");
    EXPECT_EQ(Log().back(), CtlOut(6, 0, 2)) << "selected card runs at 12 MHz";

    ClearLog();
    std::uint32_t again = 0;
    ASSERT_EQ(MMCCheckCard(&again), 1);
    EXPECT_EQ(again, serial);
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{BulkOut(1024), CtlOut(0, 7), CtlIn(1, 7)}));
}

TEST_F(KvcardMmc, CardNumberOneWithoutSecondCardFails) {
    PlugCard();
    EXPECT_EQ(MMCChangeCard(1), 1);
    std::uint32_t serial = 1;
    EXPECT_EQ(MMCCheckCard(&serial), 0);
    // Still not identified: the next check is a full identification again.
    ClearLog();
    MMCCheckCard(&serial);
    EXPECT_GT(Log().size(), 3u);
}

TEST_F(KvcardMmc, ChangeCardKeepsOnlyNumbersZeroAndOne) {
    PlugCard();
    const std::pair<unsigned short, unsigned short> cases[] = {{1, 1}, {5, 0}, {0, 0}};
    for (auto [asked, kept] : cases) {
        EXPECT_EQ(MMCChangeCard(asked), 1);
        EXPECT_EQ(MMCGetCardNumber(), kept) << asked;
    }
}

TEST_F(KvcardMmc, CardNumberSelectsBetweenTwoCards) {
    const auto first = Pattern(kBlock, 10);
    const auto second = Pattern(kBlock, 20);
    const std::string secondImage = MakeImage(kCardBytes, 0xFF, second);
    PlugCard(first, "mmc1=" + secondImage);
    std::uint32_t serials[2] = {};
    for (unsigned short number : {0, 1}) {
        SCOPED_TRACE(number);
        ASSERT_EQ(MMCChangeCard(number), 1);
        ASSERT_EQ(MMCCheckCard(&serials[number]), 1) << IOGetLastError();
        std::vector<unsigned char> block(kBlock);
        ASSERT_EQ(MMCReadBlock(block.data(), 0, kBlock), 1);
        EXPECT_EQ(block, number == 0 ? first : second);
    }
    EXPECT_NE(serials[0], serials[1]);
}

TEST_F(KvcardMmc, HundredBlockWriteUsesGroupsOfThirtyTwoAndOneCommand) {
    const std::string image = PlugCard();
    Identify();
    const auto content = Pattern(100 * kBlock, 4);
    std::vector<unsigned char> data(content.begin(), content.end());
    ASSERT_EQ(MMCWriteMultiBlock(data.data(), 8 * kBlock, kBlock, 100), 1) << IOGetLastError();

    std::vector<TransferRecord> expected{BulkOut(1024), CtlOut(8, 7)};
    for (unsigned group : {32u, 32u, 32u, 4u}) {
        expected.insert(expected.end(), group, BulkOut(kSlot));
        expected.push_back(WriteStatus());
    }
    expected.push_back(CtlOut(0, 7));
    expected.push_back(CtlIn(11, 7));
    EXPECT_EQ(Log(), expected);
    EXPECT_EQ(ReadFileBytes(image, 8 * kBlock, content.size()), content);
}

// The group sizes of a write, read off the log: data streams between two
// status reads; and how many write commands opened them.
std::pair<std::vector<unsigned>, unsigned> WriteGroups(const std::vector<TransferRecord>& log) {
    std::vector<unsigned> groups;
    unsigned streams = 0, commands = 0;
    for (const auto& r : log) {
        if (r == BulkOut(kSlot)) ++streams;
        if (r == CtlOut(8, 7)) ++commands;
        if (r == WriteStatus()) {
            groups.push_back(streams);
            streams = 0;
        }
    }
    return {groups, commands};
}

TEST_F(KvcardMmc, ARejectedGroupIsWrittenAgainInHalfTheGroupSize) {
    const std::string image = PlugCard({}, "reject-write=2");
    Identify();
    const auto content = Pattern(100 * kBlock, 7);
    std::vector<unsigned char> data(content.begin(), content.end());
    ASSERT_EQ(MMCWriteMultiBlock(data.data(), 0, kBlock, 100), 1) << IOGetLastError();
    const auto [groups, commands] = WriteGroups(Log());
    EXPECT_EQ(groups, (std::vector<unsigned>{32, 32, 16, 16, 16, 16, 4}));
    EXPECT_EQ(commands, 2u);
    EXPECT_EQ(ReadFileBytes(image, 0, content.size()), content);
}

TEST_F(KvcardMmc, PowerUpGetsFortyTries) {
    const std::pair<const char*, int> cases[] = {{"ready-after=40", 1}, {"ready-after=41", 0}, {"ready-after=0", 0}};
    for (auto [option, identified] : cases) {
        SCOPED_TRACE(option);
        IOClose();
        usb::DeviceManager::Instance().UnplugAll();
        PlugCard({}, option);
        std::uint32_t serial = 0;
        EXPECT_EQ(MMCCheckCard(&serial), identified);
        if (!identified) {
            EXPECT_EQ(IOGetLastError(), 4u);
        }
    }
}

TEST_F(KvcardMmc, AReadWithBadDataIsRetriedOnceAfterReidentifying) {
    PlugCard(Pattern(8 * kBlock, 8), "datacrc");
    Identify();
    std::vector<unsigned char> data(8 * kBlock, 0x5A);
    EXPECT_EQ(MMCReadMultiBlock(data.data(), 0, kBlock, 8), 0);
    EXPECT_EQ(IOGetLastError(), 9u);
    // Two reads (command 18), with a full identification between them.
    const auto log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), CtlOut(7, 7)), 2);
    EXPECT_GT(std::count(log.begin(), log.end(), CtlOut(0, 7)), 10);
}

TEST_F(KvcardMmc, SingleBlockWriteIsAMultiBlockWriteOfOne) {
    const std::string image = PlugCard();
    Identify();
    auto data = Pattern(kBlock, 5);
    ASSERT_EQ(MMCWriteBlock(data.data(), 3 * kBlock, kBlock), 1) << IOGetLastError();
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{BulkOut(1024), CtlOut(8, 7), BulkOut(kSlot), WriteStatus(),
                                                  CtlOut(0, 7), CtlIn(11, 7)}));
    EXPECT_EQ(ReadFileBytes(image, 3 * kBlock, kBlock), data);
}

TEST_F(KvcardMmc, TwentyBlockReadIsEightEightFourSlotsAndOneStop) {
    const auto content = Pattern(40 * kBlock, 6);
    PlugCard(content);
    Identify();
    std::vector<unsigned char> data(20 * kBlock);
    ASSERT_EQ(MMCReadMultiBlock(data.data(), 10 * kBlock, kBlock, 20), 1) << IOGetLastError();
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{CtlOut(7, 7), BulkIn(8 * kSlot), BulkIn(8 * kSlot),
                                                  BulkIn(4 * kSlot), CtlOut(0, 7), CtlIn(1, 7)}));
    EXPECT_EQ(data, std::vector<unsigned char>(content.begin() + 10 * kBlock, content.begin() + 30 * kBlock));
}

TEST_F(KvcardMmc, ReadRefusesBlockLengthsThatWouldOverrunTheBuffer) {
    PlugCard();
    Identify();
    std::vector<unsigned char> data(4 * 256);
    EXPECT_EQ(MMCReadMultiBlock(data.data(), 0, 256, 4), 0);
    EXPECT_TRUE(Log().empty());
}

TEST_F(KvcardMmc, CardWithCorruptCrcsIsNeverIdentifiedNorRead) {
    PlugCard(Pattern(kBlock, 7), "crc");
    std::uint32_t serial = 0;
    EXPECT_EQ(MMCCheckCard(&serial), 0);
    std::vector<unsigned char> data(kBlock);
    // The read fails, its recovery identifies again and fails the same way.
    EXPECT_EQ(MMCReadBlock(data.data(), 0, kBlock), 0);
    EXPECT_NE(IOGetLastError(), 0u);
}

TEST_F(KvcardMmc, EraseWaitsForBusyToEndAndKeepsTheNeighbours) {
    const auto content = Pattern(64 * kBlock, 8);
    const std::string image = PlugCard(content);
    Identify();
    ASSERT_EQ(MMCEraseBlock(32 * kBlock, 64 * kBlock - 1), 1) << IOGetLastError();
    const auto log = Log();
    ASSERT_GE(log.size(), 8u);
    EXPECT_EQ(log[6], CtlIn(2, 0));
    EXPECT_EQ(log[7], BulkIn(32));

    const auto erased = ReadFileBytes(image, 32 * kBlock, 32 * kBlock);
    EXPECT_EQ(erased, std::vector<std::uint8_t>(erased.size(), erased.front()));
    EXPECT_EQ(ReadFileBytes(image, 0, 32 * kBlock), std::vector<std::uint8_t>(content.begin(), content.begin() + 32 * kBlock));
}

TEST_F(KvcardMmc, EraseOfACardThatNeverLeavesBusyFailsAsBusy) {
    PlugCard({}, "busy");
    std::uint32_t serial = 0;
    ASSERT_EQ(MMCCheckCard(&serial), 1) << IOGetLastError();  // busy only holds erases
    EXPECT_EQ(MMCEraseBlock(0, kBlock - 1), 0);
    EXPECT_EQ(IOGetLastError(), 7u);
}

}  // namespace
}  // namespace murmex::test
