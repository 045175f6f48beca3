// The MXD <-> WAV conversion jobs with the real codec library (trc.dll
// loaded by name from the program directory) on real files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "ByteOrder.h"
#include "ConvertJobs.h"
#include "MxdFile.h"
#include "WaveFile.h"
#include "WavFiles.h"

namespace murmex {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using test::ReadAll;

void WritePcmWav(const fs::path& p, std::uint32_t rate, std::uint32_t bytes) { test::WriteToneWav(p, rate, bytes); }

class RecordingFrontEnd : public ConvertFrontEnd, public WaveConvertView {
public:
    bool AskYesNo(const std::string& text) override {
        questions.push_back(text);
        return answer;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetCaption(const std::string& caption) override { captions.push_back(caption); }
    void SetPercent(int percent) override {
        lastPercent = percent;
        if (cancelAt >= 0 && percent >= cancelAt && cancel) cancel->store(1);
    }
    WaveConvertView& WaveConvertWindow() override { return *this; }
    void EndJob(std::uint32_t notification) override { ended = notification; }
    // The WAVE Convert window.
    void SetFormatNames(const std::string& in, const std::string& out) override { acmNames = in + "|" + out; }
    void SetBars(int, int) override {}
    void ShowMessage(const std::string&, const std::string& text) override { messages.push_back(text); }

    bool answer = true;
    int cancelAt = -1;
    std::atomic<int>* cancel = nullptr;
    int lastPercent = -1;
    std::uint32_t ended = 0;
    std::string acmNames;
    std::vector<std::string> questions, messages, captions;

private:
    using WaveConvertView::SetCaption;
};

class ConvertJobs : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("murmex-convert-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
        // The programs find trc.dll in their own directory; the tests run from elsewhere.
        const char* bin = std::getenv("MURMEX_BIN_DIR");
        const fs::path programDir = bin ? fs::path(bin) : fs::read_symlink("/proc/self/exe").parent_path() / "../bin";
        ::setenv("MURMEX_PROGRAM_DIR", programDir.c_str(), 1);
        codec_.emplace();
        ASSERT_TRUE(codec_->Loaded()) << "trc.dll must load from the program directory";
        front_.cancel = &cancel_;
    }
    void TearDown() override { fs::remove_all(dir_); }

    ConvertOutcome Encode(const std::vector<std::string>& stems, int mode = kModeSp) {
        std::vector<ConvertEntry> entries;
        for (const auto& s : stems) entries.push_back(ConvertEntry::Beside((dir_ / s).string(), ".wav", ".mxd"));
        return WavToMxdJob(front_, entries, cancel_, mode).Run(*codec_);
    }
    ConvertOutcome Decode(const std::vector<std::string>& stems) {
        std::vector<ConvertEntry> entries;
        for (const auto& s : stems) entries.push_back(ConvertEntry::Beside((dir_ / s).string(), ".mxd", ".wav"));
        return MxdToWavJob(front_, entries, cancel_).Run(*codec_);
    }

    fs::path dir_;
    std::optional<CodecLibrary> codec_;
    RecordingFrontEnd front_;
    std::atomic<int> cancel_{0};
};

TEST_F(ConvertJobs, VoiceRatePcmIsEncodedDirectlyAndComesBack) {
    WritePcmWav(dir_ / "a.wav", 7250, 320 * 50 + 100);
    const ConvertOutcome out = Encode({"a"});
    EXPECT_EQ(out.converted, 1);
    EXPECT_TRUE(front_.acmNames.empty()) << "7250 Hz needs no ACM";
    EXPECT_EQ(front_.ended, kNotifyConversionDone);
    const Bytes mxd = ReadAll(dir_ / "a.mxd");
    ASSERT_GE(mxd.size(), 4u);
    EXPECT_EQ(std::string(mxd.begin(), mxd.begin() + 4), "MXDS");
    const std::span<const std::uint8_t> frames(mxd.data() + 4, mxd.size() - 4);
    EXPECT_EQ(DurationSamples(frames), 50u * 160u) << "the trailing 100 bytes are not encoded";
    FrameWalker walk(frames);
    while (const auto step = walk.Next()) EXPECT_TRUE(step->length == 24 || step->silenceRun) << step->length;

    fs::remove(dir_ / "a.wav");
    EXPECT_EQ(Decode({"a"}).converted, 1);
    const Bytes wav = ReadAll(dir_ / "a.wav");
    ASSERT_EQ(wav.size(), kMxdWaveHeaderBytes + 50u * 320u);
    EXPECT_EQ(ReadLE32(wav, 24), 7221u);
    EXPECT_EQ(ReadLE32(wav, 4), wav.size() - 8);
}

TEST_F(ConvertJobs, OtherRatesGoThroughTheAcmAndLeaveNoTemporaryFile) {
    WritePcmWav(dir_ / "b.wav", 7300, 7300 * 2);
    EXPECT_EQ(Encode({"b"}, kModeLp).converted, 1);
    EXPECT_EQ(front_.acmNames, "PCM 7300Hz Mono|PCM 7221Hz Mono");
    EXPECT_FALSE(fs::exists(dir_ / "bmxdtmpwav.tmp"));
    const Bytes mxd = ReadAll(dir_ / "b.mxd");
    EXPECT_EQ(std::string(mxd.begin(), mxd.begin() + 4), "MXDL");
    EXPECT_NEAR(static_cast<double>(DurationSamples({mxd.data() + 4, mxd.size() - 4})), 7221.0, 320.0);
}

TEST_F(ConvertJobs, ShortAndUnconvertibleInputs) {
    WritePcmWav(dir_ / "short.wav", 7200, 319);
    // A WAV of a format no driver knows: the ACM cannot help, so no MXD stays.
    {
        std::FILE* f = std::fopen((dir_ / "mp3.wav").c_str(), "wb");
        WaveFormat mp3{0x55, 1, 8000, 1000, 1, 0, {}};
        WaveHeaderWriter(f, mp3, 400);
        const Bytes junk(400, 0x42);
        std::fwrite(junk.data(), 1, junk.size(), f);
        std::fclose(f);
    }
    const ConvertOutcome out = Encode({"short", "mp3", "missing"});
    EXPECT_EQ(out.converted, 1);
    EXPECT_EQ(out.failed, 1);
    EXPECT_EQ(out.skipped, 1);
    EXPECT_EQ(ReadAll(dir_ / "short.mxd"), (Bytes{'M', 'X', 'D', 'S'}));
    EXPECT_FALSE(fs::exists(dir_ / "mp3.mxd"));
    ASSERT_EQ(front_.messages.size(), 1u);
    EXPECT_EQ(front_.messages[0], "This file is can not save(Type mismatch) : Only PCM 7.2Khz 16Bit Mono\n\nError " +
                                      (dir_ / "mp3.wav").string());
}

TEST_F(ConvertJobs, TypeCodesChooseTheWavRate) {
    struct Case {
        const char* magic;
        std::uint32_t rate;
    } cases[] = {{"MXDL", 7224}, {"MXAL", 7221}, {"MXTL", 7221}, {"MXDS", 7221}};
    for (const Case& c : cases) {
        std::ofstream(dir_ / "m.mxd", std::ios::binary) << c.magic << std::string("\xE0\x00", 2);
        fs::remove(dir_ / "m.wav");
        EXPECT_EQ(Decode({"m"}).converted, 1) << c.magic;
        const Bytes wav = ReadAll(dir_ / "m.wav");
        ASSERT_EQ(wav.size(), kMxdWaveHeaderBytes + 320u) << c.magic;
        EXPECT_EQ(ReadLE32(wav, 24), c.rate) << c.magic;
        EXPECT_TRUE(std::all_of(wav.begin() + kMxdWaveHeaderBytes, wav.end(), [](std::uint8_t b) { return b == 0; }))
            << "a silence frame decodes to silence";
    }
    std::ofstream(dir_ / "bad.mxd", std::ios::binary) << "RIFFxxxx";
    const ConvertOutcome out = Decode({"bad"});
    EXPECT_EQ(out.failed, 1);
    EXPECT_FALSE(fs::exists(dir_ / "bad.wav"));
    EXPECT_EQ(front_.messages.back(), "This file is can not save(Type mismatch) : " + (dir_ / "bad.mxd").string());
}

TEST_F(ConvertJobs, ReplaceQuestionAndCancelKeepPartialOutput) {
    WritePcmWav(dir_ / "c.wav", 7221, 320 * 400);
    WritePcmWav(dir_ / "d.wav", 7221, 320 * 10);
    std::ofstream(dir_ / "d.mxd") << "mine";
    front_.answer = false;
    front_.cancelAt = 50;
    const ConvertOutcome out = Encode({"d", "c", "d"});
    EXPECT_EQ(front_.questions.size(), 1u) << "the job stops before the second d";
    EXPECT_EQ(ReadAll(dir_ / "d.mxd"), (Bytes{'m', 'i', 'n', 'e'}));
    EXPECT_TRUE(out.cancelled);
    const Bytes partial = ReadAll(dir_ / "c.mxd");
    const auto samples = DurationSamples({partial.data() + 4, partial.size() - 4});
    EXPECT_GT(samples, 0u);
    EXPECT_LT(samples, 400u * 160u) << "a cancelled file keeps the frames written so far";
}

TEST(ConvertJobsWithoutCodec, SaysTheLibraryIsMissing) {
    CodecLibrary missing("no-such-codec.dll");
    RecordingFrontEnd front;
    std::atomic<int> cancel{0};
    const ConvertOutcome out = MxdToWavJob(front, {ConvertEntry{"x.mxd", "x.wav"}}, cancel).Run(missing);
    EXPECT_TRUE(out.codecMissing);
    EXPECT_EQ(front.messages, (std::vector<std::string>{"trc.dll not found."}));
    EXPECT_EQ(front.ended, kNotifyConversionDone);
}

}  // namespace
}  // namespace murmex
