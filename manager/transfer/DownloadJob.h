// Copies the selected messages off the card into files in a PC folder,
// named after their slots, with the native header for voice messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "JobRun.h"

namespace murmex {

class DownloadJob {
public:
    // selection: item data (folder × 65536 + slot) in list order;
    // pcFolder: the target folder, ending in '/'.
    DownloadJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd, std::vector<std::uint32_t> selection,
                std::string pcFolder);
    JobOutcome Run();

private:
    enum class Step { Next, Stop };
    Step DownloadOne(std::uint32_t folder, std::uint32_t slot, std::uint64_t& done);
    Step CopyMessage(const MessageInfo& info, MessageCursor& cursor, std::FILE* file, const std::string& path,
                     std::uint64_t& done);

    JobRun run_;
    std::vector<std::uint32_t> selection_;
    std::string pcFolder_;
};

}  // namespace murmex
