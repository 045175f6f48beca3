#include "TerminalConvertView.h"

#include <unistd.h>

#include <cstdio>

namespace murmex::cli {

namespace {
bool ProgressOnTerminal() { return ::isatty(STDERR_FILENO) != 0; }
}  // namespace

TerminalConvertView::TerminalConvertView() : onTerminal_(ProgressOnTerminal()) {}

TerminalConvertView::~TerminalConvertView() { EndLine(); }

void TerminalConvertView::EndLine() {
    if (shown_) std::fputs("\n", stderr);
    shown_ = false;
}

void TerminalConvertView::SetBars(int upper, int lower) {
    if (!onTerminal_) return;
    std::fprintf(stderr, "\r\033[K%s  %s  stage %3d%%  step %3d%%", caption_.c_str(), names_.c_str(), upper, lower);
    std::fflush(stderr);
    shown_ = true;
}

void TerminalConvertView::ShowMessage(const std::string& caption, const std::string& text) {
    EndLine();
    std::fprintf(stderr, "murmex: %s: %s\n", caption.c_str(), text.c_str());
}

TerminalConvertFrontEnd::TerminalConvertFrontEnd(TerminalFrontEnd& terminal)
    : terminal_(terminal), onTerminal_(ProgressOnTerminal()) {}

void TerminalConvertFrontEnd::ShowMessage(const std::string& text) {
    errors_ = true;
    if (shownPercent_ >= 0) std::fputs("\n", stderr);
    shownPercent_ = -1;
    terminal_.Error(text);
}

void TerminalConvertFrontEnd::SetPercent(int percent) {
    if (percent == shownPercent_ || !onTerminal_) return;
    shownPercent_ = percent;
    std::fprintf(stderr, "\r\033[K%s  %d%%", caption_.c_str(), percent);
    std::fflush(stderr);
}

void TerminalConvertFrontEnd::EndJob(std::uint32_t) {
    if (shownPercent_ >= 0) std::fputs("\n", stderr);
    shownPercent_ = -1;
}

}  // namespace murmex::cli
