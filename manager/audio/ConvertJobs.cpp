#include "ConvertJobs.h"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <memory>

#include "ByteOrder.h"
#include "FileScan.h"
#include "MxdFile.h"
#include "WaveFile.h"

namespace murmex {

namespace {

constexpr const char* kReplaceQuestion = "%s already exists.\nDo you want to replace it?";  // 32774
constexpr const char* kTypeMismatch = "This file is can not save(Type mismatch) : %s";       // 57360
constexpr const char* kTemporarySuffix = "mxdtmpwav.tmp";

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
File Open(const std::string& path, const char* mode) { return File(std::fopen(path.c_str(), mode), std::fclose); }

bool Exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Format(const char* format, const std::string& text) {
    std::vector<char> out(std::string(format).size() + text.size() + 1);
    std::snprintf(out.data(), out.size(), format, text.c_str());
    return out.data();
}

// Asks before an existing target is replaced; true to go on.
bool MayWrite(ConvertFrontEnd& frontEnd, const std::string& target) {
    return !Exists(target) || frontEnd.AskYesNo(Format(kReplaceQuestion, target));
}

}  // namespace

bool IsVoicePcm(const WaveFormat& f) {
    return f.formatTag == WAVE_FORMAT_PCM && f.channels == 1 && f.bitsPerSample == 16 && f.samplesPerSec / 100 == 72;
}

WaveFormat VoicePcmTarget() {
    WaveFormat f = WaveFormat::Pcm(7221, 16, 1);
    f.extra = {0, 0};
    return f;
}

ConvertOutcome ConvertJob::Run(CodecLibrary& codec) {
    ConvertOutcome outcome;
    if (!codec.Loaded()) {
        frontEnd_.ShowMessage(kCodecNotFound);
        outcome.codecMissing = true;
    } else {
        for (const ConvertEntry& entry : entries_) {
            if (Cancelled()) break;
            ConvertOne(codec, entry, outcome);
        }
    }
    outcome.cancelled = Cancelled();
    frontEnd_.EndJob(kNotifyConversionDone);
    return outcome;
}

void MxdToWavJob::ConvertOne(CodecLibrary& codec, const ConvertEntry& entry, ConvertOutcome& outcome) {
    const std::string& mxdPath = entry.source;
    const std::string& wavPath = entry.target;
    if (!Exists(mxdPath) || !MayWrite(frontEnd_, wavPath)) {
        ++outcome.skipped;
        return;
    }
    frontEnd_.SetCaption("Convert - " + mxdPath);
    File mxd = Open(mxdPath, "rb");
    if (!mxd) {
        ++outcome.skipped;
        return;
    }
    File wav = Open(wavPath, "wb");
    if (!wav) {
        ++outcome.skipped;
        return;
    }
    const long fileLength = FileLength(mxd.get());
    const std::uint64_t frameBytes = fileLength > 4 ? static_cast<std::uint64_t>(fileLength - 4) : 0;
    std::array<std::uint8_t, 4> magic{};
    const auto type = ReadAt(mxd.get(), 0, magic.data(), 4) ? TypeCodeForMagic(magic) : std::nullopt;
    if (!type) {
        frontEnd_.ShowMessage(Format(kTypeMismatch, mxdPath));
        wav.reset();
        std::remove(wavPath.c_str());
        ++outcome.failed;
        return;
    }
    WriteMxdWaveHeader(wav.get(), 0, *type);
    std::uint64_t read = 0;
    std::uint64_t written = 0;
    bool writeFailed = false;
    std::array<std::uint8_t, kLargestFrame> frame{};
    std::array<std::int16_t, kSamplesPerFrame> samples{};
    std::array<std::uint8_t, kPcmBytesPerFrame> pcm{};
    while (!Cancelled() && read < frameBytes && !writeFailed) {
        frame.fill(0);
        if (std::fread(frame.data(), 1, 1, mxd.get()) != 1) break;
        const std::uint32_t length = FrameLength(frame[0]);
        // A file that ends inside a frame: what is there is decoded.
        const std::size_t got = std::fread(frame.data() + 1, 1, length - 1, mxd.get());
        std::uint32_t blocks = 1;
        if (IsSilenceRun(frame[0])) {
            blocks = SilenceRunFrames(frame[0], frame[1]);
            frame = {0xE0, 0x00};
        }
        for (std::uint32_t b = 0; b < blocks && !writeFailed; ++b) {
            codec.Decode(frame, samples);
            for (std::size_t i = 0; i < samples.size(); ++i) WriteLE16(pcm, 2 * i, static_cast<std::uint16_t>(samples[i]));
            ScaleSamples(pcm, kDecoderGain);
            writeFailed = std::fwrite(pcm.data(), 1, pcm.size(), wav.get()) != pcm.size();
            written += pcm.size();
        }
        read += 1 + got;
        frontEnd_.SetPercent(static_cast<int>(read * 100 / frameBytes));
    }
    // The header tells the length converted so far, also after a cancel.
    const bool closed = WriteMxdWaveHeader(wav.get(), static_cast<std::uint32_t>(written), *type) &&
                        std::fclose(wav.release()) == 0;
    if (writeFailed || !closed) {
        frontEnd_.ShowMessage("Can not write file : " + wavPath);
        ++outcome.failed;
        return;
    }
    ++outcome.converted;
}

void WavToMxdJob::ConvertOne(CodecLibrary& codec, const ConvertEntry& entry, ConvertOutcome& outcome) {
    const std::string& wavPath = entry.source;
    const std::string& mxdPath = entry.target;
    if (!Exists(wavPath) || !MayWrite(frontEnd_, mxdPath)) {
        ++outcome.skipped;
        return;
    }
    frontEnd_.SetCaption("Convert - " + wavPath);
    File wav = Open(wavPath, "rb");
    File mxd = Open(mxdPath, "wb");
    if (!wav || !mxd) {
        ++outcome.skipped;
        return;
    }
    std::string temporary;
    WaveFormat format;
    std::uint32_t length = 0;
    if (WaveHeaderReader(wav.get(), format, length) && !IsVoicePcm(format)) {
        wav.reset();
        const bool wavEnding = wavPath.size() > 4 && wavPath.compare(wavPath.size() - 4, 4, ".wav") == 0;
        temporary = (wavEnding ? wavPath.substr(0, wavPath.size() - 4) : wavPath) + kTemporarySuffix;
        WaveConvertRun run(frontEnd_.WaveConvertWindow());
        if (run.Run(wavPath, temporary, VoicePcmTarget())) {
            wav = Open(temporary, "rb");
        } else {
            std::remove(temporary.c_str());
            temporary.clear();
        }
        if (!wav) wav = Open(wavPath, "rb");
    }
    bool ok = wav && WaveHeaderReader(wav.get(), format, length);
    if (ok && IsVoicePcm(format)) {
        const std::string magic = MagicForMode(mode_);
        ok = std::fwrite(magic.data(), 1, 4, mxd.get()) == 4;
        std::array<std::uint8_t, kPcmBytesPerFrame> pcm{};
        std::array<std::int16_t, kSamplesPerFrame> samples{};
        std::array<std::uint8_t, kLargestFrame> frame{};
        // A trailing remainder of less than one block is not encoded.
        for (std::uint32_t done = 0; ok && !Cancelled() && length - done >= kPcmBytesPerFrame;
             done += kPcmBytesPerFrame) {
            if (std::fread(pcm.data(), 1, pcm.size(), wav.get()) != pcm.size()) {
                ok = false;
                break;
            }
            ScaleSamples(pcm, kEncoderDivide);
            for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::int16_t>(ReadLE16(pcm, 2 * i));
            const int bytes = codec.Encode(samples, frame, mode_);
            ok = bytes > 0 && bytes <= static_cast<int>(frame.size()) &&
                 std::fwrite(frame.data(), 1, static_cast<std::size_t>(bytes), mxd.get()) == static_cast<std::size_t>(bytes);
            frontEnd_.SetPercent(static_cast<int>((std::uint64_t{done} + kPcmBytesPerFrame) * 100 / length));
        }
        if (!ok) frontEnd_.ShowMessage("Can not write file : " + mxdPath);
    } else if (ok) {
        frontEnd_.ShowMessage(Format(kTypeMismatch, "Only PCM 7.2Khz 16Bit Mono\n\nError " + wavPath));
        ok = false;
    }
    wav.reset();
    if (!temporary.empty()) std::remove(temporary.c_str());
    const bool closed = std::fclose(mxd.release()) == 0;
    if (!ok || !closed) {
        std::remove(mxdPath.c_str());
        ++outcome.failed;
        return;
    }
    ++outcome.converted;
}

}  // namespace murmex
