// The names the suite shows for WAVE format tags, and the one-line
// description of a format record ("PCM 8000Hz Mono").
#pragma once

#include <cstdint>
#include <string>

#include "WaveFormat.h"

namespace murmex {

// The short name of a tag; empty for a tag the table does not know.
std::string FormatTagShortName(std::uint16_t tag);
std::string FormatTagName(const WaveFormat& format);

}  // namespace murmex
