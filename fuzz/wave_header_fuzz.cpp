// Fuzzes the WAV reader the conversions use: the byte-wise chunk search, the
// format record with its extra bytes, and the data length cut to the file;
// then the frame walk over the same bytes taken as MXD frame data.
//
// Input: the whole WAV file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "MxdFile.h"
#include "WaveFile.h"

namespace murmex {
namespace {

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

}  // namespace
}  // namespace murmex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    const std::string& path = fuzz::ScratchFile(".wav");
    std::FILE* f = std::fopen(path.c_str(), "w+b");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    for (long start : {0L, static_cast<long>(size / 2)}) {
        std::fseek(f, start, SEEK_SET);
        WaveFormat format;
        std::uint32_t length = 0;
        const int ok = WaveHeaderReader(f, format, length);
        const long at = std::ftell(f);
        if (!ok && at != start) Broken("file position not restored");
        if (ok && (length <= 3 || static_cast<std::uint64_t>(at) + length > size)) Broken("data beyond the file");
        if (ok && format.RecordSize() > size) Broken("format record larger than the file");
    }
    std::fclose(f);

    const std::span<const std::uint8_t> frames(data, size);
    std::uint64_t walked = 0;
    FrameWalker walk(frames);
    while (const auto step = walk.Next()) {
        if (step->length == 0 || step->offset + step->length > size) Broken("frame outside the data");
        walked += step->length;
    }
    if (walked != size) Broken("frame walk skipped bytes");
    if (SeekByPcmPosition(frames, size * 7) > size) Broken("seek beyond the data");
    return 0;
}

namespace {

void WriteSeeds(const std::string& folder) {
    using namespace murmex;
    // A PCM WAV with a chunk before "fmt ", a GSM one with its extra bytes,
    // and one whose data claims more than the file holds.
    std::vector<std::uint8_t> pcm = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'L', 'I', 'S', 'T', 4, 0, 0, 0,
                                     'a', 'b', 'c', 'd', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0, 0x40, 0x1F, 0, 0,
                                     0x80, 0x3E, 0, 0, 2, 0, 16, 0, 'd', 'a', 't', 'a', 64, 0, 0, 0};
    pcm.resize(pcm.size() + 64, 0x10);
    fuzz::WriteSeed(folder, "pcm", pcm);
    std::vector<std::uint8_t> gsm = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 20, 0, 0, 0,
                                     49, 0, 1, 0, 0x40, 0x1F, 0, 0, 0x59, 0x06, 0, 0, 65, 0, 0, 0, 2, 0, 0x40, 0x01,
                                     'd', 'a', 't', 'a', 0xFF, 0xFF, 0, 0};
    gsm.resize(gsm.size() + 130, 0x5A);
    fuzz::WriteSeed(folder, "gsm-long-claim", gsm);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }
