// The converter's stage paths, its output against sox's own conversion of
// the same file, its memory form and its error report, on real WAV files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "AcmConverter.h"
#include "ByteOrder.h"
#include "WaveConvert.h"
#include "WaveFile.h"

namespace murmex {
namespace {

namespace fs = std::filesystem;

bool HaveSox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

struct Wav {
    WaveFormat format;
    std::vector<std::uint8_t> data;
};

Wav ReadWav(const fs::path& path) {
    Wav w;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr) << path;
    if (!f) return w;
    std::uint32_t length = 0;
    EXPECT_EQ(WaveHeaderReader(f, w.format, length), 1) << path;
    w.data.resize(length);
    EXPECT_EQ(std::fread(w.data.data(), 1, length, f), length);
    std::fclose(f);
    return w;
}

std::vector<double> Samples16(const std::vector<std::uint8_t>& data) {
    std::vector<double> out(data.size() / 2);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = static_cast<std::int16_t>(ReadLE16(data, 2 * i));
    return out;
}

// Signal-to-noise ratio of b against a, in dB, over their common length.
double SnrDb(const std::vector<double>& a, const std::vector<double>& b) {
    const std::size_t n = std::min(a.size(), b.size());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        signal += a[i] * a[i];
        noise += (a[i] - b[i]) * (a[i] - b[i]);
    }
    return 10 * std::log10(signal / std::max(noise, 1e-9));
}

class AcmConversion : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveSox()) GTEST_SKIP() << "sox is not installed";
        dir_ = fs::temp_directory_path() /
               ("murmex-acm-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path Sox(const std::string& name, const std::string& args) {
        const fs::path out = dir_ / name;
        const std::string cmd = "cd '" + dir_.string() + "' && sox " + args + " 2>/dev/null";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
        return out;
    }

    // Runs a file conversion; returns the stages that ran (upper bar values
    // whose lower bar reached 100) and the messages shown.
    std::pair<std::set<int>, std::vector<std::string>> Convert(const Wav& in, const WaveFormat& target,
                                                               const fs::path& out, bool* ok = nullptr) {
        std::set<int> stages;
        std::vector<std::string> messages;
        AcmConverterHooks hooks;
        hooks.progress = [&](int upper, int lower) {
            if (lower == 100) stages.insert(upper);
        };
        hooks.message = [&](const std::string& caption, const std::string& text) {
            messages.push_back(caption + "|" + text);
        };
        AcmConverter converter(hooks);
        const bool converted = converter.ConvertToFile(in.format, in.data, target, out.string());
        if (ok) *ok = converted;
        return {stages, messages};
    }

    fs::path dir_;
};

const WaveFormat kVoiceTarget = WaveFormat::Pcm(7221, 16, 1);

TEST_F(AcmConversion, EightBitAtTheTargetRateOnlyWidens) {
    const Wav in = ReadWav(Sox("in.wav", "-n -r 7221 -c 1 -b 8 -e unsigned in.wav synth 1 sine 440"));
    bool ok = false;
    const auto [stages, messages] = Convert(in, kVoiceTarget, dir_ / "out.wav", &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(stages, (std::set<int>{60}));
    const Wav out = ReadWav(dir_ / "out.wav");
    EXPECT_EQ(out.format, kVoiceTarget);
    ASSERT_EQ(out.data.size(), 2 * in.data.size());
    for (std::size_t i = 0; i < in.data.size(); ++i)
        ASSERT_EQ(static_cast<std::int16_t>(ReadLE16(out.data, 2 * i)), (in.data[i] - 128) * 256) << i;
}

TEST_F(AcmConversion, GsmIsDecodedThenResampled) {
    Sox("speechlike.wav", "-n -r 8000 -c 1 -b 16 speechlike.wav synth 2 sine 200-2000 tremolo 5 80");
    const Wav in = ReadWav(Sox("gsm.wav", "speechlike.wav -e gsm-full-rate gsm.wav"));
    ASSERT_EQ(in.format.formatTag, 49);
    bool ok = false;
    const auto [stages, messages] = Convert(in, kVoiceTarget, dir_ / "out.wav", &ok);
    ASSERT_TRUE(ok) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(stages, (std::set<int>{40, 60}));
    const Wav out = ReadWav(dir_ / "out.wav");
    EXPECT_EQ(out.format, kVoiceTarget);
    // 2 s of sound at the new rate, give or take a GSM block.
    EXPECT_NEAR(static_cast<double>(out.data.size()) / 2, 2 * 7221.0, 7221.0 * 0.05);
    const Wav reference = ReadWav(Sox("ref.wav", "gsm.wav -r 7221 -e signed-integer -b 16 ref.wav"));
    const double snr = SnrDb(Samples16(reference.data), Samples16(out.data));
    std::printf("[ acm ] GSM 6.10 8000 Hz -> PCM 7221 Hz against sox: SNR %.1f dB\n", snr);
    EXPECT_GT(snr, 15.0);
}

TEST_F(AcmConversion, PcmAlreadyInTheTargetShapeIsWrittenUnchanged) {
    const Wav in = ReadWav(Sox("in.wav", "-n -r 7221 -c 1 -b 16 in.wav synth 1 sine 1000"));
    WaveFormat target = kVoiceTarget;
    target.extra = {0, 0};  // the record the MXD path asks with
    bool ok = false;
    const auto [stages, messages] = Convert(in, target, dir_ / "out.wav", &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(stages.empty());
    const Wav out = ReadWav(dir_ / "out.wav");
    EXPECT_EQ(out.format, target);
    EXPECT_EQ(out.data, in.data);
}

TEST_F(AcmConversion, ResamplingMatchesSox) {
    const Wav in = ReadWav(Sox("sweep.wav", "-n -r 44100 -c 2 -b 16 sweep.wav synth 3 sine 100-3400 sine 3400-100 gain -3"));
    bool ok = false;
    Convert(in, kVoiceTarget, dir_ / "out.wav", &ok);
    ASSERT_TRUE(ok);
    const Wav out = ReadWav(dir_ / "out.wav");
    const Wav reference = ReadWav(Sox("ref.wav", "sweep.wav -r 7221 -c 1 -b 16 ref.wav"));
    EXPECT_NEAR(static_cast<double>(out.data.size()), static_cast<double>(reference.data.size()), 8.0);
    const double snr = SnrDb(Samples16(reference.data), Samples16(out.data));
    std::printf("[ acm ] 44.1 kHz stereo sweep -> 7221 Hz mono against sox: SNR %.1f dB\n", snr);
    EXPECT_GT(snr, 30.0);
}

TEST_F(AcmConversion, MemoryFormCutsAtTheCallersBuffer) {
    const Wav in = ReadWav(Sox("in.wav", "-n -r 8000 -c 1 -b 16 in.wav synth 1 sine 440"));
    AcmConverter converter;
    std::vector<std::uint8_t> room(10000, 0xEE);
    std::uint32_t length = 0;
    EXPECT_FALSE(converter.ConvertToMemory(in.format, in.data, kVoiceTarget, room, length));
    EXPECT_NEAR(length, 2 * 7221.0, 16.0) << "the whole result's length is reported";
    EXPECT_NE(room.back(), 0xEE) << "the buffer is filled to its end";
    room.assign(length, 0);
    std::uint32_t again = 0;
    EXPECT_TRUE(converter.ConvertToMemory(in.format, in.data, kVoiceTarget, room, again));
    EXPECT_EQ(again, length);
}

TEST_F(AcmConversion, AFailingCallIsReportedWithItsReason) {
    // GSM 6.10 exists only at 8000 Hz mono: decoding it at 44100 Hz stereo cannot be done.
    Wav in;
    in.format = WaveFormat{49, 2, 44100, 1625, 65, 0, {0x40, 0x01}};
    in.data.assign(650, 0);
    std::vector<std::string> messages;
    AcmConverterHooks hooks;
    hooks.message = [&](const std::string& caption, const std::string& text) { messages.push_back(caption + "|" + text); };
    hooks.siteInErrorText = true;
    AcmConverter converter(hooks);
    EXPECT_FALSE(converter.ConvertToFile(in.format, in.data, kVoiceTarget, (dir_ / "out.wav").string()));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "ACM Error|The requested operation cannot be performed.\nAudio Codec access error. 6");
    EXPECT_FALSE(fs::exists(dir_ / "out.wav"));

    EXPECT_EQ(AcmErrorText(514, 9, false),
              "The stream header specified in pash is currently not prepared by the acmStreamPrepareHeader "
              "function.\nAudio Codec access error.");
    EXPECT_EQ(AcmErrorText(1, 12, true), "Audio Codec access error. 12");
}

class RecordingView : public WaveConvertView {
public:
    void SetCaption(const std::string& c) override { caption = c; }
    void SetFormatNames(const std::string& in, const std::string& out) override { names = in + "|" + out; }
    void SetBars(int upper, int) override { lastUpper = upper; }
    void ShowMessage(const std::string&, const std::string& text) override { messages.push_back(text); }
    std::string caption, names;
    int lastUpper = -1;
    std::vector<std::string> messages;
};

TEST_F(AcmConversion, WaveConvertRunsFileToFile) {
    const fs::path in = Sox("in.wav", "-n -r 22050 -c 2 -b 16 in.wav synth 1 sine 440");
    RecordingView view;
    WaveConvertRun run(view);
    ASSERT_EQ(run.Run(in.string(), (dir_ / "out.wav").string(), kVoiceTarget), 1);
    EXPECT_TRUE(run.Done());
    EXPECT_TRUE(run.Succeeded());
    EXPECT_EQ(view.caption, "WAVE Convert - " + in.string());
    EXPECT_EQ(view.names, "PCM 22050Hz Streo|PCM 7221Hz Mono");
    EXPECT_EQ(view.lastUpper, 100);
    EXPECT_EQ(ReadWav(dir_ / "out.wav").format, kVoiceTarget);

    EXPECT_EQ(run.Run((dir_ / "missing.wav").string(), (dir_ / "x.wav").string(), kVoiceTarget), 0);
    EXPECT_FALSE(run.Done()) << "a run that never converted keeps no earlier result";
    EXPECT_FALSE(run.Succeeded());
}

}  // namespace
}  // namespace murmex
