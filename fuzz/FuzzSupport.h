// Small pieces the fuzz targets share: one scratch file per process, and
// writing seed inputs when a target is asked for them instead of fuzzing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace murmex::fuzz {

// A scratch file in the temporary directory with the given suffix, made on
// first use and removed when the process ends.
const std::string& ScratchFile(const char* suffix);

// Replaces the file's contents; false when that fails.
bool WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// For LLVMFuzzerInitialize: a target started with MURMEX_WRITE_SEEDS naming
// a folder has `write` put its seed inputs there and ends without fuzzing;
// otherwise this returns 0 and fuzzing goes on.
int WriteSeedsWhenAsked(void (*write)(const std::string& folder));
void WriteSeed(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes);

}  // namespace murmex::fuzz
