// The manager's calls: the drivers and their tables, the result codes of
// every call, the header life cycle, cutting at the destination, the short
// last block of a coded sound, and the registry under several threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "AcmTestSupport.h"
#include "ByteOrder.h"
#include "G711Driver.h"
#include "GsmDriver.h"
#include "ImaAdpcmDriver.h"
#include "MsAdpcmDriver.h"

namespace murmex::acm::test {
namespace {

// A driver handle for one scope.
struct OpenedDriver {
    explicit OpenedDriver(DriverId id) { result = acmDriverOpen(handle, id); }
    ~OpenedDriver() {
        if (handle) acmDriverClose(handle);
    }
    DriverHandle handle = 0;
    MmResult result;
};

std::vector<WaveFormat> FormatsOf(DriverHandle h) {
    std::vector<WaveFormat> formats;
    acmFormatEnum(h, [&](DriverId, const WaveFormat& f) {
        formats.push_back(f);
        return true;
    });
    return formats;
}

TEST(AcmDrivers, EnumeratedInOrderWithTheirTables) {
    std::vector<DriverId> ids;
    ASSERT_EQ(acmDriverEnum([&](DriverId id) {
                  ids.push_back(id);
                  return true;
              }),
              MMSYSERR_NOERROR);
    ASSERT_EQ(ids, (std::vector<DriverId>{1, 2, 3, 4, 5}));

    struct Expected {
        const char* name;
        std::set<std::uint16_t> codecTags;
        std::uint32_t maxSize;
    };
    const Expected expected[] = {{"PCM Converter", {}, 18},
                                 {"G.711", {6, 7}, 18},
                                 {"IMA ADPCM", {0x11}, 20},
                                 {"MS ADPCM", {2}, 50},
                                 {"GSM 6.10", {49}, 20}};
    for (DriverId id : ids) {
        const Expected& e = expected[id - 1];
        SCOPED_TRACE(e.name);
        std::string name;
        ASSERT_EQ(acmDriverDetails(id, name), MMSYSERR_NOERROR);
        EXPECT_EQ(name, e.name);
        OpenedDriver d(id);
        ASSERT_EQ(d.result, MMSYSERR_NOERROR);
        std::set<std::uint16_t> tags;
        std::optional<WaveFormat> firstPcm;
        std::size_t largest = 0;
        ASSERT_EQ(acmFormatEnum(d.handle,
                                [&](DriverId reporter, const WaveFormat& f) {
                                    EXPECT_EQ(reporter, id);
                                    largest = std::max(largest, f.RecordSize());
                                    if (!f.IsPcm()) tags.insert(f.formatTag);
                                    else if (!firstPcm) firstPcm = f;
                                    return true;
                                }),
                  MMSYSERR_NOERROR);
        EXPECT_EQ(tags, e.codecTags);
        std::uint32_t size = 0;
        ASSERT_EQ(acmMetricsMaxSizeFormat(d.handle, size), MMSYSERR_NOERROR);
        EXPECT_EQ(size, e.maxSize);
        EXPECT_EQ(size, largest);
        ASSERT_TRUE(firstPcm);
        // The converter's first PCM format is the plainest; a codec's is the
        // 16-bit PCM its first stage decodes to.
        if (id == 1) EXPECT_EQ(*firstPcm, WaveFormat::Pcm(8000, 8, 1));
        else EXPECT_EQ(*firstPcm, WaveFormat::Pcm(8000, 16, 1));
    }
    std::uint32_t all = 0;
    ASSERT_EQ(acmMetricsMaxSizeFormat(0, all), MMSYSERR_NOERROR);
    EXPECT_EQ(all, 50u);

    // Callbacks that say stop are obeyed.
    int calls = 0;
    acmDriverEnum([&](DriverId) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
    calls = 0;
    acmFormatEnum(0, [&](DriverId, const WaveFormat&) { return ++calls < 3; });
    EXPECT_EQ(calls, 3);
}

// A table is a promise: each coded format converts on its own driver to
// and from the PCM it pairs with, and the PCM converter takes all its own.
TEST(AcmDrivers, EveryTableFormatConvertsOnItsOwnDriver) {
    for (DriverId id = 1; id <= 5; ++id) {
        OpenedDriver d(id);
        const auto formats = FormatsOf(d.handle);
        for (const WaveFormat& f : formats) {
            for (const WaveFormat& g : formats) {
                const bool pair = f.IsPcm() && g.IsPcm() ? id == 1
                                  : f.IsPcm() != g.IsPcm()
                                      ? (f.IsPcm() ? g : f).samplesPerSec == (f.IsPcm() ? f : g).samplesPerSec &&
                                            (f.IsPcm() ? g : f).channels == (f.IsPcm() ? f : g).channels
                                      : false;
                if (!pair) continue;
                StreamHandle s = 0;
                ASSERT_EQ(acmStreamOpen(s, d.handle, f, g), MMSYSERR_NOERROR)
                    << "driver " << id << ": tag " << f.formatTag << " " << f.samplesPerSec << "/" << f.channels
                    << " to tag " << g.formatTag << " " << g.samplesPerSec << "/" << g.channels;
                EXPECT_EQ(acmStreamClose(s), MMSYSERR_NOERROR);
            }
        }
    }
}

WaveFormat WithExtraWord(WaveFormat f, std::size_t at, std::uint16_t value) {
    WriteLE16(f.extra, at, value);
    return f;
}

TEST(AcmStreams, ImpossibleAndMalformedFormatsAreRefused) {
    const WaveFormat pcm8k = WaveFormat::Pcm(8000, 16, 1);
    WaveFormat gsmStereo = GsmDriver::Format();
    gsmStereo.samplesPerSec = 44100;
    gsmStereo.channels = 2;
    gsmStereo.blockAlign = 130;
    WaveFormat msShortTable = MsAdpcmDriver::Format(8000, 1);
    msShortTable.extra.resize(4 + 4 * 6);  // says 7 pairs, holds 6
    WaveFormat pcm24 = pcm8k;
    pcm24.bitsPerSample = 24;
    pcm24.blockAlign = 3;
    WaveFormat tag34 = pcm8k;
    tag34.formatTag = 0x22;
    auto broken = [&](auto change) {
        WaveFormat f = pcm8k;
        change(f);
        return f;
    };
    struct Case {
        const char* name;
        WaveFormat from, to;
        MmResult expected;
    };
    const Case cases[] = {
        {"GSM at 44100 Hz stereo", gsmStereo, WaveFormat::Pcm(44100, 16, 2), ACMERR_NOTPOSSIBLE},
        {"PCM to GSM at 44100 Hz stereo", WaveFormat::Pcm(44100, 16, 2), gsmStereo, ACMERR_NOTPOSSIBLE},
        {"a-law straight to u-law", G711Driver::Format(6, 8000, 1), G711Driver::Format(7, 8000, 1), ACMERR_NOTPOSSIBLE},
        {"IMA to 8-bit PCM", ImaAdpcmDriver::Format(8000, 1), WaveFormat::Pcm(8000, 8, 1), ACMERR_NOTPOSSIBLE},
        {"IMA to another rate", ImaAdpcmDriver::Format(8000, 1), WaveFormat::Pcm(16000, 16, 1), ACMERR_NOTPOSSIBLE},
        {"IMA samples per block against its block align", WithExtraWord(ImaAdpcmDriver::Format(8000, 1), 0, 504), pcm8k,
         ACMERR_NOTPOSSIBLE},
        {"MS with fewer pairs than it names", msShortTable, pcm8k, ACMERR_NOTPOSSIBLE},
        {"MS encoding with a table of its own", pcm8k, WithExtraWord(MsAdpcmDriver::Format(8000, 1), 4, 300),
         ACMERR_NOTPOSSIBLE},
        {"PCM of 24 bits", pcm24, pcm8k, ACMERR_NOTPOSSIBLE},
        {"PCM below 4000 Hz", WaveFormat::Pcm(2000, 16, 1), pcm8k, ACMERR_NOTPOSSIBLE},
        {"four channels to three", WaveFormat::Pcm(8000, 16, 4), WaveFormat::Pcm(8000, 16, 3), ACMERR_NOTPOSSIBLE},
        {"nine channels", WaveFormat::Pcm(8000, 16, 9), pcm8k, ACMERR_NOTPOSSIBLE},
        {"no driver for the tag yet", tag34, pcm8k, ACMERR_NOTPOSSIBLE},
        {"no channels", broken([](WaveFormat& f) { f.channels = 0; }), pcm8k, MMSYSERR_INVALPARAM},
        {"no rate", pcm8k, broken([](WaveFormat& f) { f.samplesPerSec = 0; }), MMSYSERR_INVALPARAM},
        {"no block align", broken([](WaveFormat& f) { f.blockAlign = 0; }), pcm8k, MMSYSERR_INVALPARAM},
    };
    for (const Case& c : cases) {
        StreamHandle s = 77;
        EXPECT_EQ(acmStreamOpen(s, 0, c.from, c.to), c.expected) << c.name;
        EXPECT_EQ(s, 0u) << c.name;
    }
    // A driver asked for what only another one does.
    OpenedDriver pcmDriver(1), g711(2);
    StreamHandle s = 0;
    EXPECT_EQ(acmStreamOpen(s, pcmDriver.handle, G711Driver::Format(6, 8000, 1), pcm8k), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamOpen(s, g711.handle, pcm8k, WaveFormat::Pcm(16000, 16, 1)), ACMERR_NOTPOSSIBLE);
}

TEST(AcmHandles, MadeUpStaleAndWrongKindHandlesAreRefused) {
    const WaveFormat pcm = WaveFormat::Pcm(8000, 16, 1);
    DriverHandle staleDriver = 0;
    StreamHandle staleStream = 0;
    ASSERT_EQ(acmDriverOpen(staleDriver, 1), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamOpen(staleStream, staleDriver, pcm, pcm), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamClose(staleStream), MMSYSERR_NOERROR);
    ASSERT_EQ(acmDriverClose(staleDriver), MMSYSERR_NOERROR);
    OpenedDriver live(1);
    StreamHandle liveStream = 0;
    ASSERT_EQ(acmStreamOpen(liveStream, 0, pcm, pcm), MMSYSERR_NOERROR);

    const std::uint32_t madeUp = 0xDEADBEEF;
    for (std::uint32_t h : {madeUp, staleDriver, liveStream}) {
        SCOPED_TRACE(h);
        std::uint32_t size = 0;
        EXPECT_EQ(acmDriverClose(h), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmMetricsMaxSizeFormat(h, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmFormatEnum(h, [](DriverId, const WaveFormat&) { return true; }), MMSYSERR_INVALHANDLE);
        StreamHandle s = 0;
        EXPECT_EQ(acmStreamOpen(s, h, pcm, pcm), MMSYSERR_INVALHANDLE);
    }
    std::vector<std::uint8_t> bytes(64);
    for (std::uint32_t h : {0u, madeUp, staleStream, live.handle}) {
        SCOPED_TRACE(h);
        StreamHeader header{bytes, 0, bytes, 0};
        std::uint32_t size = 0;
        EXPECT_EQ(acmStreamPrepareHeader(h, header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamConvert(h, header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamUnprepareHeader(h, header), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamSize(h, 100, size), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmStreamClose(h), MMSYSERR_INVALHANDLE);
        EXPECT_FALSE(header.prepared);
    }
    for (DriverId id : {0u, 6u, 0xFFFFFFFFu}) {
        DriverHandle h = 1;
        std::string name;
        EXPECT_EQ(acmDriverOpen(h, id), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(h, 0u);
        EXPECT_EQ(acmDriverDetails(id, name), MMSYSERR_INVALHANDLE);
        EXPECT_EQ(acmDriverEnable(id, true), MMSYSERR_INVALHANDLE);
    }
    EXPECT_EQ(acmStreamClose(liveStream), MMSYSERR_NOERROR);
}

TEST(AcmHeaders, LifeCycleAndBusyCodes) {
    const WaveFormat alaw = G711Driver::Format(6, 8000, 1), pcm = WaveFormat::Pcm(8000, 16, 1);
    OpenedDriver d(2);
    StreamHandle s = 0;
    ASSERT_EQ(acmStreamOpen(s, d.handle, alaw, pcm), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> in(100, 0xD5), out(200), other(200);
    StreamHeader h{in, 0, out, 0};

    EXPECT_EQ(acmStreamConvert(s, h), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamUnprepareHeader(s, h), ACMERR_UNPREPARED);
    ASSERT_EQ(acmStreamPrepareHeader(s, h), MMSYSERR_NOERROR);
    EXPECT_TRUE(h.prepared);
    EXPECT_EQ(acmStreamPrepareHeader(s, h), MMSYSERR_NOERROR);  // again: no harm
    EXPECT_EQ(acmStreamClose(s), ACMERR_BUSY);                  // a header is still prepared
    EXPECT_EQ(acmDriverClose(d.handle), ACMERR_BUSY);           // a stream is still open on it

    ASSERT_EQ(acmStreamConvert(s, h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.sourceUsed, 100u);
    EXPECT_EQ(h.destinationUsed, 200u);
    // The same header again, on a shorter part of the same source.
    h.source = std::span<const std::uint8_t>(in).first(10);
    EXPECT_EQ(acmStreamConvert(s, h), MMSYSERR_NOERROR);
    EXPECT_EQ(h.destinationUsed, 20u);
    // Not the buffers it was prepared with.
    h.destination = other;
    EXPECT_EQ(acmStreamConvert(s, h), MMSYSERR_INVALPARAM);
    h.destination = out;

    EXPECT_EQ(acmStreamUnprepareHeader(s, h), MMSYSERR_NOERROR);
    EXPECT_FALSE(h.prepared);
    EXPECT_EQ(acmStreamUnprepareHeader(s, h), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamConvert(s, h), ACMERR_UNPREPARED);
    EXPECT_EQ(acmStreamClose(s), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(s), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(acmDriverClose(d.handle), MMSYSERR_NOERROR);
    d.handle = 0;
}

TEST(AcmDrivers, DisabledDriverIsPassedOver) {
    struct EnableAgain {
        ~EnableAgain() { acmDriverEnable(2, true); }
    } guard;
    const WaveFormat alaw = G711Driver::Format(6, 8000, 1), pcm = WaveFormat::Pcm(8000, 16, 1);
    OpenedDriver before(2);
    ASSERT_EQ(acmDriverEnable(2, false), MMSYSERR_NOERROR);
    std::vector<DriverId> ids;
    acmDriverEnum([&](DriverId id) {
        ids.push_back(id);
        return true;
    });
    EXPECT_EQ(ids, (std::vector<DriverId>{1, 3, 4, 5}));
    DriverHandle h = 0;
    EXPECT_EQ(acmDriverOpen(h, 2), MMSYSERR_NOTENABLED);
    StreamHandle s = 0;
    EXPECT_EQ(acmStreamOpen(s, 0, alaw, pcm), ACMERR_NOTPOSSIBLE);
    EXPECT_EQ(acmStreamOpen(s, before.handle, alaw, pcm), MMSYSERR_NOTENABLED);
    EXPECT_EQ(acmFormatEnum(before.handle, [](DriverId, const WaveFormat&) { return true; }), MMSYSERR_NOTENABLED);
    bool alawSeen = false;
    acmFormatEnum(0, [&](DriverId, const WaveFormat& f) { return !(alawSeen = f.formatTag == 6); });
    EXPECT_FALSE(alawSeen);

    ASSERT_EQ(acmDriverEnable(2, true), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamOpen(s, 0, alaw, pcm), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamClose(s), MMSYSERR_NOERROR);
}

// Each case: a conversion and the sizes of its blocks on both sides (0: the
// source side has no fixed relation, as for a rate change).
struct CutCase {
    const char* name;
    WaveFormat from, to;
    std::size_t inBlock, outBlock;
};

std::vector<std::uint8_t> SourceFor(const WaveFormat& f, double seconds) {
    const auto pcm = Bytes16(SpeechLike(f.samplesPerSec, seconds, f.channels));
    if (f.IsPcm()) return pcm;
    return Convert(WaveFormat::Pcm(f.samplesPerSec, 16, f.channels), f, pcm);
}

std::vector<CutCase> CutCases() {
    const WaveFormat pcm8k = WaveFormat::Pcm(8000, 16, 1), pcm8kStereo = WaveFormat::Pcm(8000, 16, 2);
    return {
        {"a-law decode", G711Driver::Format(6, 8000, 1), pcm8k, 1, 2},
        {"u-law encode stereo", pcm8kStereo, G711Driver::Format(7, 8000, 2), 4, 2},
        {"IMA decode stereo", ImaAdpcmDriver::Format(8000, 2), pcm8kStereo, 512, 505 * 4},
        {"IMA encode", pcm8k, ImaAdpcmDriver::Format(8000, 1), 505 * 2, 256},
        {"MS decode", MsAdpcmDriver::Format(8000, 1), pcm8k, 256, 500 * 2},
        {"MS encode stereo", pcm8kStereo, MsAdpcmDriver::Format(8000, 2), 500 * 4, 512},
        {"GSM decode", GsmDriver::Format(), pcm8k, 65, 640},
        {"GSM encode", pcm8k, GsmDriver::Format(), 640, 65},
        {"PCM rate change", WaveFormat::Pcm(44100, 16, 2), WaveFormat::Pcm(7221, 16, 1), 0, 2},
        {"PCM widening", WaveFormat::Pcm(11025, 8, 2), WaveFormat::Pcm(11025, 16, 2), 2, 4},
    };
}

TEST(AcmCutting, ShortDestinationIsCutAtAWholeBlock) {
    for (const CutCase& c : CutCases()) {
        SCOPED_TRACE(c.name);
        const auto source = SourceFor(c.from, 1.5);
        ASSERT_FALSE(source.empty());
        MmResult code = ~0u;
        const auto full = Convert(c.from, c.to, source, &code);
        ASSERT_EQ(code, MMSYSERR_NOERROR);
        ASSERT_EQ(full.size() % c.outBlock, 0u);
        StreamHandle s = 0;
        ASSERT_EQ(acmStreamOpen(s, 0, c.from, c.to), MMSYSERR_NOERROR);
        std::uint32_t promised = 0;
        ASSERT_EQ(acmStreamSize(s, static_cast<std::uint32_t>(source.size()), promised), MMSYSERR_NOERROR);
        EXPECT_GE(promised, full.size());
        for (std::size_t room : {full.size() - 1, full.size() / 2 + 3, c.outBlock - 1}) {
            SCOPED_TRACE(room);
            constexpr std::size_t kGuard = 32;
            std::vector<std::uint8_t> out(room + kGuard, 0xEE);
            StreamHeader h{source, 0, std::span(out).first(room), 0};
            ASSERT_EQ(acmStreamPrepareHeader(s, h), MMSYSERR_NOERROR);
            ASSERT_EQ(acmStreamConvert(s, h), MMSYSERR_NOERROR);
            ASSERT_EQ(acmStreamUnprepareHeader(s, h), MMSYSERR_NOERROR);
            EXPECT_EQ(h.destinationUsed, room / c.outBlock * c.outBlock);
            EXPECT_TRUE(std::equal(out.begin(), out.begin() + h.destinationUsed, full.begin()));
            EXPECT_TRUE(std::all_of(out.begin() + static_cast<std::ptrdiff_t>(room), out.end(),
                                    [](std::uint8_t b) { return b == 0xEE; }));
            if (c.inBlock) {
                EXPECT_EQ(h.sourceUsed, h.destinationUsed / c.outBlock * c.inBlock);
            }
            EXPECT_LT(h.sourceUsed, source.size());
        }
        EXPECT_EQ(acmStreamClose(s), MMSYSERR_NOERROR);
    }
}

// A coded sound that stops inside a block: the ADPCMs give every sample
// the bytes there hold, GSM drops the piece (half a frame is no sound).
TEST(AcmCutting, ShortLastBlock) {
    struct Case {
        const char* name;
        WaveFormat coded;
        std::size_t tail;    // bytes of the third block that are there
        std::size_t frames;  // the frames they give
    };
    const Case cases[] = {
        {"IMA mono", ImaAdpcmDriver::Format(8000, 1), 4 + 3 * 4 + 2, 1 + 3 * 8},
        {"IMA stereo", ImaAdpcmDriver::Format(8000, 2), 8 + 2 * 8 + 5, 1 + 2 * 8},
        {"IMA header cut", ImaAdpcmDriver::Format(8000, 1), 3, 0},
        {"MS mono", MsAdpcmDriver::Format(8000, 1), 7 + 10, 2 + 20},
        {"MS stereo", MsAdpcmDriver::Format(8000, 2), 14 + 9, 2 + 9},
        {"MS header cut", MsAdpcmDriver::Format(8000, 2), 13, 0},
        {"GSM", GsmDriver::Format(), 64, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WaveFormat pcm = WaveFormat::Pcm(8000, 16, c.coded.channels);
        const std::size_t block = c.coded.blockAlign;
        const std::size_t frameBytes = 2u * c.coded.channels;
        const std::size_t spb = block == 65 ? 320 : ReadLE16(c.coded.extra, 0);
        auto coded = SourceFor(c.coded, 1.0);
        ASSERT_GE(coded.size(), 3 * block);
        coded.resize(3 * block);
        const auto whole = Convert(c.coded, pcm, coded);
        ASSERT_EQ(whole.size(), 3 * spb * frameBytes);

        std::vector<std::uint8_t> cut(coded.begin(), coded.begin() + static_cast<std::ptrdiff_t>(2 * block + c.tail));
        StreamHandle s = 0;
        ASSERT_EQ(acmStreamOpen(s, 0, c.coded, pcm), MMSYSERR_NOERROR);
        std::vector<std::uint8_t> out(whole.size());
        StreamHeader h{cut, 0, out, 0};
        ASSERT_EQ(acmStreamPrepareHeader(s, h), MMSYSERR_NOERROR);
        ASSERT_EQ(acmStreamConvert(s, h), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamUnprepareHeader(s, h), MMSYSERR_NOERROR);
        EXPECT_EQ(acmStreamClose(s), MMSYSERR_NOERROR);
        ASSERT_EQ(h.destinationUsed, (2 * spb + c.frames) * frameBytes);
        EXPECT_EQ(h.sourceUsed, c.frames ? cut.size() : 2 * block);
        EXPECT_TRUE(std::equal(out.begin(), out.begin() + h.destinationUsed, whole.begin()));
    }
}

// Streams of their own on many threads, and two threads on one stream:
// those never see anything but success or "busy", and every conversion that
// ran gives the right bytes.
TEST(AcmThreads, RegistryHoldsUnderSeveralThreads) {
    const WaveFormat pcm = WaveFormat::Pcm(8000, 16, 1), ima = ImaAdpcmDriver::Format(8000, 1);
    const auto source = Bytes16(SpeechLike(8000, 1.0, 1));
    const auto expected = Convert(pcm, ima, source);
    ASSERT_FALSE(expected.empty());
    std::atomic<int> wrong{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 25; ++i)
                    if (Convert(pcm, ima, source) != expected) ++wrong;
            });
    }
    EXPECT_EQ(wrong, 0);

    StreamHandle shared = 0;
    ASSERT_EQ(acmStreamOpen(shared, 0, WaveFormat::Pcm(48000, 16, 2), WaveFormat::Pcm(7221, 16, 1)),
              MMSYSERR_NOERROR);
    const auto loud = Bytes16(SpeechLike(48000, 2.0, 2));
    const auto reference = Convert(WaveFormat::Pcm(48000, 16, 2), WaveFormat::Pcm(7221, 16, 1), loud);
    std::atomic<int> done{0}, busy{0}, other{0};
    {
        std::vector<std::jthread> threads;
        for (int t = 0; t < 2; ++t)
            threads.emplace_back([&] {
                std::vector<std::uint8_t> out(reference.size());
                StreamHeader h{loud, 0, out, 0};
                if (acmStreamPrepareHeader(shared, h) != MMSYSERR_NOERROR) ++other;
                for (int i = 0; i < 4; ++i) {
                    const MmResult r = acmStreamConvert(shared, h);
                    if (r == ACMERR_BUSY) ++busy;
                    else if (r == MMSYSERR_NOERROR && out == reference) ++done;
                    else ++other;
                    if (acmStreamClose(shared) != ACMERR_BUSY) ++other;
                }
                if (acmStreamUnprepareHeader(shared, h) != MMSYSERR_NOERROR) ++other;
            });
    }
    std::printf("[ acm ] one stream, two threads: %d conversions, %d busy\n", done.load(), busy.load());
    EXPECT_EQ(other, 0);
    EXPECT_GE(done, 1);
    EXPECT_EQ(done + busy, 8);
    EXPECT_EQ(acmStreamClose(shared), MMSYSERR_NOERROR);
}

}  // namespace
}  // namespace murmex::acm::test
