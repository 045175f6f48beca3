#include "UploadJob.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "ByteOrder.h"
#include "PcFile.h"
#include "TransferMessages.h"

namespace murmex {

using namespace transfer_text;

namespace {

constexpr std::uint32_t kPieceBytes = 32768;
constexpr const char* kConversionSuffix = "mxptmpwav.tmp";

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The prefix that keeps a data message's PC file name: its own length
// (4 + name + NUL) little-endian, the name, a NUL.
std::vector<std::uint8_t> NamePrefix(const std::string& name) {
    std::vector<std::uint8_t> prefix(4 + name.size() + 1, 0);
    WriteLE32(prefix, 0, static_cast<std::uint32_t>(prefix.size()));
    std::memcpy(prefix.data() + 4, name.data(), name.size());
    return prefix;
}

}  // namespace

struct UploadJob::Source {
    // A job that stops after converting must not leave the copy behind.
    ~Source() {
        file.reset();
        if (!temporaryPath.empty()) std::remove(temporaryPath.c_str());
    }

    std::string path;
    std::string name;
    std::uint64_t fileLength = 0;
    FilePtr file;
    std::string temporaryPath;  // the converted copy, removed when done
    std::vector<std::uint8_t> prefix;
    MessageInfo info;
};

UploadJob::UploadJob(CRecorder& recorder, BlockDevice& device, JobFrontEnd& frontEnd, std::vector<std::string> paths,
                     std::uint32_t folderSelection, NativeFileConverter* converter)
    : run_(recorder, device, frontEnd),
      paths_(std::move(paths)),
      folderSelection_(folderSelection),
      converter_(converter) {}

JobOutcome UploadJob::Run() {
    run_.FrontEnd().SetCaption("UpLoad");
    for (const std::string& path : paths_)
        if (const auto length = FileLength(path)) total_ += *length;
    run_.Start(total_);
    for (const std::string& path : paths_) {
        if (run_.Cancelled()) break;
        if (!IsRegularFile(path)) continue;
        if (UploadOne(path) == Step::Stop) break;
    }
    return run_.Finish(kNotifyRecorderListChanged);
}

// Opens the file and works out the message it makes: type, length, prefix.
bool UploadJob::OpenSource(const std::string& path, Source& s) {
    CMessageStore& store = run_.Recorder().Store();
    const std::string extension = LowerExtension(s.name);
    const bool native = extension == store.GetDefaultExtension();
    s.file.reset(std::fopen(path.c_str(), "rb"));
    if (!s.file) {
        run_.Error(Format(kCannotReadPcFile, path.c_str()));
        return false;
    }
    if (!native) {
        s.prefix = NamePrefix(s.name);
        const std::uint64_t length = s.prefix.size() + s.fileLength;
        // Longer than any card: creation then fails with the free space shown.
        s.info.length = length > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(length);
        s.info.type = 0x80;
        return true;
    }
    if (auto header = store.ReadFileHeader(s.file.get())) {
        s.info.type = header->type;
        s.info.length = header->length;
        return true;
    }
    if (extension == "wav" && converter_) {
        // A WAV of another format is converted to the card's speech format first.
        s.file.reset();
        s.temporaryPath = path + kConversionSuffix;
        if (converter_->Convert(path, s.temporaryPath)) {
            s.file.reset(std::fopen(s.temporaryPath.c_str(), "rb"));
            if (s.file) {
                if (auto header = store.ReadFileHeader(s.file.get())) {
                    s.info.type = header->type;
                    s.info.length = header->length;
                    total_ += header->length;
                    total_ -= std::min<std::uint64_t>(total_, s.fileLength);
                    run_.SetTotal(total_);
                    s.fileLength = header->length;
                    return true;
                }
            }
        }
        s.file.reset();
        std::remove(s.temporaryPath.c_str());
        s.temporaryPath.clear();
    }
    run_.Error(Format(kTypeMismatch, path.c_str()));
    return false;
}

// The target folder: the fixed one, or with "All" the first with room from
// where the last search ended. The picture folder only takes the recorder's own.
std::optional<std::uint32_t> UploadJob::ChooseFolder() {
    CMessageStore& store = run_.Recorder().Store();
    auto hasRoom = [&](std::uint32_t f) { return store.GetMessageCount(f) < store.GetSlotCount(f); };
    if (folderSelection_ != kAllFolders) {
        const std::uint32_t f = folderSelection_ - 1;
        return hasRoom(f) ? std::optional(f) : std::nullopt;
    }
    const bool pictureFolder = store.GetVariant() && store.GetVariant()->pictureFolder;
    for (std::uint32_t f = searchStart_; f < store.GetFolderCount(); ++f) {
        if (pictureFolder && f == 3) continue;
        if (hasRoom(f)) {
            searchStart_ = f;
            return f;
        }
    }
    return std::nullopt;
}

UploadJob::Step UploadJob::UploadOne(const std::string& path) {
    CRecorder& recorder = run_.Recorder();
    Source source;
    source.path = path;
    source.name = BaseName(path);
    source.fileLength = FileLength(path).value_or(0);
    source.info.stamp = LastWriteStamp(path);
    auto countAsDone = [&] {
        finished_ += source.fileLength;
        run_.Progress(finished_);
    };
    if (!OpenSource(path, source)) {
        countAsDone();
        return Step::Next;
    }
    const auto folder = ChooseFolder();
    if (!folder) {
        run_.Error(kOutOfMessage);
        return Step::Stop;
    }
    if (!recorder.CreateMessage(*folder, source.info)) {
        run_.Error(Format(kCannotMakeFileInformation, run_.FolderName(*folder).c_str(),
                          static_cast<int>(recorder.GetFreeBytes() / 1024)));
        return Step::Stop;
    }
    MessageCursor cursor;
    if (!recorder.OpenMessage(*folder, source.info.slot, run_.Device(), cursor)) {
        run_.Error(Format(kNoFileInformation, run_.FolderName(*folder).c_str(), static_cast<int>(source.info.slot + 1)));
        return Step::Stop;
    }
    run_.FrontEnd().SetCaption("UpLoad - " + source.info.fileName);
    WritePieces(source, cursor);
    if (!recorder.Store().WriteBack()) {
        run_.DeviceError(kCannotUpdateSystemArea);
        return Step::Stop;
    }
    source.file.reset();
    countAsDone();
    return Step::Next;
}

// Writes the message piece by piece. After a cancel (or a PC file that
// came up short) the rest is only allocated, so the chain still reaches the
// length recorded at creation.
void UploadJob::WritePieces(Source& s, MessageCursor& cursor) {
    CRecorder& recorder = run_.Recorder();
    const std::uint32_t length = s.info.length;
    const std::uint32_t prefixBytes = static_cast<std::uint32_t>(s.prefix.size());
    std::vector<std::uint8_t> piece(kPieceBytes);
    bool allocateOnly = false;
    std::uint32_t written = 0;
    bool first = true;
    while (written < length) {
        const std::uint32_t n = first ? std::min(recorder.Store().ExtendRemaining(cursor.firstAddress, 0), length)
                                      : std::min(kPieceBytes, length - written);
        if (!allocateOnly && run_.Cancelled()) allocateOnly = true;
        if (!allocateOnly) {
            std::uint32_t at = 0;
            if (first) {
                at = std::min(prefixBytes, n);
                std::copy_n(s.prefix.begin(), at, piece.begin());
            }
            if (std::fread(piece.data() + at, 1, n - at, s.file.get()) != n - at) {
                run_.Error(Format(kCannotReadPcFile, s.path.c_str()));
                allocateOnly = true;
            }
        }
        const bool ok = n != 0 && (allocateOnly ? recorder.SkipMessage(n, 1, cursor)
                                                : recorder.WriteMessage(piece, n, 1, cursor));
        if (!ok) {
            run_.DeviceError(Format(kCannotWrite, static_cast<unsigned>(cursor.position)));
            return;
        }
        written += n;
        first = false;
        run_.Progress(finished_ + written - std::min(written, prefixBytes));
    }
}

}  // namespace murmex
