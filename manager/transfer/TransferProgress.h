// What the transfer progress window shows while messages go to or come from
// the recorder: sizes, rate, elapsed and expected total time, percentage.
// Kept free of the GUI so the window only copies texts into its labels and
// the command-line tool can print the same figures.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace murmex {

// The window's entries in the suite's English string table.
enum TransferStringId : int {
    kStrEstimateLabel = 405,  // "Est. Time :"
    kStrElapsedLabel = 406,   // "Elapsed  :"
    kStrMinutes = 407,        // "%3.1ldMin"
    kStrSeconds = 408,        // "%3.1ldSec"
    kStrRateLabel = 409,      // "Transfer Rate :"
    kStrSizeLabel = 410,      // "File Size :"
    kStrCancel = 411,         // "Cancel"
};

// Text of one of the ids above; empty for any other id.
std::string_view TransferString(int id);

class TransferProgressModel {
public:
    TransferProgressModel() { Reset(); }

    // Back to the state of a freshly opened window.
    void Reset(std::string caption = "Data Up/Down");

    // elapsedMs since the transfer began, totalBytes of the job, doneBytes so
    // far. The figures keep their 32-bit arithmetic (which overflows for jobs
    // above about 42 MB, more than a card holds) as the window always had it.
    void Update(std::uint32_t elapsedMs, std::uint32_t totalBytes, std::uint32_t doneBytes);

    // The jobs retitle the window as they go; the figures stay.
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    const std::string& Caption() const { return caption_; }
    const std::string& SizeLabel() const { return sizeLabel_; }
    const std::string& RateLabel() const { return rateLabel_; }
    const std::string& ElapsedLabel() const { return elapsedLabel_; }
    const std::string& EstimateLabel() const { return estimateLabel_; }
    const std::string& Size() const { return size_; }
    const std::string& Rate() const { return rate_; }
    const std::string& Elapsed() const { return elapsed_; }
    // Expected duration of the whole job, not the time left.
    const std::string& Estimate() const { return estimate_; }
    const std::string& Percentage() const { return percentage_; }
    int Position() const { return position_; }  // 0..100
    const std::string& CancelText() const { return cancelText_; }

private:
    std::string caption_;
    std::string sizeLabel_;
    std::string rateLabel_;
    std::string elapsedLabel_;
    std::string estimateLabel_;
    std::string size_;
    std::string rate_;
    std::string elapsed_;
    std::string estimate_;
    std::string percentage_;
    int position_ = 0;
    std::string cancelText_;
};

// One line for a terminal, e.g.
// "DownLoad - MsgA001.mxd  [#####     ]  50%  File Size : 2,000K  ..."
// No bar when barWidth <= 0.
std::string FormatProgressLine(const TransferProgressModel& model, int barWidth);

}  // namespace murmex
