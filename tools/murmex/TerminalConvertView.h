// The conversion windows on a terminal: the WAVE Convert window's two bars
// and the Convert window's percentage as a line on stderr, questions and
// messages as TerminalFrontEnd has them.
#pragma once

#include <string>

#include "ConvertJobs.h"
#include "TerminalFrontEnd.h"
#include "WaveConvert.h"

namespace murmex::cli {

class TerminalConvertView : public WaveConvertView {
public:
    TerminalConvertView();
    ~TerminalConvertView() override;
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    void SetFormatNames(const std::string& in, const std::string& out) override { names_ = in + " -> " + out; }
    void SetBars(int upper, int lower) override;
    void ShowMessage(const std::string& caption, const std::string& text) override;

private:
    void EndLine();
    bool onTerminal_;
    bool shown_ = false;
    std::string caption_;
    std::string names_;
};

class TerminalConvertFrontEnd : public ConvertFrontEnd {
public:
    explicit TerminalConvertFrontEnd(TerminalFrontEnd& terminal);
    bool AskYesNo(const std::string& text) override { return terminal_.AskYesNo(text); }
    void ShowMessage(const std::string& text) override;
    void SetCaption(const std::string& caption) override { caption_ = caption; }
    void SetPercent(int percent) override;
    WaveConvertView& WaveConvertWindow() override { return waveConvert_; }
    void EndJob(std::uint32_t) override;
    bool ReportedErrors() const { return errors_; }

private:
    TerminalFrontEnd& terminal_;
    bool onTerminal_;
    TerminalConvertView waveConvert_;
    std::string caption_;
    int shownPercent_ = -1;
    bool errors_ = false;
};

}  // namespace murmex::cli
