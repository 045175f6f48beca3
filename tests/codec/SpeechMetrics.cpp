#include "SpeechMetrics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>

#include "ByteOrder.h"

namespace murmex::codec::test {

namespace {

constexpr std::size_t kFrame = 256;
constexpr std::size_t kHop = kFrame / 2;
constexpr std::size_t kBands = 16;
// Bins 4..107 of 256 at a nominal 8 kHz: 125 Hz to about 3.4 kHz, the
// telephone band both codecs are built for.
constexpr std::size_t kFirstBin = 4;
constexpr std::size_t kBinsPerBand = 6;  // the last band is a little short
constexpr std::size_t kLastBin = 107;

// Frames more than 35 dB below the loudest are pauses, not speech.
const double kSpeechFloor = std::pow(10.0, -3.5);

using Bands = std::array<double, kBands>;

class BandAnalyser {
public:
    BandAnalyser() {
        for (std::size_t n = 0; n < kFrame; ++n) {
            window_[n] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(n) / kFrame);
            cos_[n] = std::cos(2 * std::numbers::pi * static_cast<double>(n) / kFrame);
            sin_[n] = std::sin(2 * std::numbers::pi * static_cast<double>(n) / kFrame);
        }
    }

    // Band powers (dB) of x[at, at + kFrame); the frame's total power too.
    Bands Levels(std::span<const std::int16_t> x, std::size_t at, double* total) const {
        std::array<double, kFrame> w{};
        for (std::size_t n = 0; n < kFrame; ++n) w[n] = window_[n] * x[at + n];
        Bands power{};
        double sum = 0;
        for (std::size_t k = kFirstBin; k <= kLastBin; ++k) {
            double re = 0, im = 0;
            for (std::size_t n = 0; n < kFrame; ++n) {
                const std::size_t i = (k * n) % kFrame;
                re += w[n] * cos_[i];
                im -= w[n] * sin_[i];
            }
            const double p = re * re + im * im;
            power[std::min((k - kFirstBin) / kBinsPerBand, kBands - 1)] += p;
            sum += p;
        }
        // A floor about the power of one LSB of noise keeps log() finite
        // and stops differences far below hearing from counting.
        for (double& p : power) p = 10 * std::log10(p + kFrame);
        if (total) *total = sum;
        return power;
    }

private:
    std::array<double, kFrame> window_{}, cos_{}, sin_{};
};

double Correlation(const Bands& a, const Bands& b) {
    double ma = 0, mb = 0;
    for (std::size_t i = 0; i < kBands; ++i) ma += a[i], mb += b[i];
    ma /= kBands;
    mb /= kBands;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < kBands; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

std::vector<double> Smoothed(std::span<const std::int16_t> x) {
    std::vector<double> e(x.size());
    double s = 0;
    for (std::size_t i = 0; i < x.size(); ++i) e[i] = s = 0.98 * s + 0.02 * std::abs(static_cast<double>(x[i]));
    return e;
}

}  // namespace

std::vector<std::int16_t> ReadMonoWav(const std::string& path, unsigned* sampleRate) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || !std::equal(b.begin(), b.begin() + 4, "RIFF") || !std::equal(b.begin() + 8, b.begin() + 12, "WAVE"))
        return {};
    bool pcm16mono = false;
    for (std::size_t at = 12; at + 8 <= b.size();) {
        const std::size_t size = ReadLE32(b, at + 4);
        const std::size_t body = at + 8;
        if (size > b.size() - body) return {};
        if (std::equal(b.begin() + at, b.begin() + at + 4, "fmt ") && size >= 16) {
            pcm16mono = ReadLE16(b, body) == 1 && ReadLE16(b, body + 2) == 1 && ReadLE16(b, body + 14) == 16;
            if (sampleRate) *sampleRate = ReadLE32(b, body + 4);
        } else if (std::equal(b.begin() + at, b.begin() + at + 4, "data")) {
            if (!pcm16mono) return {};
            std::vector<std::int16_t> samples(size / 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = static_cast<std::int16_t>(ReadLE16(b, body + 2 * i));
            return samples;
        }
        at = body + size + (size & 1);
    }
    return {};
}

SpectralMatch CompareSpectra(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, std::size_t delay) {
    static const BandAnalyser analyser;
    SpectralMatch m;
    if (test.size() <= delay) return m;
    const std::size_t length = std::min(ref.size(), test.size() - delay);
    if (length < kFrame) return m;

    struct Frame {
        Bands ref, test;
        double power;
    };
    std::vector<Frame> frames;
    double loudest = 0;
    for (std::size_t at = 0; at + kFrame <= length; at += kHop) {
        Frame f{};
        f.ref = analyser.Levels(ref, at, &f.power);
        f.test = analyser.Levels(test, at + delay, nullptr);
        loudest = std::max(loudest, f.power);
        frames.push_back(f);
    }
    double lsd = 0, corr = 0;
    for (const Frame& f : frames) {
        if (f.power < loudest * kSpeechFloor) continue;
        double sq = 0;
        for (std::size_t i = 0; i < kBands; ++i) sq += (f.ref[i] - f.test[i]) * (f.ref[i] - f.test[i]);
        lsd += std::sqrt(sq / kBands);
        corr += Correlation(f.ref, f.test);
        ++m.frames;
    }
    if (m.frames > 0) {
        m.logSpectralDistanceDb = lsd / static_cast<double>(m.frames);
        m.envelopeCorrelation = corr / static_cast<double>(m.frames);
    }
    return m;
}

std::size_t BestLag(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, std::size_t maxLag, LagOf what) {
    std::vector<double> a(ref.begin(), ref.end()), b(test.begin(), test.end());
    if (what == LagOf::Envelope) {
        a = Smoothed(ref);
        b = Smoothed(test);
    }
    std::size_t best = 0;
    double bestScore = -2;
    for (std::size_t lag = 0; lag <= maxLag && lag < b.size(); ++lag) {
        double ab = 0, aa = 0, bb = 0;
        for (std::size_t i = 0; i < a.size() && i + lag < b.size(); ++i) {
            ab += a[i] * b[i + lag];
            aa += a[i] * a[i];
            bb += b[i + lag] * b[i + lag];
        }
        const double score = aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : -1;
        if (score > bestScore) bestScore = score, best = lag;
    }
    return best;
}

double RmsDbfs(std::span<const std::int16_t> x, std::size_t from, std::size_t to) {
    to = std::min(to, x.size());
    if (from >= to) return -200;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
    const double rms = std::sqrt(sum / static_cast<double>(to - from));
    return rms > 0 ? 20 * std::log10(rms / 32768.0) : -200;
}

}  // namespace murmex::codec::test
