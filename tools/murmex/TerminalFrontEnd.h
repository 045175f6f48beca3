// The terminal as the jobs' front end: questions on the terminal (or answered
// by --yes / --no), messages on stderr, and a progress line on stderr when it
// is a terminal.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "DeviceMessages.h"
#include "JobFrontEnd.h"
#include "TransferProgress.h"
#include "VariantDetector.h"

namespace murmex::cli {

// Thrown when a question has no answer: no terminal and no option given.
struct Unanswered {
    std::string question;
};

class TerminalFrontEnd : public JobFrontEnd, public TwoModeQuestion, public DeviceMessages {
public:
    TerminalFrontEnd(std::optional<bool> answer, std::optional<bool> twoModes);

    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void ShowProgress(std::uint32_t elapsedMs, std::uint32_t total, std::uint32_t done) override;
    void EndJob(std::uint32_t notification) override;
    bool HasTwoRecordModes() override;
    void ShowDeviceMessage(const std::string& caption, const std::string& text) override;

    void Error(const std::string& text);  // "murmex: text" on stderr

private:
    std::optional<bool> Prompt(const std::string& text);
    void ClearProgressLine();

    std::optional<bool> answer_;
    std::optional<bool> twoModes_;
    bool progressOnTerminal_;
    bool questionsOnTerminal_;
    bool progressShown_ = false;
    TransferProgressModel progress_;
    std::mutex mutex_;
};

}  // namespace murmex::cli
