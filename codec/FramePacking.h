// How the two codecs' packets sit inside the frame classes the encoder
// emits. Nothing outside the codec reads these bits.
//
// SP frame (24 bytes, class 100/101): a 24-byte Opus packet whose TOC byte is
// folded into byte 0. The encoder pins narrowband, mono and 20 ms, so the TOC
// can only be config 1 (SILK) or 19 (CELT), each with code 0 (one frame) or
// code 3 (one frame plus the padding that hard CBR adds when the frame comes
// out short). Byte 0 is 10rrrrMC: M set = config 19, C set = code 3, r
// reserved and zero. A frame with a reserved bit set carries no packet and is
// concealed. Bytes 1-23 are the packet's bytes 1-23.
//
// LP frame (11 bytes, class 000/001): byte 0 is 00rrrrrr with r zero, bytes
// 1-8 the 64 bits of one codec2 3200 frame, bytes 9-10 zero.
#pragma once

#include <cstdint>
#include <span>

#include "TrcCodec.h"

namespace murmex::codec {

// Callers hand over samples divided by 4. Opus gets them back at full scale
// (x4). codec2's energy quantiser tops out at a frame level of about -12 dBFS,
// so it gets them 6 dB lower (x2): voiced sound keeps its level up to full
// scale, and quiet speech stays clear of codec2's noise floor. The decoder
// divides by the same.
inline constexpr int kSpGainShift = 2;
inline constexpr int kLpGainShift = 1;

// Complexity 6 is the cheapest SILK setting with the finer pitch and noise
// shaping analysis; 8 and above gains 0.1 dB of log-spectral distance on
// speech at this rate and encodes about a third slower.
inline constexpr int kOpusComplexity = 6;

inline constexpr std::size_t kOpusPacketBytes = kSpFrameBytes;
inline constexpr std::size_t kCodec2FrameBytes = 8;

// Folds a packet of exactly kOpusPacketBytes into an SP frame. False when its
// TOC is not one of the four the frame can carry; the frame then holds the
// "not carried" marker.
bool PackSpFrame(std::span<const std::uint8_t, kOpusPacketBytes> packet, std::span<std::uint8_t, kSpFrameBytes> frame);

// An SP frame that carries no packet, for a block the encoder could not pack.
void PackLostSpFrame(std::span<std::uint8_t, kSpFrameBytes> frame);

// Rebuilds the packet from an SP frame; false for a frame that carries none.
bool UnpackSpFrame(std::span<const std::uint8_t, kSpFrameBytes> frame, std::span<std::uint8_t, kOpusPacketBytes> packet);

void PackLpFrame(std::span<const std::uint8_t, kCodec2FrameBytes> bits, std::span<std::uint8_t, kLpFrameBytes> frame);

// Reserved bits are ignored: any LP frame decodes.
void UnpackLpFrame(std::span<const std::uint8_t, kLpFrameBytes> frame, std::span<std::uint8_t, kCodec2FrameBytes> bits);

}  // namespace murmex::codec
