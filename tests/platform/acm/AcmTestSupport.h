// What the ACM tests share: a scratch folder, a tiny WAV reader and writer,
// running sox, test signals and the ways two sounds are compared.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "Acm.h"
#include "WaveFormat.h"

namespace murmex::acm::test {

namespace fs = std::filesystem;

bool HaveSox();

// A folder of its own for one test, removed afterwards.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

// Runs sox with the arguments; false when it fails.
bool Sox(const std::string& args);

struct Wav {
    WaveFormat format;  // exactly the record of the file's "fmt " chunk
    std::vector<std::uint8_t> data;
};
// Empty format (tag 0) when the file is not a WAV file we can read.
Wav ReadWav(const fs::path& path);
void WriteWav(const fs::path& path, const WaveFormat& format, std::span<const std::uint8_t> data);

std::vector<std::int16_t> Samples16(std::span<const std::uint8_t> bytes);
std::vector<std::uint8_t> Bytes16(std::span<const std::int16_t> samples);

// A voice-like sound (a gliding pitch with formants, syllables, pauses and
// some hiss) followed by a sweep, 16-bit. Channels after the first get
// their own pitch, so that mixing them up shows.
std::vector<std::int16_t> SpeechLike(std::uint32_t rate, double seconds, std::uint16_t channels);

struct Difference {
    int max = 0;
    double mean = 0;
};
// Over the common length.
Difference Compare(std::span<const std::int16_t> a, std::span<const std::int16_t> b);
// Signal-to-noise ratio of `test` against `reference`, in dB.
double SnrDb(std::span<const std::int16_t> reference, std::span<const std::int16_t> test);

// A whole conversion through the stream calls (any driver). The result
// code of the first call that fails, or of the conversion, goes to *code.
std::vector<std::uint8_t> Convert(const WaveFormat& from, const WaveFormat& to, std::span<const std::uint8_t> data,
                                  MmResult* code = nullptr);

// The first format with the tag, rate and channels in any enabled driver's table.
WaveFormat TableFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels);

}  // namespace murmex::acm::test
