#include "WaveFile.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "ByteOrder.h"
#include "FileScan.h"

namespace murmex {

namespace {

constexpr std::uint32_t kMinimumWaveFile = 39;

std::optional<WaveFormat> ReadFormatChunk(std::FILE* f, long fmtTag, long fileLength, long& chunkEnd) {
    std::array<std::uint8_t, 4> sizeBytes{};
    if (!ReadAt(f, fmtTag + 4, sizeBytes.data(), 4)) return std::nullopt;
    const std::uint32_t chunkSize = ReadLE32(sizeBytes, 0);
    if (chunkSize < 16) return std::nullopt;
    const long recordAt = fmtTag + 8;
    std::vector<std::uint8_t> record(18, 0);
    if (chunkSize >= 18) {
        if (!ReadAt(f, recordAt, record.data(), 18)) return std::nullopt;
        // The record names its own extra bytes; they must be in the file.
        const std::uint16_t extra = ReadLE16(record, 16);
        if (recordAt + 18 + long{extra} > fileLength) return std::nullopt;
        record.resize(18u + extra);
        if (extra > 0 && !ReadAt(f, recordAt + 18, record.data() + 18, extra)) return std::nullopt;
    } else if (!ReadAt(f, recordAt, record.data(), 16)) {
        return std::nullopt;
    }
    chunkEnd = recordAt + static_cast<long>(chunkSize);
    return WaveFormat::FromBytes(record);
}

}  // namespace

int WaveHeaderReader(std::FILE* file, WaveFormat& format, std::uint32_t& dataLength) {
    const long here = std::ftell(file);
    const long length = FileLength(file);
    auto fail = [&] {
        if (here >= 0) std::fseek(file, here, SEEK_SET);
        return 0;
    };
    if (here < 0 || length < static_cast<long>(kMinimumWaveFile)) return fail();
    char head[12];
    if (!ReadAt(file, 0, head, sizeof head)) return fail();
    if (std::memcmp(head, "RIFF", 4) != 0 && std::memcmp(head + 8, "WAVE", 4) != 0) return fail();
    const auto fmt = FindTag(file, 12, length, "fmt ");
    if (!fmt) return fail();
    long chunkEnd = 0;
    const auto record = ReadFormatChunk(file, *fmt, length, chunkEnd);
    if (!record) return fail();
    const auto data = FindTag(file, chunkEnd, length, "data");
    if (!data) return fail();
    std::array<std::uint8_t, 4> sizeBytes{};
    if (!ReadAt(file, *data + 4, sizeBytes.data(), 4)) return fail();
    const long dataStart = *data + 8;
    const std::uint32_t present = static_cast<std::uint32_t>(std::clamp<long>(length - dataStart, 0, 0xFFFFFFFF));
    const std::uint32_t size = std::min(ReadLE32(sizeBytes, 0), present);
    if (size <= 3) return fail();
    std::fseek(file, dataStart, SEEK_SET);
    format = *record;
    dataLength = size;
    return 1;
}

int WriteMxdWaveHeader(std::FILE* file, std::uint32_t dataLength, int typeCode) {
    if (!file) return 0;
    const bool longPlay = typeCode == 1;
    std::array<std::uint8_t, kMxdWaveHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    WriteLE32(h, 4, dataLength + 40);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    WriteLE32(h, 16, 20);
    WriteLE16(h, 20, WAVE_FORMAT_PCM);
    WriteLE16(h, 22, 1);
    WriteLE32(h, 24, longPlay ? 7224 : 7221);
    WriteLE32(h, 28, longPlay ? 14448 : 14442);
    WriteLE16(h, 32, 2);
    WriteLE16(h, 34, 16);
    WriteLE16(h, 36, 2);
    std::memcpy(h.data() + 40, "data", 4);
    WriteLE32(h, 44, dataLength);
    const long here = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(h.data(), 1, h.size(), file) != h.size()) return 0;
    if (here > 0) std::fseek(file, here, SEEK_SET);
    return 1;
}

int WaveHeaderWriter(std::FILE* file, const WaveFormat& format, std::uint32_t dataLength) {
    const std::vector<std::uint8_t> record = format.ToBytes();
    std::vector<std::uint8_t> h(20 + record.size() + 8);
    std::memcpy(h.data(), "RIFF", 4);
    WriteLE32(h, 4, static_cast<std::uint32_t>(20 + record.size()) + dataLength);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    WriteLE32(h, 16, static_cast<std::uint32_t>(record.size()));
    std::copy(record.begin(), record.end(), h.begin() + 20);
    std::memcpy(h.data() + 20 + record.size(), "data", 4);
    WriteLE32(h, 24 + record.size(), dataLength);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), file) == h.size();
}

void ScaleSamples(std::span<std::uint8_t> samples, std::uint32_t factor) {
    const bool divide = (factor & 0x80000000u) != 0;
    const std::uint32_t f = factor & 0x7FFFFFFFu;
    if (divide && f == 0) return;  // nothing sensible to divide by
    for (std::size_t i = 0; i + 1 < samples.size(); i += 2) {
        const std::int32_t s = static_cast<std::int16_t>(ReadLE16(samples, i));
        std::int32_t out;
        if (divide)
            out = static_cast<std::int32_t>(static_cast<std::uint32_t>(s + 32768) / f) -
                  static_cast<std::int32_t>(32768u / f);
        else
            out = static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{s} * f, -32768, 32767));
        WriteLE16(samples, i, static_cast<std::uint16_t>(static_cast<std::int16_t>(out)));
    }
}

}  // namespace murmex
