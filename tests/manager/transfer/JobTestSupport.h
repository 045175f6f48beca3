// What the transfer job tests share: temporary folders, formatted card
// images of any variant, a mounted card (real device, real store), the PC
// files the jobs move, and a scripted front end that answers questions and
// records what a job shows.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BlockDevice.h"
#include "CCardDevice.h"
#include "CRecorder.h"
#include "JobFrontEnd.h"
#include "VariantDetector.h"
#include "VariantTable.h"

namespace murmex::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // As the jobs take a PC folder: with its trailing '/'.
    std::string Folder() const { return path_ + "/"; }
    // A new empty subfolder; returns its path with a trailing '/'.
    std::string SubFolder(const std::string& name) const;

private:
    std::string path_;
};

Bytes ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const Bytes& bytes);
// Sets a file's last-write time to the given local time.
void SetLocalWriteTime(const std::string& path, int year, int month, int day, int hour, int minute, int second);
std::int64_t LastWriteSeconds(const std::string& path);
std::int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second);

// n bytes that never contain 0xFF, different for each seed: a marker-format
// message ends where four erased bytes begin, so test data must not hold any.
Bytes Pattern(std::size_t n, std::uint8_t seed);

// PC files in the forms the cards know.
Bytes MxdFile(const std::string& magic, const Bytes& frames);
Bytes SpeechWavFile(const Bytes& data);  // the speech-format WAV (tag 0x0022)
Bytes PcmWavFile(std::size_t samples);   // an ordinary 16-bit PCM WAV
// The native file of the variant holding `data` as its message data.
Bytes NativeFile(const VariantDescriptor& v, const Bytes& data);
// What a data message holds for a PC file: the name prefix, then the bytes.
Bytes DataMessage(const std::string& name, const Bytes& fileBytes);

// Answers the SP/LP question of cards without a format marker.
class FixedTwoModeAnswer : public TwoModeQuestion {
public:
    explicit FixedTwoModeAnswer(bool answer = true) : answer_(answer) {}
    bool HasTwoRecordModes() override {
        ++asked;
        return answer_;
    }
    int asked = 0;

private:
    bool answer_;
};

// Answers Yes/No questions from a script (then with a default) and records
// every message box, caption, progress figure and end of job.
class ScriptedFrontEnd : public JobFrontEnd {
public:
    struct Figures {
        std::uint32_t elapsedMs;
        std::uint32_t total;
        std::uint32_t done;
    };

    bool AskYesNo(const std::string& text) override;
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void SetCaption(const std::string& caption) override;
    void ShowProgress(std::uint32_t elapsedMs, std::uint32_t total, std::uint32_t done) override;
    void EndJob(std::uint32_t notification) override { ended.push_back(notification); }

    std::deque<bool> answers;
    bool defaultAnswer = false;
    // Called after a caption or progress figure is recorded.
    std::function<void(const std::string&)> onCaption;
    std::function<void(const Figures&)> onProgress;

    std::vector<std::string> questions;
    std::vector<std::string> messages;
    std::vector<std::string> captions;
    std::vector<Figures> progress;
    std::vector<std::uint32_t> ended;
};

// Creates a card image of the variant's size at `path` and formats it.
// Formatting erases the whole card, so each variant is formatted once per
// process and later images are copies.
void MakeFormattedImage(const VariantDescriptor& v, const std::string& path);

// The real device in card-image mode and the real store on one image.
class MountedCard {
public:
    explicit MountedCard(std::string imagePath, bool twoModes = true);

    // Connects the device to the image and mounts the store over `over`
    // (a wrapper around Device()) or over the device itself.
    bool Mount(BlockDevice* over = nullptr);

    CCardDevice& Device() { return device_; }
    // The device the store was mounted over.
    BlockDevice& StoreDevice() { return *storeDevice_; }
    CRecorder& Recorder() { return *recorder_; }
    CMessageStore& Store() { return recorder_->Store(); }
    const std::string& ImagePath() const { return path_; }

private:
    std::string path_;
    CCardDevice device_;
    BlockDevice* storeDevice_ = &device_;
    FixedTwoModeAnswer question_;
    std::unique_ptr<CRecorder> recorder_;
};

// The data of one message, read through the store the way the download job
// reads it; nothing when the message cannot be described or read.
std::optional<Bytes> ReadMessageData(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                     std::uint32_t slot);
// Reads exactly `length` bytes of the message, whatever its description says.
std::optional<Bytes> ReadMessageBytes(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                      std::uint32_t slot, std::uint32_t length);

// Makes a message directly through the recorder (no job, no write-back):
// quicker than an upload where a test only needs the folder filled.
std::optional<std::uint32_t> AddMessage(CRecorder& recorder, BlockDevice& device, std::uint32_t folder,
                                        const Bytes& data, std::uint8_t type);

// The blocks of the chain that starts at the given address, in order.
std::vector<std::uint32_t> ChainBlocks(const CRecorder& recorder, std::uint32_t firstAddress);

// Blocks a message of L data bytes takes on the variant.
std::uint32_t BlocksFor(const VariantDescriptor& v, std::uint32_t length);

}  // namespace murmex::test
