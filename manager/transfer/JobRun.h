// Bookkeeping every transfer job shares: the front end, the start time, the
// running total and done count, and error reports in the suite's form
// (the device's error text, a line break, the message).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "BlockDevice.h"
#include "CRecorder.h"
#include "JobFrontEnd.h"

namespace murmex {

class JobRun {
public:
    JobRun(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd)
        : recorder_(recorder), device_(device), frontEnd_(frontEnd) {}

    CRecorder& Recorder() { return recorder_; }
    BlockDevice& Device() { return device_; }
    JobFrontEnd& FrontEnd() { return frontEnd_; }

    bool Cancelled() {
        if (recorder_.CancelFlag().load() != 0) outcome_.cancelled = true;
        return outcome_.cancelled;
    }
    void Start(std::uint64_t total);
    // A total that changes on the way (a converted file is longer or shorter).
    void SetTotal(std::uint64_t total) { total_ = total; }
    void Progress(std::uint64_t done);
    void Error(const std::string& message);
    void DeviceError(const std::string& message) { Error(device_.GetErrorText() + "\n" + message); }
    std::string FolderName(std::uint32_t folder) const { return recorder_.GetFolderName(folder); }
    JobOutcome Finish(std::uint32_t notification);

private:
    CRecorder& recorder_;
    BlockDevice& device_;
    JobFrontEnd& frontEnd_;
    std::chrono::steady_clock::time_point start_{};
    std::uint64_t total_ = 0;
    JobOutcome outcome_;
};

// The figures travel as 32-bit numbers, as the progress window takes them.
inline std::uint32_t Clamp32(std::uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v); }

}  // namespace murmex
