// The port entry points, the life of the process-wide object, the raw bus
// calls and the MMC response checks, through the real USB stack.
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "KvcardFixture.h"
#include "CKernelIO.h"

namespace murmex::test {
namespace {

using cardio::CKernelIO;

constexpr std::uint64_t kMmcImageBytes = 4u << 20;
constexpr std::uint64_t k16MB = 16u << 20;

class KvcardPort : public KvcardFixture {};

TEST_F(KvcardPort, OpenWithoutBridgeFailsWithTransferError) {
    EXPECT_EQ(IOOpenPort(0, 0), 0);
    EXPECT_EQ(IOGetLastError(), 3u);
    EXPECT_EQ(IOClose(), 1);
    EXPECT_EQ(IOClose(), 1);
}

TEST_F(KvcardPort, OpenSelectsMmcModeAndCloseParksTheBus) {
    Plug(MakeImage(k16MB));
    ASSERT_EQ(IOOpenPort(0, 0), 1);
    EXPECT_EQ(IOGetLastError(), 0u);
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{CtlOut(10, 0, 2)}));
    ClearLog();
    EXPECT_EQ(IOClose(), 1);
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{CtlOut(4, 0, 0x0104), CtlOut(4, 0, 0x0005), CtlOut(4, 0, 0x0006),
                                                  CtlOut(4, 0, 0x0007), CtlOut(10, 0, 0)}));
    ClearLog();
    EXPECT_EQ(IOClose(), 1);
    EXPECT_TRUE(Log().empty());
}

TEST_F(KvcardPort, EntryPointsWithoutObjectFailAndReportNoBridge) {
    std::array<unsigned char, 1100> buffer{};
    std::uint32_t serial = 77;
    const std::vector<std::pair<const char*, std::function<int()>>> calls = {
        {"DEVICESelectMode", [] { return DEVICESelectMode(3); }},
        {"DEVICESetClock", [] { return DEVICESetClock(2); }},
        {"DEVICEReadGPIO", [&] { return DEVICEReadGPIO(6, buffer.data()); }},
        {"MMCCheckCard", [&] { return MMCCheckCard(&serial); }},
        {"MMCChangeCard", [] { return MMCChangeCard(1); }},
        {"MMCDummyClock", [] { return MMCDummyClock(); }},
        {"MMCReadMultiBlock", [&] { return MMCReadMultiBlock(buffer.data(), 0, 512, 1); }},
        {"MMCWriteMultiBlock", [&] { return MMCWriteMultiBlock(buffer.data(), 0, 512, 1); }},
        {"MMCGetData", [&] { return MMCGetData(buffer.data(), 512, 1); }},
        {"SSFDCCheckCard", [] { return SSFDCCheckCard(); }},
        {"SSFDCReadMultiBlock", [&] { return SSFDCReadMultiBlock(buffer.data(), 0, 544, 1); }},
        {"SSFDCEraseBlock", [] { return SSFDCEraseBlock(0); }},
        {"USBVendorCmdRead", [&] { return USBVendorCmdRead(3, 6, 0, 8, buffer.data()); }},
    };
    for (const auto& [name, call] : calls) {
        EXPECT_EQ(call(), 0) << name;
        EXPECT_EQ(IOGetLastError(), 3u) << name;
    }
    EXPECT_EQ(serial, 0u);
    EXPECT_EQ(MMCActivate(0), 1);
    EXPECT_EQ(MMCGetSerialNumber(), 0u);
    EXPECT_EQ(SSFDCGetDeviceCode(), 0);
    EXPECT_STREQ(MMCGetProductName(), "");
    std::array<unsigned char, 16> id;
    id.fill(0x5A);
    SSFDCGetUniqueID(id.data());
    EXPECT_EQ(id, (std::array<unsigned char, 16>{}));
}

TEST_F(KvcardPort, BusTransfersRoundDownToWholeChunks) {
    PlugAndOpen(MakeImage(kMmcImageBytes, 0xFF), "mmc");
    std::vector<unsigned char> ones(1023, 0xFF);
    struct Case {
        std::uint32_t length;
        std::vector<TransferRecord> write;
        std::vector<TransferRecord> read;
    };
    const Case cases[] = {
        {1023, {BulkOut(992)}, {CtlIn(2, 0), BulkIn(992)}},
        {31, {}, {CtlIn(2, 0)}},
        {64, {BulkOut(64)}, {CtlIn(2, 0), BulkIn(64)}},
    };
    for (const auto& c : cases) {
        ClearLog();
        EXPECT_EQ(MMCWriteBus(ones.data(), c.length), 1) << c.length;
        EXPECT_EQ(Log(), c.write) << c.length;
        ClearLog();
        EXPECT_EQ(MMCReadBus(ones.data(), c.length), 1) << c.length;
        EXPECT_EQ(Log(), c.read) << c.length;
    }
}

TEST_F(KvcardPort, GetDataLengthLimitsAndLowSixteenBits) {
    PlugAndOpen(MakeImage(kMmcImageBytes, 0xFF), "mmc");
    std::vector<unsigned char> buffer(1100);
    EXPECT_EQ(MMCGetData(buffer.data(), 1025, 1), 0);
    EXPECT_EQ(IOGetLastError(), 0u);
    EXPECT_TRUE(Log().empty());
    // Only the low 16 bits count: 0x10010 asks for 16 bytes plus the slot tail.
    MMCGetData(buffer.data(), 0x10010, 0);
    EXPECT_EQ(Only(Kind::BulkIn), (std::vector<TransferRecord>{BulkIn(48)}));
}

// An MMC bus with nothing on it, or with a card whose CRCs are all wrong.
TEST_F(KvcardPort, ResponseChecksTellSilenceFromCorruption) {
    struct Case {
        const char* options;
        int (*fetch)(unsigned char*);
        unsigned char command;
        int result;
        std::uint32_t error;
    };
    const Case cases[] = {
        {"mmc,nocard", MMCGetR1Response, 0x4D, 0, 4},   // silence is "no response", never "malformed"
        {"mmc,nocard", MMCGetR3Response, 0x41, 0, 4},
        {"mmc,nocard", MMCGetR2Response, 0x42, 0, 4},
        {"mmc,crc", MMCGetR3Response, 0x41, 1, 0},      // the OCR answer carries no CRC worth checking
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        PlugAndOpen(MakeImage(kMmcImageBytes, 0xFF), c.options);
        ASSERT_EQ(MMCSendCommand(0x40, 0, 0), 1);
        if (c.command == 0x41) {
            // The card needs its op-cond before it answers anything else.
            ASSERT_EQ(MMCSendCommand(c.command, 0x00FFC000, 0), 1);
        } else {
            ASSERT_EQ(MMCSendCommand(c.command, 0, 0), 1);
        }
        std::array<unsigned char, 17> response{};
        EXPECT_EQ(c.fetch(response.data()), c.result);
        EXPECT_EQ(IOGetLastError(), c.error);
        if (c.result) {
            EXPECT_EQ(response[0], 0x3F);
        }
        IOClose();
        usb::DeviceManager::Instance().UnplugAll();
    }
}

TEST_F(KvcardPort, UnknownResponseTypeSendsCommandAndKeepsLastError) {
    Plug(MakeImage(kMmcImageBytes, 0xFF), "mmc");
    CKernelIO io;
    ASSERT_EQ(io.OpenPort(0, 0), 1);
    io.SetError(9);
    ClearLog();
    std::array<unsigned char, 17> response{};
    EXPECT_EQ(io.MMCSendCommandResponse(0x40, 0, 0, 2, response.data(), 0), 0);
    EXPECT_EQ(io.GetLastError(), 9u);
    EXPECT_EQ(Log(), (std::vector<TransferRecord>{CtlOut(0, 7)}));
}

}  // namespace
}  // namespace murmex::test
