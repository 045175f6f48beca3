// The PC side of a transfer: file names, sizes and the file times that carry
// a message's recording date.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "SlotDirectory.h"

namespace murmex {

// The characters after the last '.', in lower case; empty without one.
std::string LowerExtension(const std::string& name);
std::string BaseName(const std::string& path);
bool IsRegularFile(const std::string& path);
std::optional<std::uint64_t> FileLength(const std::string& path);

// The file's last-write time as a date stamp in local time.
DateStamp LastWriteStamp(const std::string& path);
// Sets the last-write time from a stamp taken as local time (year 2000 + yy)
// and the last access time to now. A stamp of zeros or with any 0xFF byte
// carries no date and changes nothing.
void SetFileTimesFromStamp(const std::string& path, const DateStamp& stamp);

}  // namespace murmex
