// The header a PC file carries in the card's native format: the MXD magic
// of a message's type, or the speech-format WAV header of the cards that keep
// recorder audio as WAV. Written on download, read back on upload.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

#include "VariantTable.h"

namespace murmex {

constexpr std::uint32_t kSpeechWavHeaderBytes = 78;

struct NativeHeader {
    std::uint8_t type = 0;
    std::uint32_t length = 0;  // message data bytes that follow the header
};

// Writes the header at offset 0. The MXD magic puts the file position back
// where it was, except that a file at position 0 ends up just behind it; the
// WAV header always leaves the file just behind itself.
int WriteFileHeader(const VariantDescriptor& variant, std::uint8_t type, std::uint32_t length, std::FILE* file);

// On success the file is at the first data byte when it was at position 0;
// on failure the position is unchanged.
std::optional<NativeHeader> ReadFileHeader(const VariantDescriptor& variant, std::FILE* file);

}  // namespace murmex
