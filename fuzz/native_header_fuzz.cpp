// Fuzzes the reading of native PC file headers before an upload: the MXD
// magic of each generation and the speech-format WAV header with its chunk
// search, from the start of the file and from the middle; then writes a
// header for the input's bytes and reads it back.
//
// Input: the whole PC file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "FuzzSupport.h"
#include "NativeFileHeader.h"
#include "VariantTable.h"

namespace murmex {
namespace {

// One variant of each header kind: MXD with the older magics, MXD of the
// third generation, speech-format WAV.
constexpr std::uint32_t kVariants[] = {0xFF000001, 0xFF000021, 0xFF000005};

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

void ReadFrom(const VariantDescriptor& v, std::FILE* f, long start, long fileLength) {
    if (std::fseek(f, start, SEEK_SET) != 0) Broken("seek");
    const auto header = ReadFileHeader(v, f);
    const long at = std::ftell(f);
    if (!header || start != 0) {
        if (at != start) Broken("file position not restored");
        if (!header) return;
    }
    if (header->length > static_cast<std::uint64_t>(fileLength)) Broken("length beyond the file");
    if (start == 0 && at + static_cast<long>(header->length) > fileLength) Broken("data beyond the file");
    if (!v.speechWav && header->length != static_cast<std::uint32_t>(fileLength - 4)) Broken("MXD length");
}

void WriteThenRead(const VariantDescriptor& v, const std::uint8_t* data, std::size_t size) {
    if (size < 1) return;
    const std::string& path = fuzz::ScratchFile(".written");
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (!f) std::abort();
    const std::uint8_t type = data[0];
    const auto length = static_cast<std::uint32_t>(size - 1);
    const bool wrote = WriteFileHeader(v, type, length, f) && std::fseek(f, 0, SEEK_END) == 0 &&
                       std::fwrite(data + 1, 1, length, f) == length;
    if (wrote && std::fseek(f, 0, SEEK_SET) == 0) {
        const auto header = ReadFileHeader(v, f);
        // The speech-format header always describes its data; so does an MXD
        // magic, when the type has one.
        if (v.speechWav && length > 3 && (!header || header->length != length)) Broken("WAV header round trip");
    }
    std::fclose(f);
}

}  // namespace
}  // namespace murmex

namespace {

void WriteSeeds(const std::string& folder) {
    using namespace murmex;
    auto mxd = [](const char* magic, std::size_t n) {
        std::vector<std::uint8_t> b(magic, magic + 4);
        b.resize(4 + n, 0x21);
        return b;
    };
    fuzz::WriteSeed(folder, "mxds", mxd("MXDS", 300));
    fuzz::WriteSeed(folder, "mxdl", mxd("MXDL", 40));
    fuzz::WriteSeed(folder, "mxts", mxd("MXTS", 10));
    fuzz::WriteSeed(folder, "four-bytes", mxd("MXAL", 0));
    // A speech-format WAV as the cards' own, and one with a chunk between
    // "fmt " and "data" and a data size larger than what follows.
    std::vector<std::uint8_t> wav(78, 0);
    std::memcpy(wav.data(), "RIFF", 4);
    std::memcpy(wav.data() + 8, "WAVEfmt ", 8);
    WriteLE32(wav, 16, 50);
    WriteLE16(wav, 20, 0x0022);
    std::memcpy(wav.data() + 70, "data", 4);
    WriteLE32(wav, 74, 200);
    wav.resize(278, 0x44);
    fuzz::WriteSeed(folder, "speech-wav", wav);
    std::vector<std::uint8_t> odd(wav.begin(), wav.begin() + 70);
    const char junk[] = "LISTjunk";
    odd.insert(odd.end(), junk, junk + 8);
    odd.insert(odd.end(), wav.begin() + 70, wav.begin() + 100);
    WriteLE32(odd, 82, 100000);
    fuzz::WriteSeed(folder, "speech-wav-odd", odd);
    // An ordinary PCM WAV: refused by the speech-format cards.
    std::vector<std::uint8_t> pcm(wav.begin(), wav.begin() + 36);
    WriteLE32(pcm, 16, 16);
    WriteLE16(pcm, 20, 1);
    const char data[] = "data";
    pcm.insert(pcm.end(), data, data + 4);
    pcm.resize(pcm.size() + 4 + 64, 0x10);
    fuzz::WriteSeed(folder, "pcm-wav", pcm);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    const std::string& path = fuzz::ScratchFile(".pcfile");
    if (!fuzz::WriteWholeFile(path, data, size)) std::abort();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) std::abort();
    const long length = static_cast<long>(size);
    for (std::uint32_t code : kVariants) {
        const VariantDescriptor& v = *FindVariant(code);
        ReadFrom(v, f, 0, length);
        ReadFrom(v, f, length / 2, length);
        WriteThenRead(v, data, size);
    }
    std::fclose(f);
    return 0;
}
