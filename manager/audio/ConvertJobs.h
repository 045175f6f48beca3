// The manager's conversions between MXD and WAV files: each entry of a job
// is a path without its extension, converted into the file of the other
// kind beside it. Qt-free; the Convert window, the terminal or a test is the
// front end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "CodecLibrary.h"
#include "WaveConvert.h"

namespace murmex {

class ConvertFrontEnd {
public:
    virtual ~ConvertFrontEnd() = default;
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetPercent(int percent) = 0;
    // The WAVE Convert window, shown while a WAV file goes through the ACM.
    virtual WaveConvertView& WaveConvertWindow() = 0;
    // The job is over: 0xFF10 asks the main window to refresh the file list.
    virtual void EndJob(std::uint32_t notification) = 0;
};

inline constexpr std::uint32_t kNotifyConversionDone = 0xFF10;

// One file of a job and the file it becomes. The manager's entries are a
// path without its extension, converted beside it (Beside()); the command
// line names the target itself.
struct ConvertEntry {
    std::string source;
    std::string target;
    static ConvertEntry Beside(const std::string& pathWithoutExtension, const char* from, const char* to) {
        return {pathWithoutExtension + from, pathWithoutExtension + to};
    }
};

struct ConvertOutcome {
    int converted = 0;
    int failed = 0;     // reported with a message
    int skipped = 0;    // missing, not replaced, or not openable
    bool cancelled = false;
    bool codecMissing = false;
};

// "Only PCM 7.2Khz 16Bit Mono": what the encoder takes.
bool IsVoicePcm(const WaveFormat& format);
// The ACM target of a WAV file that is not: 7221 Hz 16-bit mono PCM.
WaveFormat VoicePcmTarget();

// Runs the entries in order until the cancel flag is set, then ends the job.
class ConvertJob {
public:
    ConvertJob(ConvertFrontEnd& frontEnd, std::vector<ConvertEntry> entries, std::atomic<int>& cancel)
        : frontEnd_(frontEnd), entries_(std::move(entries)), cancel_(cancel) {}
    virtual ~ConvertJob() = default;
    ConvertOutcome Run(CodecLibrary& codec);

protected:
    virtual void ConvertOne(CodecLibrary& codec, const ConvertEntry& entry, ConvertOutcome& outcome) = 0;
    bool Cancelled() const { return cancel_.load() != 0; }

    ConvertFrontEnd& frontEnd_;

private:
    std::vector<ConvertEntry> entries_;
    std::atomic<int>& cancel_;
};

class MxdToWavJob : public ConvertJob {
public:
    using ConvertJob::ConvertJob;

private:
    void ConvertOne(CodecLibrary& codec, const ConvertEntry& entry, ConvertOutcome& outcome) override;
};

class WavToMxdJob : public ConvertJob {
public:
    // mode: 2 SP, 0 LP.
    WavToMxdJob(ConvertFrontEnd& frontEnd, std::vector<ConvertEntry> entries, std::atomic<int>& cancel, int mode)
        : ConvertJob(frontEnd, std::move(entries), cancel), mode_(mode) {}

private:
    void ConvertOne(CodecLibrary& codec, const ConvertEntry& entry, ConvertOutcome& outcome) override;
    int mode_;
};

}  // namespace murmex
