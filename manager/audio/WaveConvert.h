// The WAVE Convert run: one WAV file into another of a given format, with
// the progress and format names its window shows.
#pragma once

#include <string>

#include "AcmConverter.h"
#include "WaveFormat.h"

namespace murmex {

// What the WAVE Convert window shows while a conversion runs.
class WaveConvertView {
public:
    virtual ~WaveConvertView() = default;
    virtual void SetCaption(const std::string& caption) = 0;
    virtual void SetFormatNames(const std::string& in, const std::string& out) = 0;
    virtual void SetBars(int upper, int lower) = 0;
    virtual void ShowMessage(const std::string& caption, const std::string& text) = 0;
};

class WaveConvertRun {
public:
    explicit WaveConvertRun(WaveConvertView& view) : view_(view) {}
    // 1 on success, else 0.
    int Run(const std::string& inputPath, const std::string& outputPath, const WaveFormat& target);
    bool Done() const { return done_; }
    bool Succeeded() const { return succeeded_; }

private:
    WaveConvertView& view_;
    bool done_ = false;
    bool succeeded_ = false;
};

}  // namespace murmex
