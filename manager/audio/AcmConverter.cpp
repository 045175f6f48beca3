#include "AcmConverter.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "WaveFile.h"

namespace murmex {

using namespace acm;

namespace {

const char* ReasonLine(MmResult code) {
    switch (code) {
        case 3: return "The driver is not enabled.\n";
        case 5: return "The specified handle is invalid.\n";
        case 7: return "The system is unable to allocate resources.\n";
        case 10: return "At least one flag is invalid.\n";
        case 11: return "At least one parameter is invalid.\n";
        case 512: return "The requested operation cannot be performed.\n";
        case 513: return "The stream header specified in pash is currently in use and cannot be unprepared.\n";
        case 514:
            return "The stream header specified in pash is currently not prepared by the acmStreamPrepareHeader "
                   "function.\n";
        default: return "";
    }
}

// Closes a driver or stream when it goes out of scope.
template <MmResult (*Close)(std::uint32_t)>
struct Closing {
    std::uint32_t handle = 0;
    ~Closing() {
        if (handle) Close(handle);
    }
};

// Bytes a stage may produce: one second of the output's rate beyond the
// exact size, as the sizes of the formats promise.
std::optional<std::size_t> StageRoom(std::uint32_t outRate, std::uint32_t inRate, std::size_t length) {
    if (inRate == 0 || outRate == 0) return std::nullopt;
    const unsigned __int128 room = outRate + static_cast<unsigned __int128>(length) * outRate / inRate;
    if (room > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::size_t>(room);
}

bool SamePcmShape(const WaveFormat& a, const WaveFormat& b) {
    return a.samplesPerSec == b.samplesPerSec && a.bitsPerSample == b.bitsPerSample && a.channels == b.channels;
}

}  // namespace

std::string AcmErrorText(MmResult code, int site, bool withSite) {
    std::string text = ReasonLine(code);
    text += "Audio Codec access error.";
    if (withSite) text += " " + std::to_string(site);
    return text;
}

// Where a stage reports its failures and how far its lower bar goes.
struct AcmConverter::Stage {
    int upper;
    int openDriverSite;  // 0: the stream may use any driver
    int streamSite, prepareSite, convertSite, unprepareSite;
    int atOpenDriver, atStream, atPrepare, atConvert, atUnprepare;
};

namespace {
constexpr int kNoBar = -1;
}

AcmConverter::AcmConverter(AcmConverterHooks hooks) : hooks_(std::move(hooks)) {}

void AcmConverter::Progress(int upper, int lower) {
    if (lower != kNoBar && hooks_.progress) hooks_.progress(upper, lower);
}

bool AcmConverter::Check(MmResult result, int site) {
    if (result == MMSYSERR_NOERROR) return true;
    if (hooks_.message) hooks_.message(kAcmErrorCaption, AcmErrorText(result, site, hooks_.siteInErrorText));
    return false;
}

std::optional<DriverId> AcmConverter::FindDriver(std::uint16_t tag) {
    std::optional<DriverId> found;
    const MmResult enumerated = acmDriverEnum([&](DriverId id) {
        DriverHandle driver = 0;
        if (acmDriverOpen(driver, id) != MMSYSERR_NOERROR) return true;
        Closing<acmDriverClose> closing{driver};
        acmFormatEnum(driver, [&](DriverId reporter, const WaveFormat& f) {
            if (f.formatTag != tag) return true;
            found = reporter;
            return false;
        });
        return !found;
    });
    if (!Check(enumerated, 1)) return std::nullopt;
    return found;
}

std::uint32_t AcmConverter::MaxFormatSize(DriverId id) {
    DriverHandle driver = 0;
    if (!Check(acmDriverOpen(driver, id), 2)) return 0;
    Closing<acmDriverClose> closing{driver};
    std::uint32_t size = 0;
    acmMetricsMaxSizeFormat(driver, size);
    return std::max<std::uint32_t>(size, 18);
}

bool AcmConverter::FirstFormat(DriverId id, std::uint16_t tag, WaveFormat& format) {
    DriverHandle driver = 0;
    if (!Check(acmDriverOpen(driver, id), 3)) return false;
    Closing<acmDriverClose> closing{driver};
    bool filled = false;
    const MmResult enumerated = acmFormatEnum(driver, [&](DriverId, const WaveFormat& f) {
        if (f.formatTag != tag) return true;
        format = f;
        filled = true;
        return false;
    });
    return Check(enumerated, 4) && filled;
}

std::optional<SoundBuffer> AcmConverter::RunStage(const Stage& s, DriverId driverId,
                                                                 const WaveFormat& from, const WaveFormat& to,
                                                                 std::span<const std::uint8_t> input) {
    const auto room = StageRoom(to.avgBytesPerSec, from.avgBytesPerSec, input.size());
    if (!room) return std::nullopt;
    // Room is worked out generously and written over by the stream; no need to clear it.
    SoundBuffer output(*room);
    Closing<acmDriverClose> driver;
    if (s.openDriverSite) {
        Progress(s.upper, s.atOpenDriver);
        if (!Check(acmDriverOpen(driver.handle, driverId), s.openDriverSite)) return std::nullopt;
    }
    Progress(s.upper, s.atStream);
    Closing<acmStreamClose> stream;
    if (!Check(acmStreamOpen(stream.handle, driver.handle, from, to), s.streamSite)) return std::nullopt;
    StreamHeader header;
    header.source = input;
    header.destination = output;
    Progress(s.upper, s.atPrepare);
    if (!Check(acmStreamPrepareHeader(stream.handle, header), s.prepareSite)) return std::nullopt;
    Progress(s.upper, s.atConvert);
    if (!Check(acmStreamConvert(stream.handle, header), s.convertSite)) {
        acmStreamUnprepareHeader(stream.handle, header);
        return std::nullopt;
    }
    Progress(s.upper, s.atUnprepare);
    if (!Check(acmStreamUnprepareHeader(stream.handle, header), s.unprepareSite)) return std::nullopt;
    output.resize(std::min<std::size_t>(header.destinationUsed, output.size()));
    return output;
}

std::optional<AcmConverter::Converted> AcmConverter::Convert(const WaveFormat& source,
                                                             std::span<const std::uint8_t> data,
                                                             const WaveFormat& target) {
    static constexpr Stage kDecode{40, 5, 6, 7, 8, 9, 30, 40, 50, 60, 90};
    static constexpr Stage kResample{60, 0, 10, 11, 12, 13, kNoBar, 30, 40, 50, 70};
    static constexpr Stage kEncode{80, 14, 15, 16, 17, 18, 30, 40, kNoBar, 60, 90};

    Progress(10, 0);
    std::optional<DriverId> sourceDriver, targetDriver;
    if (!source.IsPcm() && !(sourceDriver = FindDriver(source.formatTag))) return std::nullopt;
    if (!target.IsPcm() && !(targetDriver = FindDriver(target.formatTag))) return std::nullopt;
    const auto pcmDriver = FindDriver(WAVE_FORMAT_PCM);
    if (!pcmDriver) return std::nullopt;

    Progress(20, 0);
    const std::uint32_t maxSize = MaxFormatSize(*pcmDriver);
    if (maxSize == 0) return std::nullopt;
    WaveFormat intermediate;
    intermediate.formatTag = WAVE_FORMAT_PCM;
    intermediate.extra.assign(maxSize - 18, 0);
    WaveFormat targetPcm = intermediate;
    WaveFormat finalTarget = target;

    if (!target.IsPcm()) {
        if (!FirstFormat(*targetDriver, target.formatTag, finalTarget) ||
            !FirstFormat(*targetDriver, WAVE_FORMAT_PCM, targetPcm))
            return std::nullopt;
        // What the caller asks for wins over the driver's own choice.
        if (target.channels) finalTarget.channels = target.channels;
        if (target.samplesPerSec) finalTarget.samplesPerSec = target.samplesPerSec;
        if (target.avgBytesPerSec) finalTarget.avgBytesPerSec = target.avgBytesPerSec;
        if (target.blockAlign) finalTarget.blockAlign = target.blockAlign;
        if (target.bitsPerSample) finalTarget.bitsPerSample = target.bitsPerSample;
        if (target.ExtraSize()) finalTarget.extra.resize(target.ExtraSize(), 0);
    }
    Progress(30, 0);
    if (!FirstFormat(*pcmDriver, WAVE_FORMAT_PCM, intermediate)) return std::nullopt;

    if (source.IsPcm()) intermediate = source;
    if (target.IsPcm()) {
        targetPcm = target;
    } else {
        if (finalTarget.samplesPerSec) targetPcm.samplesPerSec = finalTarget.samplesPerSec;
        if (finalTarget.channels) targetPcm.channels = finalTarget.channels;
        targetPcm.blockAlign = static_cast<std::uint16_t>(targetPcm.channels * targetPcm.bitsPerSample / 8);
        targetPcm.avgBytesPerSec = targetPcm.samplesPerSec * targetPcm.blockAlign;
    }

    Converted result{target, {}, true};
    std::span<const std::uint8_t> current = data;
    Progress(40, 0);
    if (!source.IsPcm()) {
        WaveFormat decoded;
        if (!FirstFormat(*sourceDriver, WAVE_FORMAT_PCM, decoded)) {
            if (hooks_.message)
                hooks_.message(kAcmErrorCaption,
                               AcmErrorText(0, 200000 + intermediate.formatTag, hooks_.siteInErrorText));
            return std::nullopt;
        }
        intermediate = decoded;
        intermediate.channels = source.channels;
        intermediate.samplesPerSec = source.samplesPerSec;
        intermediate.blockAlign = static_cast<std::uint16_t>(intermediate.channels * intermediate.bitsPerSample / 8);
        intermediate.avgBytesPerSec = intermediate.samplesPerSec * intermediate.blockAlign;
        auto out = RunStage(kDecode, *sourceDriver, source, intermediate, current);
        if (!out) return std::nullopt;
        result = {intermediate, std::move(*out), false};
        current = result.data;
        Progress(40, 100);
    }

    Progress(60, 0);
    if (intermediate.IsPcm() && targetPcm.IsPcm() && !SamePcmShape(intermediate, targetPcm)) {
        auto out = RunStage(kResample, 0, intermediate, targetPcm, current);
        if (!out) return std::nullopt;
        result = {targetPcm, std::move(*out), false};
        current = result.data;
        Progress(60, 100);
    }

    Progress(80, 0);
    if (!target.IsPcm()) {
        auto out = RunStage(kEncode, *targetDriver, targetPcm, finalTarget, current);
        if (!out) return std::nullopt;
        result = {finalTarget, std::move(*out), false};
        Progress(80, 100);
    }
    return result;
}

bool AcmConverter::ConvertToFile(const WaveFormat& source, std::span<const std::uint8_t> data,
                                 const WaveFormat& target, const std::string& path) {
    const auto converted = Convert(source, data, target);
    if (!converted) return false;
    Progress(90, 0);
    const std::span<const std::uint8_t> bytes = converted->fromSource ? data : std::span(converted->data);
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
    if (!file || bytes.size() > 0xFFFFFFFFu) return false;
    if (!WaveHeaderWriter(file.get(), converted->format, static_cast<std::uint32_t>(bytes.size())) ||
        (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()))
        return false;
    if (std::fclose(file.release()) != 0) return false;
    Progress(100, 0);
    return true;
}

bool AcmConverter::ConvertToMemory(const WaveFormat& source, std::span<const std::uint8_t> data,
                                   const WaveFormat& target, std::span<std::uint8_t> output, std::uint32_t& length) {
    const auto converted = Convert(source, data, target);
    if (!converted) return false;
    const std::span<const std::uint8_t> bytes = converted->fromSource ? data : std::span(converted->data);
    length = static_cast<std::uint32_t>(std::min<std::size_t>(bytes.size(), 0xFFFFFFFFu));
    const std::size_t copied = std::min(bytes.size(), output.size());
    std::copy_n(bytes.begin(), copied, output.begin());
    return copied == bytes.size();
}

}  // namespace murmex
