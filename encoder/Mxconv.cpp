// EncodeToMXD: the sound is brought to 7200 Hz 16-bit mono PCM by the ACM
// converter and encoded in SP mode, about 32 seconds at a time, so that only
// one chunk of source, PCM and frames is held however long the file is.
#include "Mxconv.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <span>
#include <string>

#include "AcmConverter.h"
#include "ByteOrder.h"
#include "CodecLibrary.h"
#include "MxdFile.h"
#include "WaveFile.h"
#include "WaveFormat.h"

#define MXCONV_EXPORT extern "C" __attribute__((visibility("default")))

namespace murmex {
namespace {

std::atomic<MxconvNotifyFn*> gNotifier{nullptr};

constexpr std::uint32_t kTargetRate = 7200;
constexpr std::uint32_t kTargetBytesPerSec = 14400;
constexpr std::uint32_t kChunkSecondsAtLeast = 32;
constexpr std::uint32_t kFrameSlot = 26;  // largest frame plus a silence run

// A message box without owner window: there is no desktop to show it on,
// so it goes to the standard error stream.
void ShowMessage(const std::string& caption, const std::string& text) {
    if (caption.empty())
        std::fprintf(stderr, "mxconv: %s\n", text.c_str());
    else
        std::fprintf(stderr, "mxconv: %s: %s\n", caption.c_str(), text.c_str());
}

WaveFormat TargetFormat() {
    WaveFormat f = WaveFormat::Pcm(kTargetRate, 16, 1);
    f.extra.assign(2, 0);
    return f;
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

struct Caller {
    int* progress;
    void* window;
    std::uint32_t message;
    std::uintptr_t wParam;
    std::intptr_t lParam;

    // value is in thousandths; truncated toward zero.
    void Report(double value) const {
        if (progress) *progress = static_cast<int>(value);
        if (!window) return;
        if (MxconvNotifyFn* notify = gNotifier.load()) notify(window, message, wParam, lParam);
    }
};

int Encode(const char* input, const char* output, int* cancel, const Caller& caller) {
    AcmConverter converter(AcmConverterHooks{
        .progress = {},
        .message = ShowMessage,
        .siteInErrorText = true,
    });
    CodecLibrary codec;
    if (!codec.Loaded()) {
        ShowMessage("", kCodecNotFound);
        return 0;
    }

    int notCancelled = 0;
    const int* cancelled = cancel ? cancel : &notCancelled;
    if (caller.progress) *caller.progress = 0;

    if (!input || !output) return 0;
    File in(std::fopen(input, "rb"));
    if (!in) return 0;
    File out(std::fopen(output, "wb"));
    if (!out) return 0;

    WaveFormat source;
    std::uint32_t total = 0;
    if (!WaveHeaderReader(in.get(), source, total)) return 0;
    // A record without block align or byte rate gives no chunk to step by.
    if (source.blockAlign == 0 || source.avgBytesPerSec == 0) return 0;

    if (std::fwrite("MXTS", 1, kMxdMagicBytes, out.get()) != kMxdMagicBytes) return 0;

    // Recordings labelled a little above the codec's rate are taken as they
    // are: resampling 7220-7229 Hz to 7200 Hz would gain nothing audible.
    if (source.IsPcm() && source.samplesPerSec >= 7220 && source.samplesPerSec <= 7229) {
        source.samplesPerSec = kTargetRate;
        source.avgBytesPerSec = kTargetBytesPerSec;
    }
    const WaveFormat target = TargetFormat();

    // k seconds of source hold a whole number of source and target blocks;
    // c of them make the chunk at least 32 seconds long.
    const std::uint64_t k = std::uint64_t{source.blockAlign} * target.blockAlign;
    const std::uint64_t c = (kChunkSecondsAtLeast + k - 1) / k;
    const std::uint64_t seconds = k * c;
    const std::uint64_t inputChunk = seconds * source.avgBytesPerSec;
    const std::uint64_t pcmCapacity = seconds * kTargetBytesPerSec;  // a whole number of blocks
    const std::uint64_t frameCapacity = kFrameSlot * (pcmCapacity / kPcmBytesPerFrame + 1);
    if (inputChunk > 0xFFFFFFFFu || pcmCapacity > 0xFFFFFFFFu) return 0;

    SoundBuffer sound(inputChunk);
    SoundBuffer pcm(pcmCapacity);
    SoundBuffer frames(frameCapacity);

    std::uint32_t done = 0;
    while (done < total) {
        const std::uint32_t chunk = static_cast<std::uint32_t>(std::min<std::uint64_t>(inputChunk, total - done));
        const std::size_t got = std::fread(sound.data(), 1, chunk, in.get());

        std::uint32_t length = 0;
        if (!converter.ConvertToMemory(source, std::span(sound.data(), got), target, pcm, length)) return 0;

        const double base = static_cast<double>(done);
        const double third = chunk / 3.0;
        caller.Report((third + base) / total * 1000.0);

        // The codec takes whole blocks of 160 samples. When the result ends
        // inside a block, that block is completed with silence (zeros): the
        // bytes after the result are left over from the previous chunk and
        // are no part of this sound. The capacity is a whole number of
        // blocks, so the completed block always fits.
        const std::uint32_t blocks = (length + kPcmBytesPerFrame - 1) / kPcmBytesPerFrame;
        std::memset(pcm.data() + length, 0, std::size_t{blocks} * kPcmBytesPerFrame - length);

        std::size_t frameBytes = 0;
        std::array<std::int16_t, kSamplesPerFrame> samples;
        for (std::uint32_t at = 0; at < length && *cancelled == 0; at += kPcmBytesPerFrame) {
            const std::span<std::uint8_t> block(pcm.data() + at, kPcmBytesPerFrame);
            ScaleSamples(block, kEncoderDivide);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::int16_t>(ReadLE16(block, 2 * i));
            frameBytes += codec.Encode(samples, std::span<std::uint8_t, kLargestFrame>(frames.data() + frameBytes,
                                                                                        kLargestFrame),
                                       kModeSp);
            const double encoded = std::min<std::uint32_t>(at + kPcmBytesPerFrame, length);
            caller.Report((chunk * 2.0 / 3.0 * (encoded / length) + third + base) / total * 1000.0);
        }

        if (std::fwrite(frames.data(), 1, frameBytes, out.get()) != frameBytes) return 0;
        done += chunk;
        caller.Report(static_cast<double>(done) / total * 1000.0);
        if (*cancelled != 0) break;
    }
    return 1;
}

}  // namespace
}  // namespace murmex

MXCONV_EXPORT int EncodeToMXD(const char* input, const char* output, int* cancel, int* progress, void* window,
                              std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam) {
    try {
        return murmex::Encode(input, output, cancel, {progress, window, message, wParam, lParam});
    } catch (const std::exception& e) {
        // Nothing may leave the library: a chunk too large for memory fails the call.
        murmex::ShowMessage("", e.what());
        return 0;
    }
}

MXCONV_EXPORT void MxconvSetNotifier(murmex::MxconvNotifyFn* notifier) { murmex::gNotifier.store(notifier); }
