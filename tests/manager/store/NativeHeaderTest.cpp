// The native header of PC files: MXD magics and the speech-format WAV
// header, written on download and read back on upload.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "NativeFileHeader.h"
#include "VariantTable.h"

namespace murmex {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File FileWith(const std::vector<std::uint8_t>& bytes) {
    File f(std::tmpfile());
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f.get());
    std::fseek(f.get(), 0, SEEK_SET);
    return f;
}

File FileWith(const std::string& text) { return FileWith(std::vector<std::uint8_t>(text.begin(), text.end())); }

std::vector<std::uint8_t> Contents(std::FILE* f) {
    const long here = std::ftell(f);
    std::fseek(f, 0, SEEK_END);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::ftell(f)));
    std::fseek(f, 0, SEEK_SET);
    if (!out.empty() && std::fread(out.data(), 1, out.size(), f) != out.size()) out.clear();
    std::fseek(f, here, SEEK_SET);
    return out;
}

std::string Head(std::FILE* f, std::size_t n = 4) {
    const auto c = Contents(f);
    return std::string(c.begin(), c.begin() + static_cast<long>(std::min(n, c.size())));
}

const VariantDescriptor& V(std::uint32_t code) { return *FindVariant(code); }

void PutLE(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t LE32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}

TEST(MxdHeader, MagicByVariantAndType) {
    struct Case {
        std::uint32_t code;
        std::uint8_t type;
        const char* magic;  // "" = nothing written
    };
    const Case cases[] = {
        {0xFF000001, 0, "MXDS"},    {0xFF000001, 1, "MXDL"},    {0xFF000001, 2, "MXDS"},
        {0xFF000001, 0x80, "MXDS"}, {0xFF000003, 1, "MXDL"},    {0xFF000004, 0, "MXDS"},
        {0xFF000013, 1, "MXDL"},    {0xFF000012, 7, "MXDS"},
        {0xFF000021, 0, "MXDS"},    {0xFF000021, 1, "MXDL"},    {0xFF000022, 2, "MXAS"},
        {0xFF000023, 3, "MXAL"},    {0xFF000024, 6, "MXTS"},    {0xFF000021, 0x82, "MXTS"},
        {0xFF000021, 7, "MXTL"},    {0xFF000021, 0x83, "MXTL"}, {0xFF000021, 0x80, "MXDS"},
        {0xFF000021, 4, ""},        {0xFF000021, 5, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VariantCodeText(c.code) + " type " + std::to_string(c.type));
        File f = FileWith(std::string());
        EXPECT_TRUE(WriteFileHeader(V(c.code), c.type, 1234, f.get()));
        EXPECT_EQ(Head(f.get()), c.magic);
        EXPECT_EQ(std::ftell(f.get()), static_cast<long>(std::strlen(c.magic)));
    }
}

TEST(MxdHeader, WritingPutsThePositionBackUnlessItWasAtTheStart) {
    File f = FileWith(std::string("....0123456789"));
    std::fseek(f.get(), 9, SEEK_SET);
    ASSERT_TRUE(WriteFileHeader(V(0xFF000002), 1, 10, f.get()));
    EXPECT_EQ(std::ftell(f.get()), 9);
    EXPECT_EQ(Head(f.get(), 14), "MXDL0123456789");
}

TEST(MxdHeader, ReadingGivesTypeAndLength) {
    struct Case {
        std::uint32_t code;
        std::string contents;
        bool ok;
        std::uint8_t type;
        std::uint32_t length;
    };
    const Case cases[] = {
        {0xFF000001, "MXDL" + std::string(100, 'x'), true, 1, 100},
        {0xFF000001, "MXAL....", true, 1, 4},
        {0xFF000001, "MXTL....", true, 1, 4},
        {0xFF000001, "MXTS....", true, 0, 4},
        {0xFF000003, "RIFF....", true, 0, 4},  // no magic is refused
        {0xFF000011, "MXDS", true, 0, 0},
        {0xFF000001, "MXD", false, 0, 0},
        {0xFF000001, "", false, 0, 0},
        {0xFF000021, "MXAL..", true, 1, 2},
        {0xFF000022, "MXDL..", true, 1, 2},
        {0xFF000023, "MXTL..", true, 7, 2},
        {0xFF000024, "MXTS..", true, 6, 2},
        {0xFF000021, "MXAS..", true, 0, 2},
        {0xFF000021, "MXD", false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VariantCodeText(c.code) + " " + c.contents.substr(0, 4));
        File f = FileWith(c.contents);
        const auto h = ReadFileHeader(V(c.code), f.get());
        ASSERT_EQ(h.has_value(), c.ok);
        EXPECT_EQ(std::ftell(f.get()), c.ok ? 4 : 0);
        if (!c.ok) continue;
        EXPECT_EQ(h->type, c.type);
        EXPECT_EQ(h->length, c.length);
    }
}

TEST(MxdHeader, ReadingFromAnotherPositionLeavesIt) {
    File f = FileWith(std::string("MXDL0123456789"));
    std::fseek(f.get(), 6, SEEK_SET);
    const auto h = ReadFileHeader(V(0xFF000001), f.get());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->length, 10u);
    EXPECT_EQ(std::ftell(f.get()), 6);
}

// A speech-format WAV as the recorder's PC side writes it, built by hand.
std::vector<std::uint8_t> SpeechWav(std::uint32_t claimed, std::size_t present, std::uint16_t tag = 0x0022,
                                    std::uint32_t fmtSize = 50) {
    std::vector<std::uint8_t> w(12 + 8 + fmtSize + 8, 0);
    std::memcpy(w.data(), "RIFF", 4);
    PutLE(w, 4, static_cast<std::uint32_t>(w.size() - 8 + present), 4);
    std::memcpy(w.data() + 8, "WAVEfmt ", 8);
    PutLE(w, 16, fmtSize, 4);
    PutLE(w, 20, tag, 2);
    PutLE(w, 22, 1, 2);
    std::memcpy(w.data() + 20 + fmtSize, "data", 4);
    PutLE(w, 24 + fmtSize, claimed, 4);
    for (std::size_t i = 0; i < present; ++i) w.push_back(static_cast<std::uint8_t>(i));
    return w;
}

class SpeechWavVariant : public ::testing::TestWithParam<std::uint32_t> {};
INSTANTIATE_TEST_SUITE_P(Cards, SpeechWavVariant, ::testing::Values(0xFF000005u, 0xFF000006u, 0xFF000007u),
                         [](const auto& info) { return VariantCodeText(info.param).substr(2); });

TEST_P(SpeechWavVariant, HeaderIs78BytesAndRiffSizeFitsTheFile) {
    const std::uint32_t length = 3333;
    File f = FileWith(std::string("leftover bytes that the header covers ... and more of them, quite a few"));
    std::fseek(f.get(), 20, SEEK_SET);
    ASSERT_TRUE(WriteFileHeader(V(GetParam()), 1, length, f.get()));
    EXPECT_EQ(std::ftell(f.get()), 78);
    std::vector<std::uint8_t> data(length, 0x11);
    std::fwrite(data.data(), 1, data.size(), f.get());
    const auto c = Contents(f.get());
    ASSERT_EQ(c.size(), 78u + length);
    std::vector<std::uint8_t> expected(78, 0);
    auto put = [&](std::size_t at, std::vector<std::uint8_t> bytes) { std::copy(bytes.begin(), bytes.end(), expected.begin() + at); };
    put(0, {'R', 'I', 'F', 'F'});
    put(8, {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 50, 0, 0, 0});
    put(20, {0x22, 0, 1, 0});         // format tag, one channel
    put(24, {0x40, 0x1F, 0, 0});      // 8000 samples a second
    put(28, {0x2B, 0x04, 0, 0});      // 1067 bytes a second
    put(32, {32, 0, 1, 0, 32, 0, 1, 0, 240, 0});
    put(70, {'d', 'a', 't', 'a'});
    for (std::size_t i = 0; i < 74; ++i)
        if (i < 4 || i >= 8) {
            EXPECT_EQ(c[i], expected[i]) << "byte " << i;
        }
    EXPECT_EQ(LE32(c, 4), c.size() - 8);
    EXPECT_EQ(LE32(c, 74), length);

    // Read back as an upload would.
    std::fseek(f.get(), 0, SEEK_SET);
    const auto h = ReadFileHeader(V(GetParam()), f.get());
    ASSERT_TRUE(h);
    EXPECT_EQ(h->type, 0);
    EXPECT_EQ(h->length, length);
    EXPECT_EQ(std::ftell(f.get()), 78);
}

TEST_P(SpeechWavVariant, ReadingChecksTheFormatAndTrimsTheLength) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        bool ok;
        std::uint32_t length;
    };
    auto noRiff = SpeechWav(500, 500);
    std::memcpy(noRiff.data(), "RIFX", 4);
    auto neither = noRiff;
    std::memcpy(neither.data() + 8, "WAVX", 4);
    auto withFact = SpeechWav(500, 0);
    withFact.resize(withFact.size() - 8);  // drop the data chunk header
    for (const char* extra : {"fact", "\x04\0\0\0", "\x10\x20\x30\x40"}) withFact.insert(withFact.end(), extra, extra + 4);
    for (const char* extra : {"data", "\x90\x01\0\0"}) withFact.insert(withFact.end(), extra, extra + 4);
    withFact.resize(withFact.size() + 400, 0x33);
    auto cut = [](std::vector<std::uint8_t> file, std::size_t size) {
        file.resize(size);
        return file;
    };
    // Chunks the search has to step over: junk between fmt and data long
    // enough to put the data tag across 64 KB boundaries, and a chunk before fmt.
    auto junkBeforeData = [](std::size_t junk) {
        auto w = SpeechWav(0, 0);
        w.resize(w.size() - 8);
        w.resize(w.size() + junk, 0x00);
        for (const char* extra : {"data", "\x20\0\0\0"}) w.insert(w.end(), extra, extra + 4);
        w.resize(w.size() + 32, 0x44);
        return w;
    };
    auto listBeforeFmt = [] {
        auto w = SpeechWav(100, 100);
        const std::uint8_t list[] = {'L', 'I', 'S', 'T', 6, 0, 0, 0, 'I', 'N', 'F', 'O', 0, 0};
        w.insert(w.begin() + 12, std::begin(list), std::end(list));
        return w;
    };
    const std::vector<Case> cases = {
        {"plain", SpeechWav(500, 500), true, 500},
        {"data tag at 65604", junkBeforeData(65534), true, 32},
        {"data tag at 65605", junkBeforeData(65535), true, 32},
        {"data tag at 65606", junkBeforeData(65536), true, 32},
        {"data tag at 131141", junkBeforeData(131071), true, 32},
        {"LIST chunk before fmt", listBeforeFmt(), true, 100},
        {"data chunk claims more than there is", SpeechWav(100000, 700), true, 700},
        {"RIFF alone is enough", [] { auto w = SpeechWav(500, 500); std::memcpy(w.data() + 8, "WAVX", 4); return w; }(), true, 500},
        {"WAVE alone is enough", noRiff, true, 500},
        {"neither RIFF nor WAVE", neither, false, 0},
        {"another chunk before data", withFact, true, 400},
        {"fmt of 18 bytes", SpeechWav(64, 64, 0x0022, 18), true, 64},
        {"fmt of 16 bytes", SpeechWav(64, 64, 0x0022, 16), false, 0},
        {"PCM", SpeechWav(500, 500, 0x0001), false, 0},
        {"four data bytes", SpeechWav(4, 4), true, 4},
        {"three data bytes", SpeechWav(3, 3), false, 0},
        {"data tag cut off", cut(SpeechWav(0, 0), 72), false, 0},
        {"38 bytes", cut(SpeechWav(0, 0), 38), false, 0},
        {"an MXD file", std::vector<std::uint8_t>{'M', 'X', 'D', 'S', 1, 2, 3, 4, 5, 6}, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        File f = FileWith(c.file);
        for (long start : {0L, 5L}) {
            std::fseek(f.get(), start, SEEK_SET);
            const auto h = ReadFileHeader(V(GetParam()), f.get());
            ASSERT_EQ(h.has_value(), c.ok) << "from " << start;
            if (!c.ok) {
                EXPECT_EQ(std::ftell(f.get()), start);
                continue;
            }
            EXPECT_EQ(h->type, 0);
            EXPECT_EQ(h->length, c.length);
            // From the start, the file is left at the data.
            EXPECT_EQ(std::ftell(f.get()), start == 0 ? static_cast<long>(c.file.size() - c.length) : start);
        }
    }
}

}  // namespace
}  // namespace murmex
