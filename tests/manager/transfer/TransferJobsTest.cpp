// The download, upload and delete jobs on real card images of a
// representative set of variants, through the real store and device.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteJob.h"
#include "DownloadJob.h"
#include "JobTestSupport.h"
#include "TransferMessages.h"
#include "UploadJob.h"

namespace murmex {
namespace {

using namespace test;
namespace fs = std::filesystem;

// One of each kind: marker, marker with speech WAV and picture folder, DVR
// generation 0 with 16 KB and with 8 KB blocks (alternating write-back),
// generation 1, generation 2 on 8 KB blocks.
const std::uint32_t kRepresentative[] = {0xFF000003, 0xFF000006, 0xFF000001, 0xFF000008, 0xFF000011, 0xFF000023};

std::string VariantName(const ::testing::TestParamInfo<std::uint32_t>& info) {
    char text[16];
    std::snprintf(text, sizeof text, "V%08X", static_cast<unsigned>(info.param));
    return text;
}

std::vector<std::uint32_t> FolderItems(CRecorder& recorder, std::uint32_t folder) {
    std::vector<std::uint32_t> items;
    for (std::uint32_t slot = 0; slot < recorder.GetMessageCount(folder); ++slot) items.push_back(ItemData(folder, slot));
    return items;
}

std::map<std::string, Bytes> FilesIn(const std::string& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadFileBytes(entry.path().string());
    return files;
}

class JobsOnCard : public ::testing::TestWithParam<std::uint32_t> {
protected:
    void SetUp() override {
        variant_ = FindVariant(GetParam());
        ASSERT_NE(variant_, nullptr);
        image_ = dir_.File("card.tmf");
        MakeFormattedImage(*variant_, image_);
        card_ = std::make_unique<MountedCard>(image_);
        ASSERT_TRUE(card_->Mount());
        pc_ = dir_.SubFolder("pc");
        out_ = dir_.SubFolder("out");
    }

    const VariantDescriptor& V() const { return *variant_; }
    CRecorder& Rec() { return card_->Recorder(); }
    std::string Native(const std::string& stem) const { return stem + "." + (V().speechWav ? "wav" : "mxd"); }
    std::string PcFile(const std::string& name, const Bytes& bytes) const {
        WriteFileBytes(pc_ + name, bytes);
        return pc_ + name;
    }

    JobOutcome Upload(ScriptedFrontEnd& fe, std::vector<std::string> paths, std::uint32_t folderSelection = 0) {
        return UploadJob(Rec(), card_->StoreDevice(), fe, std::move(paths), folderSelection).Run();
    }
    JobOutcome Download(ScriptedFrontEnd& fe, std::vector<std::uint32_t> items) {
        return DownloadJob(Rec(), card_->StoreDevice(), fe, std::move(items), out_).Run();
    }
    // A new device and store on the same image, as at the next connect.
    std::unique_ptr<MountedCard> Remount() {
        auto card = std::make_unique<MountedCard>(image_);
        EXPECT_TRUE(card->Mount());
        return card;
    }
    // Fills a folder to its last slot with one-block data messages.
    void FillFolder(std::uint32_t folder) {
        const std::uint32_t slots = Rec().Store().GetSlotCount(folder);
        for (std::uint32_t i = Rec().GetMessageCount(folder); i < slots; ++i)
            ASSERT_TRUE(AddMessage(Rec(), card_->StoreDevice(), folder, DataMessage("f.txt", Pattern(40, 1)), 0x80));
        ASSERT_TRUE(Rec().Store().WriteBack());
    }

    TempDir dir_;
    const VariantDescriptor* variant_ = nullptr;
    std::string image_;
    std::unique_ptr<MountedCard> card_;
    std::string pc_;
    std::string out_;
};

// Native files come back with their header, other files as data messages
// that keep their name and come back without the name prefix.
TEST_P(JobsOnCard, UploadedFilesDownloadUnchanged) {
    const std::uint32_t s = V().blockSize;
    struct Case {
        std::string name;
        Bytes bytes;
        std::string downloadedAs;  // empty: refused as a type mismatch
        std::uint8_t type;
    };
    std::vector<Case> cases;
    // Spans several blocks and several 32768-byte pieces.
    cases.push_back({Native("voice"), NativeFile(V(), Pattern(2 * s + 1000, 3)), "", 0});
    if (!V().speechWav) cases.push_back({"memo.mxd", MxdFile("MXDL", Pattern(700, 4)), "", 1});
    cases.push_back({"report.doc", Pattern(3000, 5), "", 0x80});
    cases.push_back({"tune.wav", PcmWavFile(500), "", 0x80});
    // On the speech-WAV cards a PCM WAV is the native extension in the wrong
    // format: refused (there is no converter yet). Elsewhere it is just a file.
    std::uint32_t slot = 0;
    for (Case& c : cases) {
        if (V().speechWav && c.name == "tune.wav") continue;
        char base[16];
        std::snprintf(base, sizeof base, "MsgA%03u", static_cast<unsigned>(++slot));
        c.downloadedAs = c.type & 0x80 ? std::string(base) + "-" + c.name
                                       : std::string(base) + (V().speechWav ? ".wav" : ".mxd");
    }

    ScriptedFrontEnd up;
    std::vector<std::string> paths;
    std::uint64_t total = 0;
    for (const Case& c : cases) {
        paths.push_back(PcFile(c.name, c.bytes));
        total += c.bytes.size();
    }
    const JobOutcome uploaded = Upload(up, paths);
    if (V().speechWav) {
        EXPECT_EQ(up.messages, std::vector<std::string>{"This file is can not save(Type mismatch) : " + pc_ + "tune.wav"});
    } else {
        EXPECT_TRUE(up.messages.empty()) << up.messages.front();
    }
    EXPECT_EQ(uploaded.errors, V().speechWav);
    EXPECT_EQ(up.ended, std::vector<std::uint32_t>{transfer_text::kNotifyRecorderListChanged});
    ASSERT_FALSE(up.progress.empty());
    EXPECT_EQ(up.progress.back().total, total);
    EXPECT_EQ(up.progress.back().done, total);
    ASSERT_EQ(Rec().GetMessageCount(0), slot);

    for (const Case& c : cases) {
        if (c.downloadedAs.empty()) continue;
        MessageInfo info;
        const std::uint32_t at = static_cast<std::uint32_t>(&c - cases.data());
        ASSERT_TRUE(Rec().GetMessageInfo(0, at, info)) << c.name;
        EXPECT_EQ(info.type, c.type) << c.name;
        EXPECT_EQ(info.fileName, c.downloadedAs);
        EXPECT_EQ(info.displayName, c.type & 0x80 ? c.name : c.downloadedAs);
        const std::size_t header = c.type & 0x80 ? 0 : (V().speechWav ? 78 : 4);
        const std::size_t prefix = c.type & 0x80 ? 4 + c.name.size() + 1 : 0;
        EXPECT_EQ(info.length, c.bytes.size() - header + prefix) << c.name;
    }

    // Read back through a new mount, so what counts is what reached the card.
    card_ = Remount();
    ScriptedFrontEnd down;
    const JobOutcome downloaded = Download(down, FolderItems(Rec(), 0));
    EXPECT_FALSE(downloaded.errors);
    EXPECT_TRUE(down.messages.empty());
    EXPECT_EQ(down.ended, std::vector<std::uint32_t>{transfer_text::kNotifyFileListChanged});
    std::map<std::string, Bytes> expected;
    for (const Case& c : cases)
        if (!c.downloadedAs.empty()) expected[c.downloadedAs] = c.bytes;
    EXPECT_EQ(FilesIn(out_), expected);
    ASSERT_FALSE(down.progress.empty());
    EXPECT_EQ(down.progress.back().done, down.progress.back().total);
}

// Deleting slots 2 and 5 in one run: after the first removal the message
// of slot 5 sits in slot 4, and that is the one to go.
TEST_P(JobsOnCard, DeleteRenumbersTheRestOfTheSelection) {
    std::vector<std::string> paths;
    for (int i = 0; i < 7; ++i) paths.push_back(PcFile("d" + std::to_string(i) + ".txt", Pattern(300 + i, static_cast<std::uint8_t>(i))));
    ScriptedFrontEnd up;
    Upload(up, paths);
    Upload(up, {PcFile("other.txt", Pattern(100, 50))}, 2);  // folder B
    ASSERT_TRUE(up.messages.empty());
    ASSERT_EQ(Rec().GetMessageCount(0), 7u);
    const std::uint32_t freeBefore = Rec().Store().GetFreeBlockCount();

    ScriptedFrontEnd fe;
    DeleteJob job(Rec(), card_->StoreDevice(), fe, {ItemData(0, 2), ItemData(1, 0), ItemData(0, 5)});
    const JobOutcome outcome = job.Run();
    EXPECT_FALSE(outcome.errors);
    EXPECT_TRUE(fe.messages.empty());
    EXPECT_EQ(job.Selection(), (std::vector<std::uint32_t>{ItemData(0, 2), ItemData(1, 0), ItemData(0, 4)}));
    EXPECT_EQ(Rec().Store().GetFreeBlockCount(), freeBefore + 3 * BlocksFor(V(), 310));
    ASSERT_FALSE(fe.progress.empty());
    EXPECT_EQ(fe.progress.back().done, fe.progress.back().total);

    card_ = Remount();
    const int kept[] = {0, 1, 3, 4, 6};
    ASSERT_EQ(Rec().GetMessageCount(0), 5u);
    for (std::uint32_t slot = 0; slot < 5; ++slot) {
        const std::string name = "d" + std::to_string(kept[slot]) + ".txt";
        MessageInfo info;
        ASSERT_TRUE(Rec().GetMessageInfo(0, slot, info));
        EXPECT_EQ(info.displayName, name);
        EXPECT_EQ(ReadMessageData(Rec(), card_->Device(), 0, slot),
                  DataMessage(name, Pattern(300 + kept[slot], static_cast<std::uint8_t>(kept[slot]))));
    }
    EXPECT_EQ(Rec().GetMessageCount(1), 0u);
    EXPECT_EQ(Rec().Store().GetFreeBlockCount(), freeBefore + 3 * BlocksFor(V(), 310));
}

// A target that exists is replaced only on Yes; on No the message counts as
// done all the same, so the progress still ends at 100 %.
TEST_P(JobsOnCard, DownloadAsksBeforeReplacing) {
    const Bytes voice = NativeFile(V(), Pattern(5000, 7));
    const Bytes report = Pattern(800, 8);
    ScriptedFrontEnd up;
    Upload(up, {PcFile(Native("voice"), voice), PcFile("report.doc", report)});
    ASSERT_TRUE(up.messages.empty());
    const std::string voiceName = Rec().Store().GetMessageFileName(0, 0);
    const std::string target = out_ + voiceName;

    struct Answer {
        bool yes;
        Bytes expected;
    };
    for (const Answer& a : {Answer{false, Bytes{'o', 'l', 'd'}}, Answer{true, voice}}) {
        SCOPED_TRACE(a.yes ? "Yes" : "No");
        WriteFileBytes(target, {'o', 'l', 'd'});
        std::remove((out_ + "MsgA002-report.doc").c_str());
        ScriptedFrontEnd fe;
        fe.answers = {a.yes};
        const JobOutcome outcome = Download(fe, FolderItems(Rec(), 0));
        EXPECT_FALSE(outcome.errors);
        EXPECT_EQ(fe.questions, std::vector<std::string>{target + " already exists.\nDo you want to replace it?"});
        EXPECT_EQ(ReadFileBytes(target), a.expected);
        EXPECT_EQ(ReadFileBytes(out_ + "MsgA002-report.doc"), report);
        ASSERT_FALSE(fe.progress.empty());
        EXPECT_GT(fe.progress.back().total, 0u);
        EXPECT_EQ(fe.progress.back().done, fe.progress.back().total);
    }
}

// With "All" and folder A full the file goes to B, and the search of every
// later file in the same run starts at B. The only way to see where it
// starts is room that appears in A behind the job's back.
TEST_P(JobsOnCard, AllMovesOnFromAFullFolderAndStaysThere) {
    FillFolder(0);
    ScriptedFrontEnd fe;
    fe.onCaption = [&](const std::string& caption) {
        if (caption.rfind("UpLoad - MsgB001", 0) == 0) Rec().Store().RemoveSlot(0, 98);
    };
    Upload(fe, {PcFile("one.txt", Pattern(10, 1)), PcFile("two.txt", Pattern(10, 2))});
    EXPECT_TRUE(fe.messages.empty());
    EXPECT_EQ(Rec().GetMessageCount(0), 98u);
    ASSERT_EQ(Rec().GetMessageCount(1), 2u);
    EXPECT_EQ(Rec().Store().GetMessageFileName(1, 0), "MsgB001-one.txt");
    EXPECT_EQ(Rec().Store().GetMessageFileName(1, 1), "MsgB002-two.txt");
}

// A fixed folder that is full stops the job before the card is touched.
TEST_P(JobsOnCard, FullFixedFolderIsOutOfMessageBeforeAnyWrite) {
    FillFolder(2);
    const Bytes before = ReadFileBytes(image_);
    const std::uint32_t freeBefore = Rec().Store().GetFreeBlockCount();
    ScriptedFrontEnd fe;
    const JobOutcome outcome = Upload(fe, {PcFile("one.txt", Pattern(10, 1)), PcFile("two.txt", Pattern(10, 2))}, 3);
    EXPECT_TRUE(outcome.errors);
    EXPECT_EQ(fe.messages, std::vector<std::string>{"Out of message."});
    EXPECT_EQ(fe.ended, std::vector<std::uint32_t>{transfer_text::kNotifyRecorderListChanged});
    EXPECT_EQ(Rec().GetMessageCount(2), 99u);
    EXPECT_EQ(Rec().GetTotalMessages(), 99u);
    EXPECT_EQ(Rec().Store().GetFreeBlockCount(), freeBefore);
    EXPECT_TRUE(ReadFileBytes(image_) == before);
}

// DVR cards keep the PC file's last-write time as the recording date and
// downloads put it back; the marker format keeps no date.
TEST_P(JobsOnCard, DownloadSetsFileTimeFromTheDateStamp) {
    const std::string report = PcFile("report.doc", Pattern(900, 9));
    const std::string voice = PcFile(Native("voice"), NativeFile(V(), Pattern(900, 10)));
    SetLocalWriteTime(report, 2021, 3, 4, 5, 6, 8);
    SetLocalWriteTime(voice, 2019, 11, 30, 23, 59, 58);
    ScriptedFrontEnd up;
    Upload(up, {report, voice});
    ASSERT_TRUE(up.messages.empty());

    MessageInfo info;
    ASSERT_TRUE(Rec().GetMessageInfo(0, 0, info));
    EXPECT_EQ(info.stamp, V().IsDvr() ? DateStamp({21, 3, 4, 5, 6, 8}) : DateStamp());
    ASSERT_TRUE(Rec().GetMessageInfo(0, 1, info));
    EXPECT_EQ(info.stamp, V().IsDvr() ? DateStamp({19, 11, 30, 23, 59, 58}) : DateStamp());

    const std::int64_t started = static_cast<std::int64_t>(std::time(nullptr));
    ScriptedFrontEnd down;
    Download(down, FolderItems(Rec(), 0));
    ASSERT_TRUE(down.messages.empty());
    const std::int64_t reportTime = LastWriteSeconds(out_ + "MsgA001-report.doc");
    const std::int64_t voiceTime = LastWriteSeconds(out_ + Rec().Store().GetMessageFileName(0, 1));
    if (V().IsDvr()) {
        EXPECT_EQ(reportTime, LocalSeconds(2021, 3, 4, 5, 6, 8));
        EXPECT_EQ(voiceTime, LocalSeconds(2019, 11, 30, 23, 59, 58));
    } else {
        EXPECT_GE(reportTime, started - 1);
        EXPECT_GE(voiceTime, started - 1);
    }
}

// Cancelled after the first piece: the rest of the message is only
// allocated, so the message keeps the length recorded at creation and its
// unwritten part reads as erased flash; the system area is written back and
// no later file is started.
TEST_P(JobsOnCard, CancelledUploadKeepsTheFullLength) {
    const std::uint32_t s = V().blockSize;
    const Bytes data = Pattern(4 * s + 500, 11);
    const std::uint32_t length = static_cast<std::uint32_t>(data.size());
    const std::uint32_t freeBefore = Rec().Store().GetFreeBlockCount();
    ScriptedFrontEnd fe;
    fe.onProgress = [&](const ScriptedFrontEnd::Figures& f) {
        if (f.done > 0) Rec().CancelFlag() = 1;
    };
    const JobOutcome outcome =
        Upload(fe, {PcFile(Native("voice"), NativeFile(V(), data)), PcFile("later.txt", Pattern(10, 12))});
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_FALSE(outcome.errors);
    EXPECT_TRUE(fe.messages.empty());

    const std::uint32_t blocks = BlocksFor(V(), length);
    const std::uint32_t written = s - V().HeaderOffset();  // the first piece fills the first block
    Bytes expected(data.begin(), data.begin() + written);
    expected.resize(length, 0xFF);
    for (int mount = 0; mount < 2; ++mount) {
        SCOPED_TRACE(mount == 0 ? "as left by the job" : "after a new mount");
        ASSERT_EQ(Rec().GetTotalMessages(), 1u);
        EXPECT_EQ(Rec().Store().GetFreeBlockCount(), freeBefore - blocks);
        EXPECT_EQ(ChainBlocks(Rec(), Rec().Store().GetFirstBlockAddress(0, 0)).size(), blocks);
        EXPECT_EQ(ReadMessageBytes(Rec(), card_->StoreDevice(), 0, 0, length), expected);
        MessageInfo info;
        ASSERT_TRUE(Rec().GetMessageInfo(0, 0, info));
        // The marker format measures a message by where its erased tail begins.
        EXPECT_EQ(info.length, V().IsDvr() ? length : (blocks - 1) * s - V().HeaderOffset());
        card_ = Remount();
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, JobsOnCard, ::testing::ValuesIn(kRepresentative), VariantName);

// Stands in for the WAVE conversion: writes a speech-format WAV of fixed
// data, or fails, and notes what it was asked.
class CannedConverter : public NativeFileConverter {
public:
    CannedConverter(bool succeeds, Bytes data) : succeeds_(succeeds), data_(std::move(data)) {}
    bool Convert(const std::string& sourcePath, const std::string& targetPath) override {
        calls.push_back({sourcePath, targetPath});
        if (succeeds_) WriteFileBytes(targetPath, SpeechWavFile(data_));
        return succeeds_;
    }
    std::vector<std::pair<std::string, std::string>> calls;

private:
    bool succeeds_;
    Bytes data_;
};

// The cards that keep recorder audio as speech-format WAV convert any other
// WAV before it goes up.
class SpeechWavUpload : public JobsOnCard {};

TEST_P(SpeechWavUpload, ConvertedWavGoesUpAndItsCopyIsRemoved) {
    const Bytes converted = Pattern(3000, 21);
    const Bytes report = Pattern(500, 22);
    CannedConverter converter(true, converted);
    const std::string tune = PcFile("tune.wav", PcmWavFile(20000));
    ScriptedFrontEnd fe;
    UploadJob(Rec(), card_->StoreDevice(), fe, {tune, PcFile("report.doc", report)}, 0, &converter).Run();
    EXPECT_TRUE(fe.messages.empty());
    EXPECT_EQ(converter.calls, (std::vector<std::pair<std::string, std::string>>{{tune, tune + "mxptmpwav.tmp"}}));
    EXPECT_FALSE(fs::exists(tune + "mxptmpwav.tmp"));
    // The total follows the conversion: it ends at the converted length.
    ASSERT_FALSE(fe.progress.empty());
    EXPECT_EQ(fe.progress.back().total, converted.size() + report.size());
    EXPECT_EQ(fe.progress.back().done, fe.progress.back().total);
    EXPECT_EQ(ReadMessageData(Rec(), card_->StoreDevice(), 0, 0), converted);
    EXPECT_EQ(ReadMessageData(Rec(), card_->StoreDevice(), 0, 1), DataMessage("report.doc", report));
}

// Whatever stops the file after its conversion, the converted copy goes.
TEST_P(SpeechWavUpload, ConvertedCopyIsRemovedWhenTheFileDoesNotGoUp) {
    struct Case {
        const char* name;
        bool converts;
        bool folderFull;
        std::string message;
    };
    const std::string tune = pc_ + "tune.wav";
    const Case cases[] = {
        {"conversion fails", false, false, "This file is can not save(Type mismatch) : " + tune},
        {"folder full", true, true, "Out of message."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.folderFull) FillFolder(0);
        CannedConverter converter(c.converts, Pattern(3000, 23));
        PcFile("tune.wav", PcmWavFile(2000));
        ScriptedFrontEnd fe;
        UploadJob(Rec(), card_->StoreDevice(), fe, {tune}, 1, &converter).Run();
        EXPECT_EQ(fe.messages, std::vector<std::string>{c.message});
        EXPECT_EQ(converter.calls.size(), 1u);
        EXPECT_FALSE(fs::exists(tune + "mxptmpwav.tmp"));
    }
}

INSTANTIATE_TEST_SUITE_P(Variants, SpeechWavUpload, ::testing::Values(0xFF000005u, 0xFF000006u), VariantName);

}  // namespace
}  // namespace murmex
