// What the block codecs (the two ADPCMs and GSM 6.10) share: the check of
// the 16-bit PCM side they pair with, and the walk over whole blocks with
// the cutting rules of a conversion. A subclass only turns one block into
// samples or samples into one block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "Driver.h"

namespace murmex::acm {

// 16-bit PCM with the given rate and channels, block align and all.
bool IsPcm16(const WaveFormat& f, std::uint16_t channels, std::uint32_t rate);

inline std::int16_t Clamp16(std::int64_t v) {
    return static_cast<std::int16_t>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v));
}

// The format table of an ADPCM driver: its own format at the usual rates,
// mono and stereo, then the 16-bit PCM formats it pairs with.
std::vector<WaveFormat> AdpcmFormatTable(WaveFormat (*format)(std::uint32_t rate, std::uint16_t channels));

// Block align and bytes per second of a 4-bit ADPCM format of f's rate and
// channels: 256 bytes a channel up to 11025 Hz, more at higher rates, so a
// block stays about as long in time. Returns the samples per block.
std::size_t SetAdpcmBlockGeometry(WaveFormat& f, std::size_t (*samplesFor)(std::size_t blockAlign, std::size_t channels));

struct BlockShape {
    std::size_t blockBytes = 0;       // block align of the coded side
    std::size_t samplesPerBlock = 0;  // per channel
    std::size_t channels = 0;
};

// Coded blocks to 16-bit PCM. Whole blocks first; a shorter last block is
// handed to DecodeBlock as it is and gives as many samples as it holds
// (none, for a codec that cannot decode part of a block).
class BlockDecoder : public Converter {
public:
    explicit BlockDecoder(BlockShape shape) : shape_(shape) {}
    ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) final;
    std::uint64_t DestinationSize(std::uint64_t sourceBytes) const final;

protected:
    // A fresh codec state for a new sound; false when there is no memory.
    virtual bool Start() { return true; }
    // Decodes one block (block.size() <= blockBytes) into out, which has room
    // for samplesPerBlock frames, channels interleaved; returns the frames.
    virtual std::size_t DecodeBlock(std::span<const std::uint8_t> block, std::span<std::int16_t> out) = 0;

    const BlockShape shape_;
};

// 16-bit PCM to coded blocks. The last block is filled up with silence, so
// that no sound is lost; a half frame at the end of the source is not used.
class BlockEncoder : public Converter {
public:
    explicit BlockEncoder(BlockShape shape) : shape_(shape) {}
    ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) final;
    std::uint64_t DestinationSize(std::uint64_t sourceBytes) const final;

protected:
    virtual bool Start() { return true; }
    // Encodes samplesPerBlock frames (channels interleaved) into one block
    // of exactly blockBytes.
    virtual void EncodeBlock(std::span<const std::int16_t> in, std::span<std::uint8_t> block) = 0;

    const BlockShape shape_;
};

}  // namespace murmex::acm
