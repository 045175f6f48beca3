#include "DeleteJob.h"

#include <algorithm>

#include "TransferMessages.h"

namespace murmex {

using namespace transfer_text;

DeleteJob::DeleteJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd,
                     std::vector<std::uint32_t> selection)
    : run_(recorder, device, frontEnd), selection_(std::move(selection)) {}

JobOutcome DeleteJob::Run() {
    run_.FrontEnd().SetCaption("Delete");
    std::uint64_t total = 0;
    for (std::uint32_t item : selection_) {
        MessageInfo info;
        if (!run_.Recorder().GetMessageInfo(ItemFolder(item), ItemSlot(item), info)) {
            run_.Error(Format(kNoFileInformation, run_.FolderName(ItemFolder(item)).c_str(),
                              static_cast<int>(ItemSlot(item) + 1)));
            break;
        }
        total += info.length;
    }
    run_.Start(total);
    std::uint64_t done = 0;
    for (std::size_t i = 0; i < selection_.size(); ++i) {
        if (run_.Cancelled() || !DeleteOne(i, done)) break;
        RenumberAfter(i);
    }
    // Written back whatever stopped the run: the blocks freed so far are
    // already erased, and a directory that still listed them would hand
    // their erased contents out as messages.
    if (!run_.Recorder().Store().WriteBack()) run_.DeviceError(kCannotUpdateSystemArea);
    return run_.Finish(kNotifyRecorderListChanged);
}

// False when the job must stop.
bool DeleteJob::DeleteOne(std::size_t index, std::uint64_t& done) {
    CRecorder& recorder = run_.Recorder();
    const std::uint32_t folder = ItemFolder(selection_[index]);
    const std::uint32_t slot = ItemSlot(selection_[index]);
    MessageCursor cursor;
    MessageInfo info;
    if (!recorder.OpenMessage(folder, slot, run_.Device(), cursor) || !recorder.GetMessageInfo(folder, slot, info)) {
        run_.Error(Format(kNoFileInformation, run_.FolderName(folder).c_str(), static_cast<int>(slot + 1)));
        return false;
    }
    run_.FrontEnd().SetCaption("Delete - " + info.fileName);
    const std::uint32_t blockSize = recorder.Store().GetBlockSize();
    std::uint64_t freed = 0;
    std::uint32_t failedAddress = 0;
    const bool ok = recorder.DeleteMessage(cursor, info, [&](std::uint32_t) {
        freed = std::min<std::uint64_t>(info.length, freed + blockSize);
        run_.Progress(done + freed);
    }, failedAddress);
    // A block that cannot be freed ends this message's freeing; its slot is
    // gone already, so the run goes on.
    if (!ok) run_.DeviceError(Format(kCannotWrite, static_cast<unsigned>(failedAddress)));
    done += info.length;
    return true;
}

void DeleteJob::RenumberAfter(std::size_t index) {
    const std::uint32_t folder = ItemFolder(selection_[index]);
    const std::uint32_t slot = ItemSlot(selection_[index]);
    for (std::size_t j = index + 1; j < selection_.size(); ++j)
        if (ItemFolder(selection_[j]) == folder && ItemSlot(selection_[j]) > slot) --selection_[j];
}

}  // namespace murmex
