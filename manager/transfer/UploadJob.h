// Copies PC files onto the card, one new message each: files in the card's
// native format become voice messages, every other file a data message that
// keeps its name. The system area is written back after each file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "JobRun.h"

namespace murmex {

class UploadJob {
public:
    // The folder box's selection: 0 is "All" (the first folder with room),
    // s > 0 is folder s - 1.
    static constexpr std::uint32_t kAllFolders = 0;

    UploadJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd, std::vector<std::string> paths,
              std::uint32_t folderSelection, NativeFileConverter* converter = nullptr);
    JobOutcome Run();

private:
    enum class Step { Next, Stop };
    struct Source;
    Step UploadOne(const std::string& path);
    bool OpenSource(const std::string& path, Source& source);
    std::optional<std::uint32_t> ChooseFolder();
    void WritePieces(Source& source, MessageCursor& cursor);

    JobRun run_;
    std::vector<std::string> paths_;
    std::uint32_t folderSelection_;
    std::uint32_t searchStart_ = 0;
    NativeFileConverter* converter_;
    std::uint64_t total_ = 0;
    std::uint64_t finished_ = 0;
};

}  // namespace murmex
