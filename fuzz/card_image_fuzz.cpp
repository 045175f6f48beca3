// Fuzzes everything the manager does with a card it is handed: detection and
// mount, the folder and slot queries, reading messages the way a download
// does, and a delete with its write-back, then a mount of what that left.
//
// Input: one control byte, then the first bytes of a card image. Control
// bits 0-1 pick the card size (4, 8, 16 or 32 MB; the rest of the image
// reads as zeros), bit 2 answers the SP/LP question of unmarked cards.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "CCardDevice.h"
#include "CRecorder.h"
#include "CardFormatter.h"
#include "DeleteJob.h"
#include "FuzzSupport.h"
#include "JobFrontEnd.h"
#include "VariantTable.h"

namespace murmex {
namespace {

constexpr int kCardMegabytes[] = {4, 8, 16, 32};
constexpr std::uint32_t kPieceBytes = 32768;
// Bounds that keep one run short whatever the card claims.
constexpr std::uint32_t kPiecesPerMessage = 3;
constexpr std::uint64_t kReadBudget = 4u << 20;
constexpr std::size_t kMessagesToDelete = 3;
constexpr std::uint32_t kMaxBlocksToDelete = 16;

class Answer : public TwoModeQuestion {
public:
    explicit Answer(bool yes) : yes_(yes) {}
    bool HasTwoRecordModes() override { return yes_; }

private:
    bool yes_;
};

class QuietFrontEnd : public JobFrontEnd {
public:
    bool AskYesNo(const std::string&) override { return false; }
    void ShowMessage(const std::string&) override {}
    void SetCaption(const std::string&) override {}
    void ShowProgress(std::uint32_t, std::uint32_t, std::uint32_t) override {}
    void EndJob(std::uint32_t) override {}
};

[[noreturn]] void Broken(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Reads the start of a message in the download job's pieces.
void ReadStart(CRecorder& recorder, BlockDevice& device, const MessageInfo& info, std::uint64_t& budget) {
    MessageCursor cursor;
    if (!recorder.OpenMessage(info.folder, info.slot, device, cursor)) return;
    std::vector<std::uint8_t> piece(kPieceBytes);
    std::uint32_t done = 0;
    for (std::uint32_t n = 0; n < kPiecesPerMessage && done < info.length && budget > 0; ++n) {
        const std::uint32_t want = n == 0 ? std::min(recorder.Store().RemainingInBlock(cursor.firstAddress, 0), info.length)
                                          : std::min(kPieceBytes, info.length - done);
        if (want == 0 || want > piece.size() || !recorder.ReadMessage(piece, want, 1, cursor)) return;
        if (cursor.position != done + want) Broken("cursor position after a read");
        done += want;
        budget -= std::min<std::uint64_t>(budget, want);
    }
}

// Describes every slot of every folder; returns the messages found.
std::vector<MessageInfo> ListEverything(CRecorder& recorder) {
    std::vector<MessageInfo> found;
    (void)recorder.GetTotalMessages();
    (void)recorder.GetFreeBytes();
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f) {
        if (recorder.GetMessageCount(f) > recorder.Store().GetSlotCount(f)) Broken("more messages than slots");
        for (std::uint32_t slot = 0; slot < recorder.Store().GetSlotCount(f); ++slot) {
            const std::string name = recorder.Store().GetMessageFileName(f, slot);
            // The name becomes a file in the PC folder: one path component.
            if (name.size() < 3 || name.find('/') != std::string::npos) Broken("message file name");
            (void)recorder.GetRecordKind(f, slot);
            (void)recorder.Store().GetFirstBlockAddress(f, slot);
            MessageInfo info;
            if (recorder.GetMessageInfo(f, slot, info)) found.push_back(info);
        }
    }
    return found;
}

bool SmallEnoughToDelete(const CRecorder& recorder, const MessageInfo& info) {
    const CardLayout* layout = recorder.Store().CurrentLayout();
    const std::uint32_t s = layout->GetBlockSize();
    const std::uint32_t first = recorder.Store().GetFirstBlockAddress(info.folder, info.slot) / s;
    return info.length / s < kMaxBlocksToDelete && layout->ChainLength(first, 0xFFFF) < kMaxBlocksToDelete;
}

int MountAndList(CCardDevice& device, const std::string& path, bool twoModes, std::unique_ptr<CRecorder>& recorder,
                 std::vector<MessageInfo>& found) {
    // Each connect starts with 16384-byte blocks, as the bridge does.
    if (!device.ConnectImage(path)) return 0;
    recorder = std::make_unique<CRecorder>();
    Answer answer(twoModes);
    if (!recorder->Store().Mount(device, answer)) return 0;
    found = ListEverything(*recorder);
    return 1;
}

[[noreturn]] void SeedFailed(const VariantDescriptor& v, const char* what) {
    std::fprintf(stderr, "seed for %s: %s failed\n", VariantCodeText(v.code).c_str(), what);
    std::exit(1);
}

// Seeds: the start of freshly formatted cards of every variant with a few
// messages on them, as far as their last block.
void WriteSeeds(const std::string& folder) {
    const std::string& path = fuzz::ScratchFile(".seed.tmf");
    for (const VariantDescriptor& v : AllVariants()) {
        if (!fuzz::WriteWholeFile(path, nullptr, 0) || ::truncate(path.c_str(), v.ImageBytes()) != 0)
            SeedFailed(v, "making the image");
        CCardDevice device;
        device.SetCardImageMode(true);
        if (!device.ConnectImage(path) || !FormatCard(device, v, {}).empty()) SeedFailed(v, "formatting");
        CRecorder recorder;
        Answer answer(true);
        if (!device.ConnectImage(path) || !recorder.Store().Mount(device, answer)) SeedFailed(v, "mounting");
        struct Message {
            std::uint32_t folder;
            std::uint8_t type;
            std::vector<std::uint8_t> data;
        };
        std::vector<std::uint8_t> named = {15, 0, 0, 0, 'r', 'e', 'p', 'o', 'r', 't', '.', 'd', 'o', 'c', 0};
        named.resize(300, 'x');
        const Message messages[] = {{0, 0, std::vector<std::uint8_t>(v.blockSize + 100, 0x5A)},
                                    {0, 0x80, named},
                                    {1, 1, std::vector<std::uint8_t>(700, 0x33)}};
        std::uint32_t lastBlock = 0;
        for (const Message& m : messages) {
            MessageInfo info;
            info.type = m.type;
            info.length = static_cast<std::uint32_t>(m.data.size());
            info.stamp = {24, 5, 6, 7, 8, 9};
            MessageCursor cursor;
            if (!recorder.CreateMessage(m.folder, info) || !recorder.OpenMessage(m.folder, info.slot, device, cursor) ||
                !recorder.WriteMessage(m.data, info.length, 1, cursor))
                SeedFailed(v, "making a message");
            lastBlock = std::max(lastBlock, recorder.Store().SeekBlock(cursor.firstAddress, info.length - 1) / v.blockSize);
        }
        if (!recorder.Store().WriteBack()) SeedFailed(v, "writing back");

        const std::size_t bytes = std::size_t{lastBlock + 1} * v.blockSize;
        std::vector<std::uint8_t> seed(1 + bytes);
        const auto size = std::find(std::begin(kCardMegabytes), std::end(kCardMegabytes), v.cardMegabytes);
        seed[0] = static_cast<std::uint8_t>((size - std::begin(kCardMegabytes)) | 4);
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::pread(fd, seed.data() + 1, bytes, 0) != static_cast<ssize_t>(bytes)) SeedFailed(v, "reading");
        ::close(fd);
        fuzz::WriteSeed(folder, VariantCodeText(v.code), seed);
        if (!v.IsDvr()) {
            // The same card without its format marker asks the SP/LP question.
            seed[1 + 16] = 0xFF;
            fuzz::WriteSeed(folder, VariantCodeText(v.code) + "-unmarked", seed);
        }
    }
}

}  // namespace
}  // namespace murmex

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(murmex::WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    if (size < 1) return 0;
    const std::uint64_t cardBytes = std::uint64_t{static_cast<std::uint32_t>(kCardMegabytes[data[0] & 3])} << 20;
    const bool twoModes = (data[0] & 4) != 0;
    const std::string& path = fuzz::ScratchFile(".tmf");
    const std::size_t imageBytes = std::min<std::size_t>(size - 1, cardBytes);
    if (!fuzz::WriteWholeFile(path, data + 1, imageBytes) || ::truncate(path.c_str(), static_cast<off_t>(cardBytes)) != 0)
        std::abort();

    CCardDevice device;
    device.SetCardImageMode(true);
    std::unique_ptr<CRecorder> recorder;
    std::vector<MessageInfo> found;
    if (!MountAndList(device, path, twoModes, recorder, found)) return 0;

    std::uint64_t budget = kReadBudget;
    for (const MessageInfo& info : found) ReadStart(*recorder, device, info, budget);

    std::vector<std::uint32_t> doomed;
    for (const MessageInfo& info : found)
        if (doomed.size() < kMessagesToDelete && SmallEnoughToDelete(*recorder, info))
            doomed.push_back(ItemData(info.folder, info.slot));
    QuietFrontEnd frontEnd;
    DeleteJob(*recorder, device, frontEnd, doomed).Run();
    (void)recorder->Store().WriteBack();

    // What the delete and the write-back left must mount as safely.
    if (MountAndList(device, path, twoModes, recorder, found)) {
        budget = kReadBudget / 4;
        for (const MessageInfo& info : found) ReadStart(*recorder, device, info, budget);
    }
    return 0;
}
