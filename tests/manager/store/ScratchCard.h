// Card images for the store tests: a temporary image file of one variant,
// formatted blank, with a card-image device connected to it; raw access to
// the file's bytes to put in place what a recorder (or a damaged card) left
// there; a scripted answer to the SP/LP question; and a device wrapper that
// records every operation and can make one of them fail.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CCardDevice.h"
#include "CRecorder.h"
#include "CardFormatter.h"
#include "VariantTable.h"

namespace murmex {
// Parameters print as their code, not as bytes.
inline void PrintTo(const VariantDescriptor& v, std::ostream* os) { *os << VariantCodeText(v.code); }
}  // namespace murmex

namespace murmex::test {

// "FF000021" for test names.
inline std::string VariantName(const ::testing::TestParamInfo<VariantDescriptor>& info) {
    return VariantCodeText(info.param.code).substr(2);
}

template <class Pred>
std::vector<VariantDescriptor> VariantsWhere(Pred pred) {
    std::vector<VariantDescriptor> out;
    for (const VariantDescriptor& v : AllVariants())
        if (pred(v)) out.push_back(v);
    return out;
}

inline std::vector<VariantDescriptor> DvrVariants() {
    return VariantsWhere([](const VariantDescriptor& v) { return v.IsDvr(); });
}
inline std::vector<VariantDescriptor> MarkerVariants() {
    return VariantsWhere([](const VariantDescriptor& v) { return !v.IsDvr(); });
}

// Message data with no byte 0xFF, so a marker-format message's length (which
// ends where four erased bytes begin) is exactly what was written.
inline std::vector<std::uint8_t> Pattern(std::size_t n, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>((i * 7 + seed * 13 + i / 4096) % 251);
    return out;
}

inline std::uint16_t BE16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

inline std::vector<std::uint8_t> BE16Bytes(std::uint16_t v) {
    return {static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
}

class ScriptedAnswer : public TwoModeQuestion {
public:
    explicit ScriptedAnswer(bool yes = true) : yes_(yes) {}
    bool HasTwoRecordModes() override {
        ++asked;
        return yes_;
    }
    int asked = 0;

private:
    bool yes_;
};

// A blank card of one variant in a temporary image file.
class ScratchCard {
public:
    explicit ScratchCard(const VariantDescriptor& variant, const FormatOptions& options = {})
        : variant_(variant) {
        std::string name = (std::filesystem::temp_directory_path() / "murmex-card-XXXXXX.tmf").string();
        const int fd = ::mkstemps(name.data(), 4);
        if (fd < 0) {
            ADD_FAILURE() << "cannot create a card image in " << name;
            return;
        }
        path_ = name;
        const bool sized = ::ftruncate(fd, variant.ImageBytes()) == 0;
        ::close(fd);
        if (!sized) {
            ADD_FAILURE() << "cannot size the card image " << path_;
            return;
        }
        device_.SetCardImageMode(true);
        if (!device_.ConnectImage(path_)) ADD_FAILURE() << device_.GetErrorText();
        const std::string problem = FormatCard(device_, variant, options);
        if (!problem.empty()) ADD_FAILURE() << "formatting " << VariantCodeText(variant.code) << ": " << problem;
        Reconnect();
    }
    ~ScratchCard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    ScratchCard(const ScratchCard&) = delete;
    ScratchCard& operator=(const ScratchCard&) = delete;

    const VariantDescriptor& Variant() const { return variant_; }
    CCardDevice& Device() { return device_; }
    const std::string& Path() const { return path_; }
    std::uint32_t S() const { return variant_.blockSize; }
    std::uint64_t At(std::uint32_t block, std::uint32_t offset = 0) const {
        return std::uint64_t{block} * variant_.blockSize + offset;
    }

    // As the manager does on every connect: the device starts again with
    // 16384-byte blocks.
    void Reconnect() {
        if (!device_.ConnectImage(path_)) ADD_FAILURE() << device_.GetErrorText();
    }

    // Raw image bytes, past the device and its rules.
    std::vector<std::uint8_t> Bytes(std::uint64_t at, std::size_t n) const {
        std::vector<std::uint8_t> out(n, 0);
        const int fd = ::open(path_.c_str(), O_RDONLY);
        if (fd < 0 || ::pread(fd, out.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n))
            ADD_FAILURE() << "cannot read the card image at " << at;
        if (fd >= 0) ::close(fd);
        return out;
    }
    void Put(std::uint64_t at, std::span<const std::uint8_t> bytes) {
        const int fd = ::open(path_.c_str(), O_WRONLY);
        if (fd < 0 || ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(at)) !=
                          static_cast<ssize_t>(bytes.size()))
            ADD_FAILURE() << "cannot write the card image at " << at;
        if (fd >= 0) ::close(fd);
    }
    void Fill(std::uint64_t at, std::size_t n, std::uint8_t value) { Put(at, std::vector<std::uint8_t>(n, value)); }
    std::vector<std::uint8_t> Block(std::uint32_t block) const { return Bytes(At(block), variant_.blockSize); }
    void PutBlock(std::uint32_t block, std::span<const std::uint8_t> bytes) { Put(At(block), bytes); }
    void EraseRaw(std::uint32_t block) { Fill(At(block), variant_.blockSize, 0xFF); }
    bool BlockErased(std::uint32_t block) const {
        const auto b = Block(block);
        return std::all_of(b.begin(), b.end(), [](std::uint8_t x) { return x == 0xFF; });
    }

    // Where the system area's parts lie in the image (formatted layout:
    // system block 0 and, in the DVR format, link block 2).
    std::uint64_t DirectoryAt(std::uint32_t systemBlock = 0) const { return At(systemBlock, 512); }
    std::uint64_t BadListAt(std::uint32_t systemBlock = 0) const {
        return variant_.IsDvr() ? At(systemBlock) : 0x80;
    }
    std::uint64_t LinkEntryAt(std::uint32_t block, std::uint32_t linkBlock = 2) const {
        if (variant_.IsDvr()) return At(linkBlock, 2 * block);
        return variant_.linkTableStart + 512 * (block / 128) + 2 * (block % 128);
    }

private:
    VariantDescriptor variant_;
    std::string path_;
    CCardDevice device_;
};

// Connects afresh and mounts; the question, when asked, answers Yes.
inline ::testing::AssertionResult MountCard(CRecorder& recorder, ScratchCard& card, BlockDevice* through = nullptr) {
    card.Reconnect();
    ScriptedAnswer answer;
    if (!recorder.Store().Mount(through ? *through : card.Device(), answer))
        return ::testing::AssertionFailure() << "mount failed, code " << VariantCodeText(recorder.Store().GetVariantCode());
    if (recorder.Store().GetVariantCode() != card.Variant().code)
        return ::testing::AssertionFailure() << "mounted as " << VariantCodeText(recorder.Store().GetVariantCode());
    return ::testing::AssertionSuccess();
}

// Writes a whole message through a cursor in pieces of at most `piece` bytes,
// the way the upload job does.
inline ::testing::AssertionResult WriteWhole(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                             std::uint32_t slot, std::span<const std::uint8_t> data,
                                             std::size_t piece = 32768) {
    MessageCursor cursor;
    if (!recorder.OpenMessage(folder, slot, device, cursor)) return ::testing::AssertionFailure() << "open failed";
    for (std::size_t done = 0; done < data.size();) {
        const auto n = static_cast<std::uint32_t>(std::min(piece, data.size() - done));
        if (!recorder.WriteMessage(data.subspan(done, n), n, 1, cursor))
            return ::testing::AssertionFailure() << "write failed at " << done;
        done += n;
    }
    return ::testing::AssertionSuccess();
}

inline std::optional<std::vector<std::uint8_t>> ReadWhole(CRecorder& recorder, BlockDevice& device,
                                                          std::uint32_t folder, std::uint32_t slot, std::size_t length,
                                                          std::size_t piece = 32768) {
    MessageCursor cursor;
    if (!recorder.OpenMessage(folder, slot, device, cursor)) return std::nullopt;
    std::vector<std::uint8_t> out(length);
    for (std::size_t done = 0; done < length;) {
        const auto n = static_cast<std::uint32_t>(std::min(piece, length - done));
        if (!recorder.ReadMessage(std::span(out).subspan(done, n), n, 1, cursor)) return std::nullopt;
        done += n;
    }
    return out;
}

// Creates a message for the data and writes it; the slot, or nothing.
inline std::optional<std::uint32_t> AddMessage(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                               std::span<const std::uint8_t> data, std::uint8_t type = 0,
                                               DateStamp stamp = {24, 5, 17, 9, 30, 15}) {
    MessageInfo info;
    info.type = type;
    info.length = static_cast<std::uint32_t>(data.size());
    info.stamp = stamp;
    if (!recorder.CreateMessage(folder, info)) return std::nullopt;
    if (!WriteWhole(recorder, device, folder, info.slot, data)) return std::nullopt;
    return info.slot;
}

// A device that hands everything to a real one, keeps a log of the block
// operations, and can make the next operation of one kind fail.
class TracingDevice : public BlockDevice {
public:
    struct Op {
        char kind;  // 'R', 'W', 'E'
        std::uint32_t address;
        bool operator==(const Op&) const = default;
    };

    explicit TracingDevice(BlockDevice& inner) : inner_(inner) {}

    int ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) override {
        return Pass('R', address) && inner_.ReadBlock(address, buffer);
    }
    int WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) override {
        return Pass('W', address) && inner_.WriteBlock(address, data);
    }
    int EraseBlock(std::uint32_t address) override { return Pass('E', address) && inner_.EraseBlock(address); }
    int SetCardSize(int megabytes) override { return inner_.SetCardSize(megabytes); }
    std::uint32_t GetBlockBytes() const override { return inner_.GetBlockBytes(); }
    std::string GetErrorText() override { return inner_.GetErrorText(); }

    void FailNext(char kind) { failKind_ = kind; }
    std::vector<Op> log;
    std::size_t Count(char kind) const {
        return static_cast<std::size_t>(std::count_if(log.begin(), log.end(), [&](const Op& o) { return o.kind == kind; }));
    }

private:
    bool Pass(char kind, std::uint32_t address) {
        log.push_back({kind, address});
        if (failKind_ != kind) return true;
        failKind_ = 0;
        return false;
    }
    BlockDevice& inner_;
    char failKind_ = 0;
};

}  // namespace murmex::test
