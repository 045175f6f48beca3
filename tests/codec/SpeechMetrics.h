// Measures for comparing decoded speech with what went in: how well the
// spectral envelope survived, where the decoded sound lines up, and levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace murmex::codec::test {

// Samples of a mono 16-bit PCM WAV file; empty when the file is not one.
std::vector<std::int16_t> ReadMonoWav(const std::string& path, unsigned* sampleRate = nullptr);

struct SpectralMatch {
    double logSpectralDistanceDb = 0;  // mean over speech frames, 16 bands
    double envelopeCorrelation = 0;    // mean per-frame correlation of the band levels
    std::size_t frames = 0;            // speech frames compared
};

// Compares ref[i] with test[i + delay], frame by frame (256 samples, Hann,
// half overlap), over the frames of ref within 35 dB of its loudest.
SpectralMatch CompareSpectra(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, std::size_t delay);

// Lag of test behind ref (0..maxLag) with the best normalised correlation,
// of the waveforms or of their smoothed magnitudes (for codecs that do not
// keep the phase).
enum class LagOf { Waveform, Envelope };
std::size_t BestLag(std::span<const std::int16_t> ref, std::span<const std::int16_t> test, std::size_t maxLag, LagOf what);

// RMS level of x[from, to) in dB relative to full scale; -200 for silence.
double RmsDbfs(std::span<const std::int16_t> x, std::size_t from, std::size_t to);

}  // namespace murmex::codec::test
