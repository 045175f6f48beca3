// Test side of the wire: temporary card images, and a host that drives the
// bridge emulator through its USB function exactly as transfers would.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "BridgeEmulator.h"
#include "CardImages.h"
#include "Crc.h"

namespace murmex::bridge::test {

namespace req {
inline constexpr std::uint8_t kCommand = 0, kResponse = 1, kArm = 2, kReadGpio = 3, kWriteGpio = 4, kReady = 5,
                              kClock = 6, kCommandRead = 7, kCommandWrite = 8, kMode = 10, kStopResponse = 11;
}
inline constexpr std::uint8_t kBulkOut = 0x01, kBulkIn = 0x82, kStatusIn = 0x83;
inline constexpr std::size_t kSlot = 544;
inline constexpr std::uint64_t kMiB = 1024 * 1024;

using TempImage = murmex::test::TempCardImage;
using murmex::test::Pattern;

// The 544-byte stream the host clocks out for one 512-byte MMC block.
inline std::vector<std::uint8_t> WriteStream(const std::vector<std::uint8_t>& block) {
    std::vector<std::uint8_t> framed(29, 0xFF);
    framed.push_back(0xFE);
    framed.insert(framed.end(), block.begin(), block.end());
    const std::uint16_t crc = crc::Crc16(block);
    framed.insert(framed.end(), {static_cast<std::uint8_t>(crc >> 8), static_cast<std::uint8_t>(crc), 0xFF});
    std::vector<std::uint8_t> shifted(framed.size() - 1);
    for (std::size_t i = 0; i < shifted.size(); ++i)
        shifted[i] = static_cast<std::uint8_t>((framed[i] << 1) | (framed[i + 1] >> 7));
    return shifted;
}

class Host {
public:
    explicit Host(BridgeEmulator& bridge) : bridge_(bridge) {}

    usb::TransferStatus Out(std::uint8_t request, std::uint16_t value, std::vector<std::uint8_t> data = {}) {
        const usb::ControlSetup setup{usb::kTypeVendor, request, value, 0, static_cast<std::uint16_t>(data.size())};
        return bridge_.Control(setup, data).status;
    }
    std::vector<std::uint8_t> In(std::uint8_t request, std::uint16_t value, std::uint16_t length,
                                 usb::TransferStatus expected = usb::TransferStatus::Completed) {
        std::vector<std::uint8_t> data(length, 0xAA);
        const usb::ControlSetup setup{usb::kDirectionIn | usb::kTypeVendor, request, value, 0, length};
        const usb::TransferResult result = bridge_.Control(setup, data);
        EXPECT_EQ(result.status, expected) << "request " << int{request};
        data.resize(result.transferred);
        return data;
    }
    usb::TransferResult BulkOut(std::vector<std::uint8_t> data) { return bridge_.Bulk(kBulkOut, data); }
    std::vector<std::uint8_t> BulkIn(std::size_t length, std::uint8_t endpoint = kBulkIn) {
        std::vector<std::uint8_t> data(length, 0xAA);
        const usb::TransferResult result = bridge_.Bulk(endpoint, data);
        EXPECT_TRUE(result.Ok());
        data.resize(result.transferred);
        return data;
    }

    // MMC
    static std::vector<std::uint8_t> MmcPacket(std::uint8_t index, std::uint32_t argument) {
        std::vector<std::uint8_t> p{0xFF, static_cast<std::uint8_t>(0x40 | index), static_cast<std::uint8_t>(argument >> 24),
                                    static_cast<std::uint8_t>(argument >> 16), static_cast<std::uint8_t>(argument >> 8),
                                    static_cast<std::uint8_t>(argument)};
        p.push_back(crc::Crc7Byte(std::span(p).subspan(1, 5)));
        return p;
    }
    void Mmc(std::uint8_t index, std::uint32_t argument = 0, std::uint8_t request = req::kCommand) {
        ASSERT_EQ(Out(request, 0, MmcPacket(index, argument)), usb::TransferStatus::Completed);
    }
    // The next `pieces` 7-byte response pieces, joined.
    std::vector<std::uint8_t> Response(int pieces, std::uint8_t request = req::kResponse) {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < pieces; ++i) {
            const auto piece = In(request, 0, 7);
            bytes.insert(bytes.end(), piece.begin(), piece.end());
        }
        return bytes;
    }
    std::vector<std::uint8_t> MmcR1(std::uint8_t index, std::uint32_t argument = 0) {
        Mmc(index, argument);
        return Response(1);
    }
    std::vector<std::uint8_t> MmcR2(std::uint8_t index, std::uint32_t argument = 0) {
        Mmc(index, argument);
        return Response(3);
    }
    // Power cycle and SEND_OP_COND until ready; the number of tries it took (0: never).
    int MmcPowerUp() {
        Out(req::kMode, 0);
        Out(req::kMode, 2);
        Mmc(0);
        for (int tries = 1; tries <= 40; ++tries) {
            const auto r3 = MmcR1(1, 0x00FFC000);
            if (r3[0] == 0x3F && r3[1] == 0x80) return tries;
        }
        return 0;
    }
    // Identifies every card on the bus (RCA 1, 2, ...); the CIDs' serials.
    std::vector<std::uint32_t> MmcEnumerate() {
        std::vector<std::uint32_t> serials;
        for (std::uint16_t rca = 1; rca <= 3; ++rca) {
            const auto cid = MmcR2(2);
            if (cid[0] == 0xFF) break;
            serials.push_back((std::uint32_t{cid[12]} << 16) | (std::uint32_t{cid[13]} << 8) | cid[14]);
            EXPECT_EQ(MmcR1(3, std::uint32_t{rca} << 16)[0], 3);
        }
        return serials;
    }
    // Power up, identify and select the one card: the common start of MMC tests.
    void MmcSelectOnly() {
        ASSERT_GT(MmcPowerUp(), 0);
        ASSERT_EQ(MmcEnumerate().size(), 1u);
        ASSERT_EQ(MmcR1(7, 1u << 16)[0], 7);
    }

    // SmartMedia
    void Chip(std::uint8_t code, std::uint32_t value = 0, std::uint8_t request = req::kCommand) {
        const std::vector<std::uint8_t> p{0, 0, code, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
        ASSERT_EQ(Out(request, 0, p), usb::TransferStatus::Completed);
    }
    std::uint8_t ChipStatus() {
        Chip(0x70);
        return In(req::kResponse, 0, 3).at(0);
    }

private:
    BridgeEmulator& bridge_;
};

inline BridgeOptions Options(const TempImage& image, std::string extra = "") {
    return ParseBridgeOptions(image.Path() + (extra.empty() ? "" : "," + extra));
}

}  // namespace murmex::bridge::test
