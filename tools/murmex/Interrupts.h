// Ctrl+C during a job: the first sets the job's cancel flag, as the Cancel
// button does; a second ends the program at once.
#pragma once

#include <signal.h>

#include <atomic>

namespace murmex::cli {

class InterruptCancelsJob {
public:
    explicit InterruptCancelsJob(std::atomic<int>& flag);
    ~InterruptCancelsJob();
    InterruptCancelsJob(const InterruptCancelsJob&) = delete;
    InterruptCancelsJob& operator=(const InterruptCancelsJob&) = delete;

private:
    struct sigaction previous_ {};
};

}  // namespace murmex::cli
