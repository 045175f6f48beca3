#include "AcmTestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "ByteOrder.h"

namespace murmex::acm::test {

bool HaveSox() { return std::system("sox --version >/dev/null 2>&1") == 0; }

ScratchDir::ScratchDir() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "acm";
    std::replace(name.begin(), name.end(), '/', '_');
    path_ = fs::temp_directory_path() / ("murmex-acm-" + std::to_string(::getpid()) + "-" + name);
    fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

bool Sox(const std::string& args) {
    const std::string cmd = "sox " + args + " 2>/dev/null";
    return std::system(cmd.c_str()) == 0;
}

Wav ReadWav(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> file{std::istreambuf_iterator<char>(in), {}};
    Wav wav;
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 || std::memcmp(file.data() + 8, "WAVE", 4) != 0)
        return wav;
    const std::span<const std::uint8_t> bytes(file);
    bool haveFormat = false;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        const std::size_t size = std::min<std::size_t>(ReadLE32(bytes, at + 4), file.size() - at - 8);
        const auto body = bytes.subspan(at + 8, size);
        if (std::memcmp(file.data() + at, "fmt ", 4) == 0) {
            // A plain PCM chunk may stop after 16 bytes; its extra size is 0.
            std::vector<std::uint8_t> record(body.begin(), body.end());
            if (record.size() == 16) record.resize(18, 0);
            auto f = WaveFormat::FromBytes(record);
            if (!f) return wav;
            wav.format = *f;
            haveFormat = true;
        } else if (std::memcmp(file.data() + at, "data", 4) == 0) {
            wav.data.assign(body.begin(), body.end());
        }
        at += 8 + size + (size & 1);
    }
    if (!haveFormat) wav.format = {};
    return wav;
}

void WriteWav(const fs::path& path, const WaveFormat& format, std::span<const std::uint8_t> data) {
    const auto record = format.ToBytes();
    std::vector<std::uint8_t> head(20);
    std::memcpy(head.data(), "RIFF", 4);
    WriteLE32(head, 4, static_cast<std::uint32_t>(4 + 8 + record.size() + 8 + data.size()));
    std::memcpy(head.data() + 8, "WAVEfmt ", 8);
    WriteLE32(head, 16, static_cast<std::uint32_t>(record.size()));
    head.insert(head.end(), record.begin(), record.end());
    const std::size_t dataAt = head.size();
    head.resize(dataAt + 8);
    std::memcpy(head.data() + dataAt, "data", 4);
    WriteLE32(head, dataAt + 4, static_cast<std::uint32_t>(data.size()));
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (data.size() & 1) out.put(0);
}

std::vector<std::int16_t> Samples16(std::span<const std::uint8_t> bytes) {
    std::vector<std::int16_t> s(bytes.size() / 2);
    for (std::size_t i = 0; i < s.size(); ++i) s[i] = static_cast<std::int16_t>(ReadLE16(bytes, 2 * i));
    return s;
}

std::vector<std::uint8_t> Bytes16(std::span<const std::int16_t> samples) {
    std::vector<std::uint8_t> b(2 * samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) WriteLE16(b, 2 * i, static_cast<std::uint16_t>(samples[i]));
    return b;
}

std::vector<std::int16_t> SpeechLike(std::uint32_t rate, double seconds, std::uint16_t channels) {
    constexpr double kPi = 3.14159265358979323846;
    const std::size_t frames = static_cast<std::size_t>(seconds * rate);
    const std::size_t voiced = frames * 2 / 3;
    const double top = std::min(3400.0, rate * 0.45);
    std::vector<std::int16_t> out(frames * channels);
    std::uint32_t noise = 12345;
    for (std::uint16_t c = 0; c < channels; ++c) {
        double phase = 0, sweepPhase = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0;
            if (i < voiced) {
                const double f0 = 110 + 25 * c + 35 * std::sin(2 * kPi * 0.7 * t) + 15 * std::sin(2 * kPi * 2.3 * t);
                phase += 2 * kPi * f0 / rate;
                // Harmonics shaped by three formants that move a little.
                const double formants[] = {650 + 150 * std::sin(2 * kPi * 1.1 * t), 1250 + 300 * std::sin(2 * kPi * 0.6 * t), 2500};
                for (int k = 1; k * f0 < top; ++k) {
                    double gain = 0.02;
                    for (double f : formants) gain += 1 / (1 + std::pow((k * f0 - f) / 120, 2));
                    v += gain * std::sin(k * phase) / k;
                }
                // Syllables about four a second, every fourth one a pause.
                const double syllable = std::fmod(t * 4, 4.0);
                const double envelope = syllable >= 3 ? 0.02 : 0.5 - 0.5 * std::cos(2 * kPi * syllable);
                noise = noise * 1664525u + 1013904223u;
                const double hiss = (static_cast<double>(noise >> 8) / (1u << 24) - 0.5) * 0.08;
                v = envelope * (0.45 * v + hiss);
            } else {
                // A sweep from 100 Hz to the top of the band.
                const double u = static_cast<double>(i - voiced) / static_cast<double>(frames - voiced);
                sweepPhase += 2 * kPi * (100 + (top - 100) * u) / rate;
                v = 0.5 * std::sin(sweepPhase + c);
            }
            out[i * channels + c] = static_cast<std::int16_t>(std::lrint(std::clamp(v, -1.0, 1.0) * 32000));
        }
    }
    return out;
}

Difference Compare(std::span<const std::int16_t> a, std::span<const std::int16_t> b) {
    const std::size_t n = std::min(a.size(), b.size());
    Difference d;
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int e = std::abs(int{a[i]} - int{b[i]});
        d.max = std::max(d.max, e);
        sum += e;
    }
    d.mean = n ? sum / static_cast<double>(n) : 0;
    return d;
}

double SnrDb(std::span<const std::int16_t> reference, std::span<const std::int16_t> test) {
    const std::size_t n = std::min(reference.size(), test.size());
    double signal = 0, noise = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double r = reference[i], e = r - test[i];
        signal += r * r;
        noise += e * e;
    }
    if (noise == 0) return 200;
    return 10 * std::log10(signal / noise);
}

std::vector<std::uint8_t> Convert(const WaveFormat& from, const WaveFormat& to, std::span<const std::uint8_t> data,
                                  MmResult* code) {
    MmResult ignored;
    MmResult& result = code ? *code : ignored;
    StreamHandle stream = 0;
    if ((result = acmStreamOpen(stream, 0, from, to)) != MMSYSERR_NOERROR) return {};
    std::uint32_t room = 0;
    std::vector<std::uint8_t> out;
    if ((result = acmStreamSize(stream, static_cast<std::uint32_t>(data.size()), room)) == MMSYSERR_NOERROR) {
        out.resize(room);
        StreamHeader header;
        header.source = data;
        header.destination = out;
        if ((result = acmStreamPrepareHeader(stream, header)) == MMSYSERR_NOERROR) {
            result = acmStreamConvert(stream, header);
            const MmResult unprepared = acmStreamUnprepareHeader(stream, header);
            if (result == MMSYSERR_NOERROR) result = unprepared;
            out.resize(std::min<std::size_t>(header.destinationUsed, room));
        }
    }
    acmStreamClose(stream);
    return out;
}

WaveFormat TableFormat(std::uint16_t tag, std::uint32_t rate, std::uint16_t channels) {
    WaveFormat found;
    acmFormatEnum(0, [&](DriverId, const WaveFormat& f) {
        if (f.formatTag != tag || f.samplesPerSec != rate || f.channels != channels) return true;
        found = f;
        return false;
    });
    return found;
}

}  // namespace murmex::acm::test
