// WAV file routines shared by the conversions and the upload of WAV files:
// finding the format record and the samples, the two header writers, and
// the level scaling of the voice path.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "WaveFormat.h"

namespace murmex {

inline constexpr std::uint32_t kMxdWaveHeaderBytes = 48;

// Finds the "fmt " and "data" chunks byte by byte. On success the file is at
// the first data byte and dataLength is cut to what the file holds; on
// failure the file position is unchanged.
int WaveHeaderReader(std::FILE* file, WaveFormat& format, std::uint32_t& dataLength);

// The fixed 16-bit mono PCM header of a WAV decoded from MXD: 7224 Hz for
// type code 1, 7221 Hz for every other. Written at offset 0; the file goes
// back to where it was unless that was the start. 0 for no file.
int WriteMxdWaveHeader(std::FILE* file, std::uint32_t dataLength, int typeCode);

// A header for any format record, at offset 0; the file is left after it.
int WaveHeaderWriter(std::FILE* file, const WaveFormat& format, std::uint32_t dataLength);

// Scales 16-bit little-endian samples in place. A factor with the top bit
// clear multiplies and saturates (4: the decoders' gain); with the top bit
// set it divides by the low 31 bits, rounding toward minus infinity
// (0x80000004: the encoders' division by 4).
void ScaleSamples(std::span<std::uint8_t> samples, std::uint32_t factor);

inline constexpr std::uint32_t kDecoderGain = 4;
inline constexpr std::uint32_t kEncoderDivide = 0x80000004;

}  // namespace murmex
