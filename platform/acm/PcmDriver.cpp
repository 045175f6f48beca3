#include "PcmDriver.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

#include "ByteOrder.h"

namespace murmex::acm {

namespace {

struct Shape {
    std::uint32_t rate;
    std::size_t bytes;  // per sample: 1 or 2
    std::size_t channels;
    std::size_t frameBytes;
};

std::optional<Shape> ShapeOf(const WaveFormat& f) {
    if (f.formatTag != WAVE_FORMAT_PCM || (f.bitsPerSample != 8 && f.bitsPerSample != 16)) return std::nullopt;
    if (f.channels < 1 || f.channels > PcmDriver::kMaxChannelsIn) return std::nullopt;
    if (f.samplesPerSec < PcmDriver::kMinRate || f.samplesPerSec > PcmDriver::kMaxRate) return std::nullopt;
    const std::size_t bytes = f.bitsPerSample / 8u;
    if (f.blockAlign != f.channels * bytes) return std::nullopt;
    return Shape{f.samplesPerSec, bytes, f.channels, f.blockAlign};
}

float ReadSample(std::span<const std::uint8_t> s, std::size_t at, std::size_t bytes) {
    if (bytes == 1) return (static_cast<float>(s[at]) - 128.0f) / 128.0f;
    return static_cast<float>(static_cast<std::int16_t>(ReadLE16(s, at))) / 32768.0f;
}

void WriteSample(std::span<std::uint8_t> d, std::size_t at, std::size_t bytes, float v) {
    if (bytes == 1) {
        const long q = std::lrint(v * 128.0f) + 128;
        d[at] = static_cast<std::uint8_t>(std::clamp(q, 0L, 255L));
    } else {
        const long q = std::lrint(v * 32768.0f);
        WriteLE16(d, at, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::clamp(q, -32768L, 32767L))));
    }
}

struct SoxrDelete {
    void operator()(soxr_t r) const { soxr_delete(r); }
};

class PcmConverter final : public Converter {
public:
    PcmConverter(Shape in, Shape out)
        : in_(in), out_(out), work_(std::min(in.channels, out.channels)) {}

    ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) override {
        const std::size_t inFrames = source.size() / in_.frameBytes;
        const std::size_t room = destination.size() / out_.frameBytes;
        if (Same()) {
            const std::size_t bytes = std::min(inFrames, room) * in_.frameBytes;
            if (bytes) std::memcpy(destination.data(), source.data(), bytes);
            return {static_cast<std::uint32_t>(bytes), static_cast<std::uint32_t>(bytes), MMSYSERR_NOERROR};
        }
        const std::size_t total = OutputFrames(inFrames);
        const std::size_t want = std::min(total, room);
        ConvertResult r;
        if (in_.rate == out_.rate) {
            std::vector<float> frame(work_);
            for (std::size_t f = 0; f < want; ++f) {
                Mix(source, f, frame.data());
                Emit(frame.data(), 1, destination, f);
            }
        } else {
            r.result = Resample(source, inFrames, destination, want);
            if (r.result != MMSYSERR_NOERROR) return r;
        }
        // When the output was cut, the source it stands for.
        const std::size_t used =
            want == total ? inFrames
                          : std::min<std::size_t>(inFrames, (std::uint64_t{want} * in_.rate + out_.rate - 1) / out_.rate);
        r.sourceUsed = static_cast<std::uint32_t>(used * in_.frameBytes);
        r.destinationUsed = static_cast<std::uint32_t>(want * out_.frameBytes);
        return r;
    }

    std::uint64_t DestinationSize(std::uint64_t sourceBytes) const override {
        const std::uint64_t frames = sourceBytes / in_.frameBytes;
        return (Same() ? frames : OutputFrames(frames)) * out_.frameBytes;
    }

private:
    bool Same() const {
        return in_.rate == out_.rate && in_.bytes == out_.bytes && in_.channels == out_.channels;
    }

    // The length a resampled sound gets: the same duration, to the nearest
    // whole frame.
    std::uint64_t OutputFrames(std::uint64_t inFrames) const {
        if (in_.rate == out_.rate) return inFrames;
        return (inFrames * out_.rate + in_.rate / 2) / in_.rate;
    }

    // One source frame down to the working channels.
    void Mix(std::span<const std::uint8_t> source, std::size_t frame, float* to) const {
        const std::size_t at = frame * in_.frameBytes;
        if (work_ == in_.channels) {
            for (std::size_t c = 0; c < work_; ++c) to[c] = ReadSample(source, at + c * in_.bytes, in_.bytes);
            return;
        }
        std::fill(to, to + work_, 0.0f);
        for (std::size_t c = 0; c < in_.channels; ++c) to[c % work_] += ReadSample(source, at + c * in_.bytes, in_.bytes);
        for (std::size_t c = 0; c < work_; ++c) {
            const std::size_t feeding = (in_.channels - c + work_ - 1) / work_;
            to[c] /= static_cast<float>(feeding);
        }
    }

    // Frames [first, first + count) down to the working channels. 16-bit
    // stereo to mono, the common case of a PC recording, is worked directly.
    void MixFrames(std::span<const std::uint8_t> source, std::size_t first, std::size_t count, float* to) const {
        if (in_.bytes == 2 && in_.channels == 2 && work_ == 1) {
            const std::uint8_t* p = source.data() + first * 4;
            for (std::size_t f = 0; f < count; ++f, p += 4) {
                const auto left = static_cast<std::int16_t>(p[0] | (p[1] << 8));
                const auto right = static_cast<std::int16_t>(p[2] | (p[3] << 8));
                to[f] = (static_cast<float>(left) + static_cast<float>(right)) * (0.5f / 32768.0f);
            }
            return;
        }
        for (std::size_t f = 0; f < count; ++f) Mix(source, first + f, to + f * work_);
    }

    // Frames of working channels out to the destination from frame `at` on,
    // a mono sound going to both sides when the output is stereo.
    void Emit(const float* frames, std::size_t count, std::span<std::uint8_t> destination, std::size_t at) const {
        for (std::size_t f = 0; f < count; ++f) {
            const std::size_t base = (at + f) * out_.frameBytes;
            for (std::size_t c = 0; c < out_.channels; ++c)
                WriteSample(destination, base + c * out_.bytes, out_.bytes, frames[f * work_ + std::min(c, work_ - 1)]);
        }
    }

    MmResult Resample(std::span<const std::uint8_t> source, std::size_t inFrames, std::span<std::uint8_t> destination,
                      std::size_t want) const {
        if (want == 0) return MMSYSERR_NOERROR;
        constexpr std::size_t kChunk = 4096;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
        soxr_error_t error = nullptr;
        std::unique_ptr<soxr, SoxrDelete> resampler(
            soxr_create(in_.rate, out_.rate, static_cast<unsigned>(work_), &error, &io, &quality, &runtime));
        if (!resampler || error) return MMSYSERR_NOMEM;

        std::vector<float> input(kChunk * work_), output(kChunk * work_);
        std::size_t read = 0, written = 0;
        auto emit = [&](std::size_t frames) {
            frames = std::min(frames, want - written);
            Emit(output.data(), frames, destination, written);
            written += frames;
        };
        while (written < want) {
            if (read < inFrames) {
                const std::size_t length = std::min(kChunk, inFrames - read);
                MixFrames(source, read, length, input.data());
                read += length;
                std::size_t offset = 0;
                while (offset < length && written < want) {
                    std::size_t taken = 0, made = 0;
                    if (soxr_process(resampler.get(), input.data() + offset * work_, length - offset, &taken,
                                     output.data(), kChunk, &made))
                        return MMSYSERR_ERROR;
                    emit(made);
                    offset += taken;
                    if (taken == 0 && made == 0) return MMSYSERR_ERROR;
                }
            } else {
                // End of the sound: what the filter still holds.
                std::size_t made = 0;
                if (soxr_process(resampler.get(), nullptr, 0, nullptr, output.data(), kChunk, &made))
                    return MMSYSERR_ERROR;
                if (made == 0) break;
                emit(made);
            }
        }
        // The filter gives a frame or so less than the rounded length at
        // most; the rest is silence.
        if (written < want) {
            std::fill(output.begin(), output.end(), 0.0f);
            while (written < want) emit(std::min(kChunk, want - written));
        }
        return MMSYSERR_NOERROR;
    }

    Shape in_, out_;
    std::size_t work_;  // channels while mixing and resampling
};

}  // namespace

PcmDriver::PcmDriver()
    : Driver("PCM Converter", [] {
          std::vector<WaveFormat> formats;
          // The usual rates; the converter takes any rate in its range.
          for (std::uint32_t rate : {8000u, 11025u, 16000u, 22050u, 32000u, 44100u, 48000u})
              for (std::uint16_t bits : {8, 16})
                  for (std::uint16_t ch : {1, 2}) formats.push_back(WaveFormat::Pcm(rate, bits, ch));
          return formats;
      }()) {}

bool PcmDriver::CanConvert(const WaveFormat& source, const WaveFormat& destination) const {
    const auto in = ShapeOf(source), out = ShapeOf(destination);
    return in && out && (out->channels <= 2 || out->channels == in->channels);
}

std::unique_ptr<Converter> PcmDriver::Open(const WaveFormat& source, const WaveFormat& destination) const {
    if (!CanConvert(source, destination)) return nullptr;
    return std::make_unique<PcmConverter>(*ShapeOf(source), *ShapeOf(destination));
}

}  // namespace murmex::acm
