#include "FramePacking.h"

#include <algorithm>

namespace murmex::codec {

namespace {

constexpr std::uint8_t kSpClass = 0x80;
constexpr std::uint8_t kSpCeltBit = 0x02;
constexpr std::uint8_t kSpCode3Bit = 0x01;
constexpr std::uint8_t kSpReservedBits = 0x3C;

// TOC: config in bits 7-3, stereo flag in bit 2, frame count code in 1-0.
constexpr std::uint8_t kTocSilkNb20 = 1 << 3;
constexpr std::uint8_t kTocCeltNb20 = 19 << 3;
constexpr std::uint8_t kTocCode3 = 3;

}  // namespace

bool PackSpFrame(std::span<const std::uint8_t, kOpusPacketBytes> packet, std::span<std::uint8_t, kSpFrameBytes> frame) {
    const std::uint8_t toc = packet[0];
    const std::uint8_t config = toc & 0xF8;
    const std::uint8_t code = toc & 0x03;
    if ((config != kTocSilkNb20 && config != kTocCeltNb20) || (code != 0 && code != kTocCode3)) {
        PackLostSpFrame(frame);
        return false;
    }
    frame[0] = kSpClass | (config == kTocCeltNb20 ? kSpCeltBit : 0) | (code == kTocCode3 ? kSpCode3Bit : 0);
    std::copy(packet.begin() + 1, packet.end(), frame.begin() + 1);
    return true;
}

void PackLostSpFrame(std::span<std::uint8_t, kSpFrameBytes> frame) {
    std::fill(frame.begin(), frame.end(), 0);
    frame[0] = kSpClass | kSpReservedBits;
}

bool UnpackSpFrame(std::span<const std::uint8_t, kSpFrameBytes> frame, std::span<std::uint8_t, kOpusPacketBytes> packet) {
    const std::uint8_t b0 = frame[0];
    if ((b0 & kSpReservedBits) != 0) return false;
    packet[0] = static_cast<std::uint8_t>(((b0 & kSpCeltBit) ? kTocCeltNb20 : kTocSilkNb20) |
                                          ((b0 & kSpCode3Bit) ? kTocCode3 : 0));
    std::copy(frame.begin() + 1, frame.end(), packet.begin() + 1);
    return true;
}

void PackLpFrame(std::span<const std::uint8_t, kCodec2FrameBytes> bits, std::span<std::uint8_t, kLpFrameBytes> frame) {
    std::fill(frame.begin(), frame.end(), 0);
    std::copy(bits.begin(), bits.end(), frame.begin() + 1);
}

void UnpackLpFrame(std::span<const std::uint8_t, kLpFrameBytes> frame, std::span<std::uint8_t, kCodec2FrameBytes> bits) {
    std::copy(frame.begin() + 1, frame.begin() + 1 + kCodec2FrameBytes, bits.begin());
}

}  // namespace murmex::codec
