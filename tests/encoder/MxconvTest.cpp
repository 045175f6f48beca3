// EncodeToMXD through the library loaded by name, with the real codec and
// ACM, on WAV files written here.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "Module.h"
#include "MxdFile.h"
#include "Mxconv.h"
#include "WaveFile.h"
#include "WavFiles.h"

namespace murmex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using test::ReadAll;

// A 16-bit PCM WAV of `frames` sample frames of a tone at `rate`.
void WritePcmWav(const fs::path& p, std::uint32_t rate, std::uint32_t frames, std::uint16_t channels = 1) {
    test::WriteToneWav(p, rate, frames * channels * 2u, channels);
}

// What the notifier saw. The test passes it as the window, so the notifier
// finds it again from its first argument.
struct Window {
    int progress = -1;
    int* cancel = nullptr;
    int cancelAbove = -1;  // set *cancel once progress passes this
    std::vector<int> seen;  // progress at each notification
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

void Notify(void* window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    auto& w = *static_cast<Window*>(window);
    w.seen.push_back(w.progress);
    w.message = message;
    w.wParam = wParam;
    w.lParam = lParam;
    if (w.cancel && w.cancelAbove >= 0 && w.progress > w.cancelAbove) *w.cancel = 1;
}

struct Mxd {
    std::string magic;
    std::uint64_t samples = 0;
};

Mxd ReadMxd(const fs::path& p) {
    const Bytes bytes = ReadAll(p);
    if (bytes.size() < kMxdMagicBytes) return {};
    return {std::string(bytes.begin(), bytes.begin() + kMxdMagicBytes),
            DurationSamples(std::span(bytes).subspan(kMxdMagicBytes))};
}

class Mxconv : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("murmex-mxconv-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        // The manager finds the library in its own directory; the tests run from elsewhere.
        const char* bin = std::getenv("MURMEX_BIN_DIR");
        programDir_ = bin ? fs::path(bin) : fs::read_symlink("/proc/self/exe").parent_path() / "../bin";
        ::setenv("MURMEX_PROGRAM_DIR", programDir_.c_str(), 1);
        std::string error;
        module_ = platform::Module::Load(kMxconvLibraryName, &error);
        ASSERT_TRUE(module_) << error;
        encode_ = module_.Function<EncodeToMxdFn>(kEncodeToMxdName);
        setNotifier_ = module_.Function<MxconvSetNotifierFn>(kMxconvSetNotifierName);
        ASSERT_NE(encode_, nullptr);
        ASSERT_NE(setNotifier_, nullptr);
        setNotifier_(Notify);
    }
    void TearDown() override {
        if (setNotifier_) setNotifier_(nullptr);
        ::setenv("MURMEX_PROGRAM_DIR", programDir_.c_str(), 1);
        fs::remove_all(dir_);
    }

    int Encode(const std::string& in, const std::string& out, Window* window, int* cancel = nullptr) {
        return encode_(Path(in).c_str(), Path(out).c_str(), cancel, window ? &window->progress : nullptr, window,
                       0x113, 0xFFF8, 0);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    fs::path dir_, programDir_;
    platform::Module module_;
    EncodeToMxdFn* encode_ = nullptr;
    MxconvSetNotifierFn* setNotifier_ = nullptr;
};

// Rates just above the codec's are taken as 7200 Hz and not resampled: the
// MXD then has exactly one frame per 160 input samples and is the same as
// for those samples labelled 7200 Hz. Rates outside the band are resampled.
TEST_F(Mxconv, RatesFrom7220To7229AreTakenAs7200WithoutResampling) {
    constexpr std::uint32_t kFrames = 160 * 1000;
    WritePcmWav(dir_ / "ref.wav", 7200, kFrames);
    ASSERT_EQ(Encode("ref.wav", "ref.mxd", nullptr), 1);
    const Bytes reference = ReadAll(dir_ / "ref.mxd");

    struct Case {
        std::uint32_t rate;
        bool asIs;
    };
    for (const Case c : {Case{7219, false}, Case{7220, true}, Case{7225, true}, Case{7229, true},
                         Case{7230, false}}) {
        SCOPED_TRACE(c.rate);
        WritePcmWav(dir_ / "in.wav", c.rate, kFrames);
        ASSERT_EQ(Encode("in.wav", "out.mxd", nullptr), 1);
        const Mxd mxd = ReadMxd(dir_ / "out.mxd");
        EXPECT_EQ(mxd.magic, "MXTS");
        if (c.asIs) {
            EXPECT_EQ(mxd.samples, kFrames);
            EXPECT_EQ(ReadAll(dir_ / "out.mxd"), reference);
        } else {
            EXPECT_NE(mxd.samples, kFrames);
            EXPECT_NEAR(static_cast<double>(mxd.samples), kFrames * 7200.0 / c.rate, 160);
        }
    }
}

// 32 seconds of 7200 Hz mono is one chunk: a third for the conversion, one
// update per block of 1440, then the whole.
TEST_F(Mxconv, ThirtyTwoSecondsAtTheCodecRateAreOneChunk) {
    WritePcmWav(dir_ / "a.wav", 7200, 7200 * 32);
    Window w;
    ASSERT_EQ(Encode("a.wav", "a.mxd", &w), 1);

    EXPECT_EQ(ReadMxd(dir_ / "a.mxd").samples, 7200u * 32);
    ASSERT_EQ(w.seen.size(), 1u + 1440u + 1u);
    EXPECT_EQ(w.seen.front(), 333);
    EXPECT_EQ(w.seen[1], 333);  // 1/1440 of the remaining two thirds
    EXPECT_EQ(w.seen[720], 666);  // half the blocks
    EXPECT_EQ(w.seen[1440], 1000);
    EXPECT_EQ(w.seen.back(), 1000);
    EXPECT_TRUE(std::is_sorted(w.seen.begin(), w.seen.end()));
    EXPECT_EQ(w.message, 0x113u);
    EXPECT_EQ(w.wParam, 0xFFF8u);
    EXPECT_EQ(w.lParam, 0);
}

// One sample more starts a second chunk; its single block is completed with
// silence, so the file gets one more frame.
TEST_F(Mxconv, ASecondChunkEndsWithACompletedBlock) {
    WritePcmWav(dir_ / "a.wav", 7200, 7200 * 32 + 1);
    Window w;
    ASSERT_EQ(Encode("a.wav", "a.mxd", &w), 1);

    EXPECT_EQ(ReadMxd(dir_ / "a.mxd").samples, 7200u * 32 + 160);
    EXPECT_EQ(w.seen.size(), (1u + 1440u + 1u) + (1u + 1u + 1u));
    EXPECT_EQ(w.seen.back(), 1000);
    EXPECT_TRUE(std::is_sorted(w.seen.begin(), w.seen.end()));
}

TEST_F(Mxconv, NotifiesWithoutAProgressPointerButNotWithoutAWindow) {
    WritePcmWav(dir_ / "a.wav", 7200, 160 * 10);
    Window w;
    ASSERT_EQ(encode_(Path("a.wav").c_str(), Path("a.mxd").c_str(), nullptr, nullptr, &w, 1, 2, 3), 1);
    EXPECT_EQ(w.seen.size(), 1u + 10u + 1u);
    EXPECT_EQ(w.progress, -1);  // nothing to write to

    int progress = -1;
    ASSERT_EQ(encode_(Path("a.wav").c_str(), Path("b.mxd").c_str(), nullptr, &progress, nullptr, 1, 2, 3), 1);
    EXPECT_EQ(progress, 1000);
    EXPECT_EQ(w.seen.size(), 12u);
    EXPECT_EQ(ReadAll(dir_ / "a.mxd"), ReadAll(dir_ / "b.mxd"));
}

// Cancelled halfway through the first chunk's blocks: no further block is
// encoded, the frames so far are written, the progress says that chunk is
// done, and the result is 1.
TEST_F(Mxconv, CancelDuringTheFirstChunkWritesItsFramesAndSucceeds) {
    WritePcmWav(dir_ / "a.wav", 7200, 7200 * 64);  // two chunks
    int cancel = 0;
    Window w;
    w.cancel = &cancel;
    w.cancelAbove = 333;  // half way through the first chunk's blocks
    ASSERT_EQ(Encode("a.wav", "a.mxd", &w, &cancel), 1);

    // One update after the conversion, one per block, one when the chunk is written.
    const auto blocks = static_cast<std::int64_t>(w.seen.size()) - 2;
    ASSERT_GT(blocks, 0);
    ASSERT_LT(blocks, 1440);
    EXPECT_EQ(ReadMxd(dir_ / "a.mxd").samples, static_cast<std::uint64_t>(blocks) * 160);
    EXPECT_EQ(w.progress, 500);
    EXPECT_EQ(w.seen.back(), 500);
}

// 44.1 kHz stereo goes through the ACM; two chunks of 32 seconds.
TEST_F(Mxconv, StereoAt44100IsConvertedToTheCodecRate) {
    constexpr double kSeconds = 40;
    WritePcmWav(dir_ / "s.wav", 44100, static_cast<std::uint32_t>(44100 * kSeconds), 2);
    Window w;
    ASSERT_EQ(Encode("s.wav", "s.mxd", &w), 1);

    const Mxd mxd = ReadMxd(dir_ / "s.mxd");
    EXPECT_EQ(mxd.magic, "MXTS");
    // Each chunk may end in one completed block.
    EXPECT_NEAR(static_cast<double>(mxd.samples), 7200 * kSeconds, 2 * 160);
    EXPECT_EQ(w.seen.back(), 1000);
    EXPECT_TRUE(std::is_sorted(w.seen.begin(), w.seen.end()));
}

void WriteBytes(const fs::path& p, const Bytes& bytes) {
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

TEST_F(Mxconv, FailsOnInputItCannotUse) {
    WritePcmWav(dir_ / "good.wav", 7200, 160 * 4);
    Bytes garbage(200, 0x5A);
    WriteBytes(dir_ / "garbage.wav", garbage);
    // A well-formed header for a format no driver offers.
    std::FILE* f = std::fopen((dir_ / "unknown.wav").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    WaveFormat odd = WaveFormat::Pcm(8000, 16, 1);
    odd.formatTag = 0x7A31;
    WaveHeaderWriter(f, odd, 3200);
    const Bytes silence(3200, 0);
    std::fwrite(silence.data(), 1, silence.size(), f);
    std::fclose(f);

    struct Case {
        const char* what;
        std::string in, out;
    };
    for (const Case& c : {Case{"missing input", "none.wav", "a.mxd"},
                          Case{"unreadable header", "garbage.wav", "b.mxd"},
                          Case{"output cannot be created", "good.wav", "no/such/dir/c.mxd"},
                          Case{"no driver for the format", "unknown.wav", "d.mxd"}}) {
        SCOPED_TRACE(c.what);
        int progress = -1;
        EXPECT_EQ(encode_(Path(c.in).c_str(), Path(c.out).c_str(), nullptr, &progress, nullptr, 0, 0, 0), 0);
    }
}

TEST_F(Mxconv, FailsWithAMessageWhenTheCodecLibraryIsMissing) {
    WritePcmWav(dir_ / "a.wav", 7200, 160 * 4);
    ::setenv("MURMEX_PROGRAM_DIR", dir_.c_str(), 1);  // a directory without trc.dll
    ::testing::internal::CaptureStderr();
    int progress = -1;
    const int result = encode_(Path("a.wav").c_str(), Path("a.mxd").c_str(), nullptr, &progress, nullptr, 0, 0, 0);
    const std::string shown = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, 0);
    EXPECT_NE(shown.find("trc.dll not found."), std::string::npos) << shown;
    EXPECT_FALSE(fs::exists(dir_ / "a.mxd"));
}

}  // namespace
}  // namespace murmex
