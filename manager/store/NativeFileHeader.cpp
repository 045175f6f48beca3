#include "NativeFileHeader.h"

#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "ByteOrder.h"
#include "FileScan.h"

namespace murmex {
namespace {

using Magic = std::array<char, 4>;

constexpr Magic ToMagic(std::string_view s) { return {s[0], s[1], s[2], s[3]}; }

// Which magic a type gets; nothing for the generation 2 types that keep no header.
std::optional<Magic> MagicForType(const VariantDescriptor& v, std::uint8_t type) {
    if (v.encoding != DirectoryEncoding::Generation2) return ToMagic(type == 1 ? "MXDL" : "MXDS");
    switch (type) {
        case 1: return ToMagic("MXDL");
        case 2: return ToMagic("MXAS");
        case 3: return ToMagic("MXAL");
        case 6: case 0x82: return ToMagic("MXTS");
        case 7: case 0x83: return ToMagic("MXTL");
        case 4: case 5: return std::nullopt;
        default: return ToMagic("MXDS");
    }
}

std::uint8_t TypeForMagic(const VariantDescriptor& v, const Magic& m) {
    auto is = [&](std::string_view s) { return std::memcmp(m.data(), s.data(), 4) == 0; };
    if (is("MXDL") || is("MXAL")) return 1;
    if (v.encoding == DirectoryEncoding::Generation2) {
        if (is("MXTL")) return 7;
        if (is("MXTS")) return 6;
        return 0;
    }
    return is("MXTL") ? 1 : 0;
}

int WriteSpeechWavHeader(std::uint32_t length, std::FILE* f) {
    std::array<std::uint8_t, kSpeechWavHeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    WriteLE32(h, 4, length + 70);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    WriteLE32(h, 16, 50);
    WriteLE16(h, 20, 0x0022);
    WriteLE16(h, 22, 1);
    WriteLE32(h, 24, 8000);
    WriteLE32(h, 28, 1067);
    WriteLE16(h, 32, 32);
    WriteLE16(h, 34, 1);
    WriteLE16(h, 36, 32);
    WriteLE16(h, 38, 1);
    WriteLE16(h, 40, 240);
    std::memcpy(h.data() + 70, "data", 4);
    WriteLE32(h, 74, length);
    return std::fseek(f, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), f) == h.size();
}

std::optional<NativeHeader> ReadSpeechWavHeader(std::FILE* f, long fileLength) {
    if (fileLength <= 38) return std::nullopt;
    char riff[12];
    if (!ReadAt(f, 0, riff, sizeof riff)) return std::nullopt;
    if (std::memcmp(riff, "RIFF", 4) != 0 && std::memcmp(riff + 8, "WAVE", 4) != 0) return std::nullopt;
    const auto fmt = FindTag(f, 12, fileLength, "fmt ");
    if (!fmt) return std::nullopt;
    std::array<std::uint8_t, 6> fmtHead{};
    if (!ReadAt(f, *fmt + 4, fmtHead.data(), fmtHead.size())) return std::nullopt;
    const std::uint32_t fmtSize = ReadLE32(fmtHead, 0);
    if (fmtSize < 18 || ReadLE16(fmtHead, 4) != 0x0022) return std::nullopt;
    const long fmtEnd = *fmt + 8 + static_cast<long>(fmtSize);
    const auto data = FindTag(f, fmtEnd, fileLength, "data");
    if (!data) return std::nullopt;
    std::array<std::uint8_t, 4> size{};
    if (!ReadAt(f, *data + 4, size.data(), size.size())) return std::nullopt;
    const long dataStart = *data + 8;
    const long present = std::max(0L, fileLength - dataStart);
    const std::uint32_t length = static_cast<std::uint32_t>(std::min<long>(ReadLE32(size, 0), present));
    if (length <= 3) return std::nullopt;
    std::fseek(f, dataStart, SEEK_SET);
    return NativeHeader{0, length};
}

}  // namespace

int WriteFileHeader(const VariantDescriptor& variant, std::uint8_t type, std::uint32_t length, std::FILE* file) {
    if (variant.speechWav) return WriteSpeechWavHeader(length, file);
    const auto magic = MagicForType(variant, type);
    if (!magic) return 1;
    const long here = std::ftell(file);
    if (here < 0 || std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(magic->data(), 1, 4, file) != 4) return 0;
    if (here != 0) std::fseek(file, here, SEEK_SET);
    return 1;
}

std::optional<NativeHeader> ReadFileHeader(const VariantDescriptor& variant, std::FILE* file) {
    const long here = std::ftell(file);
    const long length = FileLength(file);
    if (here < 0 || length < 0) return std::nullopt;
    std::optional<NativeHeader> header;
    if (variant.speechWav) {
        header = ReadSpeechWavHeader(file, length);
    } else if (length > 3) {
        Magic magic{};
        if (ReadAt(file, 0, magic.data(), 4))
            header = NativeHeader{TypeForMagic(variant, magic), static_cast<std::uint32_t>(length - 4)};
    }
    // Only a file that was at its start is left at its data.
    if (!header || here != 0) std::fseek(file, here, SEEK_SET);
    return header;
}

}  // namespace murmex
