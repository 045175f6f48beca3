#include "DownloadJob.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "ByteOrder.h"
#include "PcFile.h"
#include "TransferMessages.h"

namespace murmex {

using namespace transfer_text;

namespace {

constexpr std::uint32_t kPieceBytes = 32768;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

DownloadJob::DownloadJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd,
                         std::vector<std::uint32_t> selection, std::string pcFolder)
    : run_(recorder, device, frontEnd), selection_(std::move(selection)), pcFolder_(std::move(pcFolder)) {}

JobOutcome DownloadJob::Run() {
    run_.FrontEnd().SetCaption("DownLoad");
    std::uint64_t total = 0;
    for (std::uint32_t item : selection_) {
        MessageInfo info;
        if (!run_.Recorder().GetMessageInfo(ItemFolder(item), ItemSlot(item), info)) break;
        total += info.length;
    }
    run_.Start(total);
    std::uint64_t done = 0;
    for (std::uint32_t item : selection_) {
        if (run_.Cancelled()) break;
        if (DownloadOne(ItemFolder(item), ItemSlot(item), done) == Step::Stop) break;
    }
    return run_.Finish(kNotifyFileListChanged);
}

DownloadJob::Step DownloadJob::DownloadOne(std::uint32_t folder, std::uint32_t slot, std::uint64_t& done) {
    CRecorder& recorder = run_.Recorder();
    MessageCursor cursor;
    MessageInfo info;
    if (!recorder.OpenMessage(folder, slot, run_.Device(), cursor) || !recorder.GetMessageInfo(folder, slot, info)) {
        run_.Error(Format(kNoFileInformation, run_.FolderName(folder).c_str(), static_cast<int>(slot + 1)));
        return Step::Stop;
    }
    const std::string path = pcFolder_ + info.fileName;
    run_.FrontEnd().SetCaption("DownLoad - " + info.fileName);
    if (IsRegularFile(path) && !run_.FrontEnd().AskYesNo(Format(kReplaceQuestion, path.c_str()))) {
        done += info.length;
        run_.Progress(done);
        return Step::Next;
    }
    FilePtr file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        // The file is passed over, but not in silence.
        run_.Error(Format(kCannotCreatePcFile, path.c_str()));
        done += info.length;
        return Step::Next;
    }
    if (LowerExtension(info.fileName) == recorder.Store().GetDefaultExtension() && !(info.type & 0x80) &&
        !recorder.Store().WriteFileHeader(info.type, info.length, file.get())) {
        run_.Error(Format(kCannotWritePcFile, path.c_str()));
        return Step::Stop;
    }
    const Step step = CopyMessage(info, cursor, file.get(), path, done);
    const bool closed = std::fclose(file.release()) == 0;
    if (!closed && step == Step::Next) {
        run_.Error(Format(kCannotWritePcFile, path.c_str()));
        return Step::Stop;
    }
    if (step == Step::Next) SetFileTimesFromStamp(path, info.stamp);
    return step;
}

DownloadJob::Step DownloadJob::CopyMessage(const MessageInfo& info, MessageCursor& cursor, std::FILE* file,
                                           const std::string& path, std::uint64_t& done) {
    CRecorder& recorder = run_.Recorder();
    std::vector<std::uint8_t> piece(kPieceBytes);
    std::uint32_t copied = 0;
    bool first = true;
    while (copied < info.length) {
        if (run_.Cancelled()) return Step::Stop;
        const std::uint32_t want = first ? std::min(recorder.Store().RemainingInBlock(cursor.firstAddress, 0), info.length)
                                         : std::min(kPieceBytes, info.length - copied);
        if (want == 0 || !recorder.ReadMessage(piece, want, 1, cursor)) {
            run_.DeviceError(Format(kCannotRead, static_cast<unsigned>(cursor.position)));
            return Step::Stop;
        }
        std::uint32_t skip = 0;
        if (first && (info.type & 0x80) && want >= 4) {
            // A data message begins with the PC file's name; the file gets only its bytes.
            skip = std::min(ReadLE32(piece, 0), want);
        }
        if (std::fwrite(piece.data() + skip, 1, want - skip, file) != want - skip) {
            run_.Error(Format(kCannotWritePcFile, path.c_str()));
            return Step::Stop;
        }
        copied += want;
        done += want;
        first = false;
        run_.Progress(done);
    }
    return Step::Next;
}

}  // namespace murmex
