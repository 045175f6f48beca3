// Bringing a whole sound held in memory into another format through the
// audio compression manager, in up to three stages: the source's codec to
// PCM, PCM to PCM of the target's rate, width and channels, and PCM to the
// target's codec. Also the driver search it is built on and its error
// report. The manager writes the result as a WAV file; the encoder library
// takes it into a buffer of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "Acm.h"
#include "WaveFormat.h"

namespace murmex {

// Sound buffers are written over whole by the streams; an allocator that
// leaves new bytes uncleared spares a pass over hundreds of megabytes.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
using SoundBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

// The text of the "ACM Error" box: the reason line for the code, then
// "Audio Codec access error." (with the call-site number when asked, as the
// encoder library shows it).
std::string AcmErrorText(acm::MmResult code, int site, bool withSite);
inline constexpr const char* kAcmErrorCaption = "ACM Error";

struct AcmConverterHooks {
    // Upper bar (the stage) and lower bar (within the stage), 0-100.
    std::function<void(int upper, int lower)> progress;
    // A message box: caption and text.
    std::function<void(const std::string& caption, const std::string& text)> message;
    bool siteInErrorText = false;
};

class AcmConverter {
public:
    explicit AcmConverter(AcmConverterHooks hooks = {});

    // The first enabled driver that offers a format of the tag.
    std::optional<acm::DriverId> FindDriver(std::uint16_t tag);
    // The driver's largest format record, at least 18; 0 when it cannot be opened.
    std::uint32_t MaxFormatSize(acm::DriverId driver);
    // The driver's first format of the tag.
    bool FirstFormat(acm::DriverId driver, std::uint16_t tag, WaveFormat& format);

    // Converts and writes a WAV file with the format of the last stage that
    // ran (the requested target when none had to).
    bool ConvertToFile(const WaveFormat& source, std::span<const std::uint8_t> data, const WaveFormat& target,
                       const std::string& path);
    // Converts into the caller's buffer. length gets the whole result's
    // length; a result longer than the buffer is cut there and fails.
    bool ConvertToMemory(const WaveFormat& source, std::span<const std::uint8_t> data, const WaveFormat& target,
                         std::span<std::uint8_t> output, std::uint32_t& length);

private:
    struct Converted {
        WaveFormat format;
        SoundBuffer data;  // empty with fromSource: the caller's data stands
        bool fromSource = false;
    };
    struct Stage;
    std::optional<Converted> Convert(const WaveFormat& source, std::span<const std::uint8_t> data,
                                     const WaveFormat& target);
    std::optional<SoundBuffer> RunStage(const Stage& stage, acm::DriverId driver, const WaveFormat& from,
                                                      const WaveFormat& to, std::span<const std::uint8_t> input);
    bool Check(acm::MmResult result, int site);
    void Progress(int upper, int lower);

    AcmConverterHooks hooks_;
};

}  // namespace murmex
