// Deletes the selected messages: removes each slot, frees its blocks, and
// writes the system area back at the end.
#pragma once

#include <cstdint>
#include <vector>

#include "JobRun.h"

namespace murmex {

class DeleteJob {
public:
    // selection: item data (folder × 65536 + slot) in list order. Removing a
    // slot moves the later ones of its folder down, so the job renumbers the
    // rest of the selection as it goes; Selection() shows the result.
    DeleteJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd, std::vector<std::uint32_t> selection);
    JobOutcome Run();
    const std::vector<std::uint32_t>& Selection() const { return selection_; }

private:
    bool DeleteOne(std::size_t index, std::uint64_t& done);
    void RenumberAfter(std::size_t index);

    JobRun run_;
    std::vector<std::uint32_t> selection_;
};

}  // namespace murmex
