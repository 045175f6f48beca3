#include "JobRun.h"

namespace murmex {

void JobRun::Start(std::uint64_t total) {
    total_ = total;
    frontEnd_.ShowProgress(0, Clamp32(total_), 0);
    start_ = std::chrono::steady_clock::now();
}

void JobRun::Progress(std::uint64_t done) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
    frontEnd_.ShowProgress(Clamp32(static_cast<std::uint64_t>(elapsed.count())), Clamp32(total_), Clamp32(done));
}

void JobRun::Error(const std::string& message) {
    outcome_.errors = true;
    frontEnd_.ShowMessage(message);
}

JobOutcome JobRun::Finish(std::uint32_t notification) {
    frontEnd_.EndJob(notification);
    return outcome_;
}

}  // namespace murmex
