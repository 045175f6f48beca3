// What kvcard puts on the wire, byte for byte: command packets of both buses
// and the bit-shifted MMC write stream.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "CKernelIO.h"

namespace murmex::cardio {
namespace {

// Exposes the framing helpers, which kvcard keeps to itself.
struct Framing : CKernelIO {
    using CKernelIO::MMCMakeBlockWriteData;
    using CKernelIO::MMCMakeCommandPacket;
    using CKernelIO::SSFDCMakeCommandPacket;
};

using Packet = std::array<unsigned char, 7>;

struct MmcPacketCase {
    unsigned char command;
    std::uint32_t argument;
    Packet expected;
};

TEST(KernelIOFraming, MmcCommandPacketsCarryBigEndianArgumentAndCrc7) {
    const MmcPacketCase cases[] = {
        {0x40, 0, {0xFF, 0x40, 0x00, 0x00, 0x00, 0x00, 0x95}},
        {0x41, 0x00FFC000, {0xFF, 0x41, 0x00, 0xFF, 0xC0, 0x00, 0x43}},
        {0x4C, 0, {0xFF, 0x4C, 0x00, 0x00, 0x00, 0x00, 0x61}},
    };
    for (const auto& c : cases) {
        Packet packet{};
        Framing::MMCMakeCommandPacket(c.command, c.argument, packet.data());
        EXPECT_EQ(packet, c.expected) << "command 0x" << std::hex << int{c.command};
    }
}

TEST(KernelIOFraming, SsfdcAddressValuesOfBlockAtSixteenKilobytes) {
    EXPECT_EQ(CKernelIO::SsfdcPageAddress(0x4000), 0x2000u);
    EXPECT_EQ(CKernelIO::SsfdcEraseAddress(0x4000), 0xD0000020u);
    // A column inside the page stays in the low byte.
    EXPECT_EQ(CKernelIO::SsfdcPageAddress(0x4000 + 0x10), 0x2010u);

    Packet read{}, erase{};
    Framing::SSFDCMakeCommandPacket(0, 0, 0x00, CKernelIO::SsfdcPageAddress(0x4000), read.data());
    Framing::SSFDCMakeCommandPacket(0, 0, 0x60, CKernelIO::SsfdcEraseAddress(0x4000), erase.data());
    EXPECT_EQ(read, (Packet{0, 0, 0x00, 0x00, 0x20, 0x00, 0x00}));
    EXPECT_EQ(erase, (Packet{0, 0, 0x60, 0x20, 0x00, 0x00, 0xD0}));
}

TEST(KernelIOFraming, ZeroBlockStreamIsOneStartBitZerosCrcAndEndBit) {
    const std::vector<unsigned char> zeros(512, 0);
    std::vector<unsigned char> stream(544, 0xAA);
    Framing::MMCMakeBlockWriteData(zeros.data(), 512, stream.data());

    std::vector<unsigned char> expected(29, 0xFF);
    expected.push_back(0xFC);
    expected.insert(expected.end(), 513, 0x00);
    expected.push_back(0x01);
    EXPECT_EQ(stream, expected);
}

// Builds the stream bit by bit: 238 ones, start bit 0, data, the CRC16 the
// card checks, end bit 1.
std::vector<unsigned char> StreamFromBits(const std::vector<unsigned char>& data, std::uint16_t crc) {
    std::vector<int> bits(238, 1);
    bits.push_back(0);
    auto pushByte = [&](unsigned value) {
        for (int b = 7; b >= 0; --b) bits.push_back((value >> b) & 1);
    };
    for (unsigned char d : data) pushByte(d);
    pushByte(crc >> 8);
    pushByte(crc & 0xFF);
    bits.push_back(1);
    std::vector<unsigned char> out(bits.size() / 8);
    for (std::size_t i = 0; i < out.size() * 8; ++i) out[i / 8] = static_cast<unsigned char>(out[i / 8] << 1 | bits[i]);
    return out;
}

TEST(KernelIOFraming, WriteStreamCarriesCcittCrcOfTheBlock) {
    const std::string text = "123456789";
    std::vector<unsigned char> block(text.begin(), text.end());
    std::vector<unsigned char> stream(block.size() + 32);
    Framing::MMCMakeBlockWriteData(block.data(), static_cast<std::uint32_t>(block.size()), stream.data());
    EXPECT_EQ(stream, StreamFromBits(block, 0x31C3));
}

}  // namespace
}  // namespace murmex::cardio
