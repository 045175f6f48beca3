#include "Commands.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <sstream>
#include <thread>

#include "CardFormatter.h"
#include "CardSession.h"
#include "DeleteJob.h"
#include "DownloadJob.h"
#include "Listing.h"
#include "PcFile.h"
#include "UploadJob.h"
#include "Interrupts.h"
#include "VariantTable.h"

namespace murmex::cli {

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

// Runs a job on a worker thread, as the manager does, with Ctrl+C wired to
// its cancel flag.
template <class Job>
int RunJob(CRecorder& recorder, Job& job) {
    recorder.CancelFlag() = 0;
    InterruptCancelsJob interrupts(recorder.CancelFlag());
    JobOutcome outcome;
    std::thread worker([&] { outcome = job.Run(); });
    worker.join();
    if (outcome.errors) return kFailed;
    return outcome.cancelled ? 130 : kOk;
}

// Everything a verb on a card needs; Open() reports and gives the exit status.
struct Card {
    explicit Card(const Options& o) : frontEnd(o.answer, o.twoModes) {}
    int Open(const Options& o) {
        if (o.image.has_value() == o.bridge) {
            std::cerr << "murmex: " << o.verb << " needs either --image FILE or --bridge\n" << kUsageText;
            return kUsageError;
        }
        try {
            session = std::make_unique<CardSession>(o.image, frontEnd);
        } catch (const Unanswered& u) {
            frontEnd.Error(u.question);
            return kUsageError;
        }
        if (!session->Connected()) {
            frontEnd.Error(session->Error());
            return kFailed;
        }
        return kOk;
    }
    CRecorder& Recorder() { return session->Recorder(); }

    TerminalFrontEnd frontEnd;
    std::unique_ptr<CardSession> session;
};

int ReportUnreadable(TerminalFrontEnd& frontEnd, const Listed& listed) {
    for (const auto& text : listed.unreadable) frontEnd.Error(text);
    return listed.unreadable.empty() ? kOk : kFailed;
}

// The selection a MSG list names, in list order; every message when empty.
std::optional<std::vector<std::uint32_t>> Select(Card& card, const std::vector<std::string>& operands) {
    const Listed listed = ListMessages(card.Recorder(), std::nullopt);
    std::vector<std::uint32_t> items;
    if (operands.empty()) {
        for (const auto& m : listed.messages) items.push_back(ItemData(m.folder, m.slot));
        return items;
    }
    for (const auto& operand : operands) {
        const Resolved r = ResolveMessage(card.Recorder(), listed.messages, operand);
        if (!r.item) {
            card.frontEnd.Error(r.error);
            return std::nullopt;
        }
        if (std::find(items.begin(), items.end(), *r.item) == items.end()) items.push_back(*r.item);
    }
    // The list visits its selection in index order: folder, then slot.
    std::sort(items.begin(), items.end());
    return items;
}

}  // namespace

int RunInfo(const Options& o) {
    Card card(o);
    if (int status = card.Open(o)) return status;
    std::cout << InfoText(card.Recorder(), o.json);
    return kOk;
}

int RunList(const Options& o) {
    Card card(o);
    if (int status = card.Open(o)) return status;
    std::optional<std::uint32_t> folder;
    if (o.folder) {
        folder = FindFolder(card.Recorder(), *o.folder);
        if (!folder) {
            card.frontEnd.Error("no folder named " + *o.folder);
            return kUsageError;
        }
    }
    const Listed listed = ListMessages(card.Recorder(), folder);
    std::cout << (o.json ? ListingJson(card.Recorder(), listed.messages) : TableText(card.Recorder(), listed.messages));
    return ReportUnreadable(card.frontEnd, listed);
}

int RunGet(const Options& o) {
    Card card(o);
    if (int status = card.Open(o)) return status;
    const auto selection = Select(card, o.operands);
    if (!selection) return kUsageError;
    std::error_code ec;
    std::filesystem::create_directories(o.outputDir, ec);
    if (!std::filesystem::is_directory(o.outputDir)) {
        card.frontEnd.Error("cannot use " + o.outputDir + " as the output folder");
        return kFailed;
    }
    std::string folder = o.outputDir;
    if (folder.back() != '/') folder += '/';
    DownloadJob job(card.Recorder(), card.session->Device(), card.frontEnd, *selection, folder);
    return RunJob(card.Recorder(), job);
}

int RunPut(const Options& o) {
    if (o.operands.empty()) {
        std::cerr << "murmex: put needs at least one FILE\n" << kUsageText;
        return kUsageError;
    }
    for (const auto& path : o.operands)
        if (!IsRegularFile(path)) {
            std::cerr << "murmex: not a file: " << path << "\n";
            return kUsageError;
        }
    Card card(o);
    if (int status = card.Open(o)) return status;
    std::uint32_t folderSelection = UploadJob::kAllFolders;
    if (o.folder && *o.folder != "All" && *o.folder != "all") {
        const auto folder = FindFolder(card.Recorder(), *o.folder);
        if (!folder) {
            card.frontEnd.Error("no folder named " + *o.folder);
            return kUsageError;
        }
        folderSelection = *folder + 1;
    }
    UploadJob job(card.Recorder(), card.session->Device(), card.frontEnd, o.operands, folderSelection);
    return RunJob(card.Recorder(), job);
}

int RunRemove(const Options& o) {
    if (o.operands.empty()) {
        std::cerr << "murmex: rm needs at least one MSG\n" << kUsageText;
        return kUsageError;
    }
    Card card(o);
    if (int status = card.Open(o)) return status;
    const auto selection = Select(card, o.operands);
    if (!selection) return kUsageError;
    DeleteJob job(card.Recorder(), card.session->Device(), card.frontEnd, *selection);
    return RunJob(card.Recorder(), job);
}

int RunFormat(const Options& o) {
    if (o.operands.size() != 1 || !o.variant) {
        std::cerr << "murmex: format needs FILE and --variant 0xFF0000XY\n" << kUsageText;
        return kUsageError;
    }
    const auto code = ParseVariantCode(*o.variant);
    if (!code) {
        std::cerr << "murmex: unknown variant " << *o.variant << "; one of:";
        for (const auto& v : AllVariants()) std::cerr << " " << VariantCodeText(v.code);
        std::cerr << "\n";
        return kUsageError;
    }
    const VariantDescriptor& variant = *FindVariant(*code);
    FormatOptions options;
    options.withoutMarker = o.unmarked;
    if (o.unmarked && variant.IsDvr()) {
        std::cerr << "murmex: --unmarked is for the marker-format variants only\n";
        return kUsageError;
    }
    if (o.badBlocks) {
        std::stringstream list(*o.badBlocks);
        for (std::string item; std::getline(list, item, ',');) {
            char* end = nullptr;
            const unsigned long block = std::strtoul(item.c_str(), &end, 0);
            if (item.empty() || *end != '\0' || block > 0xFFFE) {
                std::cerr << "murmex: bad block '" << item << "' is not a block number\n";
                return kUsageError;
            }
            options.badBlocks.push_back(static_cast<std::uint16_t>(block));
        }
    }
    const std::string& path = o.operands[0];
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (o.force ? O_TRUNC : O_EXCL), 0644);
    if (fd < 0) {
        std::cerr << "murmex: cannot create " << path << (errno == EEXIST ? ": it exists (use --force to overwrite)" : "")
                  << "\n";
        return kFailed;
    }
    const bool sized = ::ftruncate(fd, variant.ImageBytes()) == 0;
    ::close(fd);
    if (!sized) {
        std::cerr << "murmex: cannot size " << path << "\n";
        return kFailed;
    }
    CCardDevice device;
    device.SetCardImageMode(true);
    if (!device.ConnectImage(path)) {
        std::cerr << "murmex: " << device.GetErrorText() << "\n";
        return kFailed;
    }
    const std::string error = FormatCard(device, variant, options);
    if (!error.empty()) {
        std::cerr << "murmex: " << error << "\n";
        std::remove(path.c_str());
        return error.find("bad block") != std::string::npos ? kUsageError : kFailed;
    }
    return kOk;
}

}  // namespace murmex::cli
