#include "TerminalFrontEnd.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace murmex::cli {

namespace {
constexpr int kBarWidth = 24;
}

TerminalFrontEnd::TerminalFrontEnd(std::optional<bool> answer, std::optional<bool> twoModes)
    : answer_(answer),
      twoModes_(twoModes),
      progressOnTerminal_(::isatty(STDERR_FILENO) != 0),
      questionsOnTerminal_(::isatty(STDIN_FILENO) != 0) {}

void TerminalFrontEnd::ClearProgressLine() {
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        progressShown_ = false;
    }
}

void TerminalFrontEnd::Error(const std::string& text) {
    std::lock_guard lock(mutex_);
    ClearProgressLine();
    std::fprintf(stderr, "murmex: %s\n", text.c_str());
}

void TerminalFrontEnd::ShowMessage(const std::string& text) { Error(text); }

void TerminalFrontEnd::ShowDeviceMessage(const std::string& caption, const std::string& text) {
    Error(caption + ": " + text);
}

std::optional<bool> TerminalFrontEnd::Prompt(const std::string& text) {
    if (!questionsOnTerminal_) return std::nullopt;
    std::lock_guard lock(mutex_);
    ClearProgressLine();
    for (;;) {
        std::fprintf(stderr, "%s [y/n] ", text.c_str());
        std::fflush(stderr);
        std::string line;
        if (!std::getline(std::cin, line)) return std::nullopt;
        if (line == "y" || line == "Y" || line == "yes") return true;
        if (line == "n" || line == "N" || line == "no") return false;
    }
}

bool TerminalFrontEnd::AskYesNo(const std::string& text) {
    if (answer_) return *answer_;
    if (const auto said = Prompt(text)) return *said;
    // Nobody to ask: leave what is there alone.
    Error(text + "\n(no terminal to ask: answered No; use --yes to replace)");
    return false;
}

bool TerminalFrontEnd::HasTwoRecordModes() {
    if (twoModes_) return *twoModes_;
    if (const auto said = Prompt(kTwoModeQuestionText)) return *said;
    throw Unanswered{std::string(kTwoModeQuestionText) + "\n(no terminal to ask: use --two-modes yes|no)"};
}

void TerminalFrontEnd::SetCaption(const std::string& caption) {
    std::lock_guard lock(mutex_);
    progress_.SetCaption(caption);
}

void TerminalFrontEnd::ShowProgress(std::uint32_t elapsedMs, std::uint32_t total, std::uint32_t done) {
    std::lock_guard lock(mutex_);
    progress_.Update(elapsedMs, total, done);
    if (!progressOnTerminal_) return;
    std::fprintf(stderr, "\r\033[K%s", FormatProgressLine(progress_, kBarWidth).c_str());
    std::fflush(stderr);
    progressShown_ = true;
}

void TerminalFrontEnd::EndJob(std::uint32_t) {
    std::lock_guard lock(mutex_);
    if (progressShown_) std::fputs("\n", stderr);
    progressShown_ = false;
}

}  // namespace murmex::cli
