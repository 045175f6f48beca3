// Fuzzes what a coded WAV file hands the audio compression manager: its
// format record and its sample data, through a whole stream (open, size,
// prepare, convert, unprepare, close) for each format tag we have a driver
// for, with a destination of full, short or tiny size; then the record as
// the target of an encoding and the result decoded again. Checks that no
// call reports more bytes than there were, that the size promised holds, and
// that the record's bytes survive the round trip.
//
// Input: a selector byte, the record's length, the record, the data.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "Acm.h"
#include "ByteOrder.h"
#include "FuzzSupport.h"
#include "WaveFormat.h"

namespace murmex {
namespace {

using namespace acm;

constexpr std::uint16_t kTags[] = {6, 7, 0x11, 2, 49, 1};
constexpr std::size_t kTagCount = sizeof kTags / sizeof kTags[0];

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Runs one whole stream; the output, or nothing when the stream would not open.
std::vector<std::uint8_t> Run(const WaveFormat& from, const WaveFormat& to, std::span<const std::uint8_t> data,
                              unsigned roomMode) {
    StreamHandle s = 0;
    if (acmStreamOpen(s, 0, from, to) != MMSYSERR_NOERROR) {
        if (s != 0) Broken("handle of a failed open");
        return {};
    }
    std::uint32_t promised = 0;
    if (acmStreamSize(s, static_cast<std::uint32_t>(data.size()), promised) != MMSYSERR_NOERROR)
        Broken("size of a small source");
    std::size_t room = promised;
    if (roomMode == 1) room = promised / 2;
    if (roomMode == 2 && room) room -= 1;
    if (roomMode == 3) room = 7;
    std::vector<std::uint8_t> out(room);
    StreamHeader h{data, 0, out, 0};
    if (acmStreamPrepareHeader(s, h) != MMSYSERR_NOERROR) Broken("prepare");
    const MmResult converted = acmStreamConvert(s, h);
    if (converted != MMSYSERR_NOERROR && converted != MMSYSERR_NOMEM) Broken("convert");
    if (h.sourceUsed > data.size()) Broken("used more source than there is");
    if (h.destinationUsed > room) Broken("wrote more than the room");
    if (h.destinationUsed > promised) Broken("wrote more than promised");
    if (acmStreamClose(s) != ACMERR_BUSY) Broken("close with a prepared header");
    if (acmStreamUnprepareHeader(s, h) != MMSYSERR_NOERROR) Broken("unprepare");
    if (acmStreamClose(s) != MMSYSERR_NOERROR) Broken("close");
    out.resize(h.destinationUsed);
    return out;
}

// The PCM side a coded record pairs with; for PCM itself, one of two
// targets that make the converter work.
WaveFormat PcmSide(const WaveFormat& f, unsigned variant) {
    if (f.IsPcm()) return variant % 2 ? WaveFormat::Pcm(7221, 16, 1) : WaveFormat::Pcm(8000, 8, 2);
    return WaveFormat::Pcm(f.samplesPerSec, 16, f.channels);
}

std::vector<std::uint8_t> Seed(std::uint8_t selector, const WaveFormat& f, const std::vector<std::uint8_t>& data) {
    const auto record = f.ToBytes();
    std::vector<std::uint8_t> seed{selector, static_cast<std::uint8_t>(record.size())};
    seed.insert(seed.end(), record.begin(), record.end());
    seed.insert(seed.end(), data.begin(), data.end());
    return seed;
}

}  // namespace
}  // namespace murmex

namespace {

void WriteSeeds(const std::string& folder) {
    using namespace murmex;
    // One seed per codec: a short tone coded by our own encoder, behind the
    // record of the first table format of the tag.
    std::vector<std::uint8_t> tone(2 * 8000 / 4 * 2);
    for (std::size_t i = 0; i < tone.size() / 2; ++i)
        WriteLE16(tone, 2 * i, static_cast<std::uint16_t>(static_cast<std::int16_t>((i * 2654435761u >> 20) % 20000) - 10000));
    for (std::size_t t = 0; t < kTagCount; ++t) {
        const std::uint16_t tag = kTags[t];
        WaveFormat f;
        acmFormatEnum(0, [&](DriverId, const WaveFormat& g) {
            if (g.formatTag != tag) return true;
            f = g;
            return false;
        });
        if (tag == 1) f = WaveFormat::Pcm(8000, 16, 1);
        const WaveFormat pcm = WaveFormat::Pcm(f.samplesPerSec, 16, f.channels);
        std::vector<std::uint8_t> coded = tone;
        if (tag != 1) {
            StreamHandle s = 0;
            std::uint32_t size = 0;
            if (acmStreamOpen(s, 0, pcm, f) || acmStreamSize(s, static_cast<std::uint32_t>(tone.size()), size)) std::abort();
            coded.assign(size, 0);
            StreamHeader h{tone, 0, coded, 0};
            acmStreamPrepareHeader(s, h);
            acmStreamConvert(s, h);
            acmStreamUnprepareHeader(s, h);
            acmStreamClose(s);
            coded.resize(h.destinationUsed);
        }
        fuzz::WriteSeed(folder, "tag-" + std::to_string(tag), Seed(static_cast<std::uint8_t>(t), f, coded));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    if (size < 2) return 0;
    const unsigned selector = data[0];
    const std::size_t recordLength = std::min<std::size_t>(data[1], size - 2);
    const std::span<const std::uint8_t> recordBytes(data + 2, recordLength);
    const std::span<const std::uint8_t> samples(data + 2 + recordLength, size - 2 - recordLength);

    auto record = WaveFormat::FromBytes(recordBytes);
    if (!record) {
        if (recordLength >= 18 && recordLength - 18 >= ReadLE16(recordBytes, 16)) Broken("whole record refused");
        return 0;
    }
    const auto back = record->ToBytes();
    if (back.size() != record->RecordSize() || std::memcmp(back.data(), recordBytes.data(), back.size()) != 0)
        Broken("record bytes round trip");

    record->formatTag = kTags[selector % kTagCount];
    const unsigned roomMode = (selector / kTagCount) % 4;
    const WaveFormat pcm = PcmSide(*record, selector / (kTagCount * 4));
    const auto decoded = Run(*record, pcm, samples, roomMode);
    if (record->IsPcm() || decoded.empty()) return 0;
    // The same record as the target of an encoding, and back.
    const auto coded = Run(pcm, *record, decoded, 0);
    if (!coded.empty()) Run(*record, pcm, coded, 0);
    return 0;
}
