// Power cuts in the middle of an upload or a delete, at every write and
// erase the job makes. After each cut the card is connected afresh: it must
// mount, every message that was there before must read back unchanged, and a
// further upload must work and leave the card in the same shape.
//
// Cards whose system area is rewritten in place (the marker format and DVR
// generations 1 and 2) lose it when the power goes between erasing the
// system or link block and programming it again; nothing in their layout can
// bring it back. Those cut points, and only those, may leave a card that no
// longer mounts. Cards with alternating copies must survive every cut.
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "DeleteJob.h"
#include "JobTestSupport.h"
#include "UploadJob.h"

namespace murmex {
namespace {

using namespace test;
namespace fs = std::filesystem;

// Forwards to the real device until the k-th write or erase (counting
// both from 0); that one and every later one fail as if the card had lost
// power. Reads still work. Every write and erase asked for is logged.
class PowerCutDevice : public BlockDevice {
public:
    struct Op {
        bool erase;
        std::uint32_t address;
    };
    static constexpr std::uint64_t kNever = std::numeric_limits<std::uint64_t>::max();

    PowerCutDevice(BlockDevice& inner, std::uint64_t cutAt) : inner_(inner), cutAt_(cutAt) {}

    int ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) override {
        return inner_.ReadBlock(address, buffer);
    }
    int WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) override {
        return Powered(false, address) && inner_.WriteBlock(address, data);
    }
    int EraseBlock(std::uint32_t address) override { return Powered(true, address) && inner_.EraseBlock(address); }
    int SetCardSize(int megabytes) override { return inner_.SetCardSize(megabytes); }
    std::uint32_t GetBlockBytes() const override { return inner_.GetBlockBytes(); }
    std::string GetErrorText() override { return cut_ ? "The card lost power." : inner_.GetErrorText(); }

    const std::vector<Op>& Ops() const { return ops_; }

private:
    bool Powered(bool erase, std::uint32_t address) {
        ops_.push_back({erase, address});
        if (ops_.size() - 1 >= cutAt_) cut_ = true;
        return !cut_;
    }

    BlockDevice& inner_;
    std::uint64_t cutAt_;
    bool cut_ = false;
    std::vector<Op> ops_;
};

struct Message {
    std::uint32_t folder;
    std::uint32_t slot;
    Bytes data;
};

// What a PC file becomes on the card, with its path for the upload job.
struct PcSource {
    std::string path;
    Bytes data;  // the message data it makes
};

class Scenario {
public:
    virtual ~Scenario() = default;
    // Puts the messages that must survive on the card.
    virtual void Prepare(MountedCard& card, const TempDir& pc) = 0;
    virtual JobOutcome Run(MountedCard& card, ScriptedFrontEnd& fe) = 0;
    // Checks the card after a cut; `followUp` is the extra message that the
    // upload after the cut put at the end of folder A, if it has run.
    virtual void Check(MountedCard& card, const PcSource* followUp) = 0;
};

PcSource NativeSource(const VariantDescriptor& v, const TempDir& pc, const std::string& stem, const Bytes& data) {
    const std::string path = pc.File(stem + (v.speechWav ? ".wav" : ".mxd"));
    WriteFileBytes(path, NativeFile(v, data));
    return {path, data};
}

PcSource DataSource(const TempDir& pc, const std::string& name, const Bytes& bytes) {
    WriteFileBytes(pc.File(name), bytes);
    return {pc.File(name), DataMessage(name, bytes)};
}

void Upload(MountedCard& card, const std::vector<PcSource>& sources, std::uint32_t folderSelection,
            ScriptedFrontEnd& fe) {
    std::vector<std::string> paths;
    for (const PcSource& s : sources) paths.push_back(s.path);
    UploadJob(card.Recorder(), card.StoreDevice(), fe, paths, folderSelection).Run();
}

void UploadOrFail(MountedCard& card, const std::vector<PcSource>& sources, std::uint32_t folderSelection) {
    ScriptedFrontEnd fe;
    Upload(card, sources, folderSelection, fe);
    ASSERT_TRUE(fe.messages.empty()) << fe.messages.front();
}

void ExpectMessage(MountedCard& card, std::uint32_t folder, std::uint32_t slot, const Bytes& data) {
    EXPECT_TRUE(ReadMessageData(card.Recorder(), card.Device(), folder, slot) == data)
        << "folder " << folder << " slot " << slot;
}

// The messages of folder A from `from` on; the follow-up must be the last.
std::vector<std::optional<Bytes>> TailOfFolderA(MountedCard& card, std::uint32_t from, const PcSource* followUp) {
    std::vector<std::optional<Bytes>> tail;
    for (std::uint32_t slot = from; slot < card.Recorder().GetMessageCount(0); ++slot)
        tail.push_back(ReadMessageData(card.Recorder(), card.Device(), 0, slot));
    if (followUp) {
        EXPECT_TRUE(!tail.empty() && tail.back() == followUp->data)
            << "the upload after the cut is not last in A, or reads back "
            << (!tail.empty() && tail.back() ? tail.back()->size() : 0) << " bytes for " << followUp->data.size();
        if (!tail.empty()) tail.pop_back();
    }
    return tail;
}

// An upload of a message several blocks long and a small data file, to
// "All" (folder A), onto a card with three messages.
class UploadScenario : public Scenario {
public:
    explicit UploadScenario(const VariantDescriptor& v) : v_(v) {}

    void Prepare(MountedCard& card, const TempDir& pc) override {
        const std::uint32_t s = v_.blockSize;
        const PcSource a0 = NativeSource(v_, pc, "old-voice", Pattern(2 * s + 300, 1));
        const PcSource a1 = DataSource(pc, "notes.txt", Pattern(s / 2, 2));
        const PcSource b0 = NativeSource(v_, pc, "old-memo", Pattern(500, 3));
        UploadOrFail(card, {a0, a1}, 0);
        UploadOrFail(card, {b0}, 2);
        existing_ = {{0, 0, a0.data}, {0, 1, a1.data}, {1, 0, b0.data}};
        // Four blocks of 8 KB, three of 16 KB: several pieces, several blocks.
        big_ = NativeSource(v_, pc, "new-voice", Pattern(v_.blockSize == 8192 ? 4 * 8192 + 100 : 3 * s + 100, 4));
        small_ = DataSource(pc, "small.txt", Pattern(200, 5));
    }

    JobOutcome Run(MountedCard& card, ScriptedFrontEnd& fe) override {
        return UploadJob(card.Recorder(), card.StoreDevice(), fe, {big_.path, small_.path}, 0).Run();
    }

    void Check(MountedCard& card, const PcSource* followUp) override {
        for (const Message& m : existing_) ExpectMessage(card, m.folder, m.slot, m.data);
        EXPECT_EQ(card.Recorder().GetMessageCount(1), 1u);
        // What the job managed to make must be complete, in upload order.
        const auto made = TailOfFolderA(card, 2, followUp);
        const std::vector<std::optional<Bytes>> uploaded = {big_.data, small_.data};
        ASSERT_LE(made.size(), uploaded.size());
        for (std::size_t i = 0; i < made.size(); ++i) EXPECT_TRUE(made[i] == uploaded[i]) << "new message " << i;
    }

private:
    const VariantDescriptor& v_;
    std::vector<Message> existing_;
    PcSource big_;
    PcSource small_;
};

// A delete of the middle one of three messages in folder A (a few blocks
// long); folder B holds one more.
class DeleteScenario : public Scenario {
public:
    explicit DeleteScenario(const VariantDescriptor& v) : v_(v) {}

    void Prepare(MountedCard& card, const TempDir& pc) override {
        const std::uint32_t s = v_.blockSize;
        a0_ = NativeSource(v_, pc, "first", Pattern(400, 1));
        const PcSource doomed = DataSource(pc, "doomed.txt", Pattern(3 * s + 50, 2));
        a2_ = NativeSource(v_, pc, "third", Pattern(s + 600, 3));
        b0_ = DataSource(pc, "other.txt", Pattern(700, 4));
        UploadOrFail(card, {a0_, doomed, a2_}, 0);
        UploadOrFail(card, {b0_}, 2);
    }

    JobOutcome Run(MountedCard& card, ScriptedFrontEnd& fe) override {
        return DeleteJob(card.Recorder(), card.StoreDevice(), fe, {ItemData(0, 1)}).Run();
    }

    void Check(MountedCard& card, const PcSource* followUp) override {
        ExpectMessage(card, 1, 0, b0_.data);
        EXPECT_EQ(card.Recorder().GetMessageCount(1), 1u);
        ExpectMessage(card, 0, 0, a0_.data);
        // Before the directory went back the deleted message is still listed
        // (its blocks partly erased already); afterwards it is gone.
        const auto rest = TailOfFolderA(card, 1, followUp);
        ASSERT_TRUE(rest.size() == 1 || rest.size() == 2) << rest.size() << " messages behind the first";
        EXPECT_TRUE(rest.back() == a2_.data);
    }

private:
    const VariantDescriptor& v_;
    PcSource a0_;
    PcSource a2_;
    PcSource b0_;
};

enum class Job { Upload, Delete };

std::string CaseName(const ::testing::TestParamInfo<std::tuple<std::uint32_t, Job>>& info) {
    char text[32];
    std::snprintf(text, sizeof text, "V%08X_%s", static_cast<unsigned>(std::get<0>(info.param)),
                  std::get<1>(info.param) == Job::Upload ? "Upload" : "Delete");
    return text;
}

std::vector<std::uint32_t> AllCodes() {
    std::vector<std::uint32_t> codes;
    for (const VariantDescriptor& v : AllVariants()) codes.push_back(v.code);
    return codes;
}

class PowerCut : public ::testing::TestWithParam<std::tuple<std::uint32_t, Job>> {
protected:
    void SetUp() override {
        variant_ = FindVariant(std::get<0>(GetParam()));
        ASSERT_NE(variant_, nullptr);
        if (std::get<1>(GetParam()) == Job::Upload)
            scenario_ = std::make_unique<UploadScenario>(*variant_);
        else
            scenario_ = std::make_unique<DeleteScenario>(*variant_);
        base_ = dir_.File("base.tmf");
        work_ = dir_.File("work.tmf");
        MakeFormattedImage(*variant_, base_);
        MountedCard card(base_);
        ASSERT_TRUE(card.Mount());
        scenario_->Prepare(card, dir_);
    }

    // Runs the job on a fresh copy of the prepared card with the power
    // failing at write or erase number cutAt; returns what it asked for.
    std::vector<PowerCutDevice::Op> RunWithCut(std::uint64_t cutAt) {
        fs::copy_file(base_, work_, fs::copy_options::overwrite_existing);
        MountedCard card(work_);
        PowerCutDevice device(card.Device(), cutAt);
        EXPECT_TRUE(card.Mount(&device));
        ScriptedFrontEnd fe;
        const JobOutcome outcome = scenario_->Run(card, fe);
        if (cutAt == PowerCutDevice::kNever) {
            EXPECT_FALSE(outcome.errors) << fe.messages.front();
        }
        return device.Ops();
    }

    // Where the system area lives: block 0 in the marker format, the system
    // and link blocks with their spares (0 to 3) in the DVR format.
    bool InSystemArea(std::uint32_t address) const { return address < (variant_->IsDvr() ? 4u : 1u) * variant_->blockSize; }

    TempDir dir_;
    const VariantDescriptor* variant_ = nullptr;
    std::unique_ptr<Scenario> scenario_;
    std::string base_;
    std::string work_;
};

TEST_P(PowerCut, CardSurvivesACutAtEveryWriteAndErase) {
    const std::vector<PowerCutDevice::Op> ops = RunWithCut(PowerCutDevice::kNever);
    ASSERT_FALSE(HasFailure());
    ASSERT_FALSE(ops.empty());

    // A write of the system area right after its erase: the cut leaves it erased.
    std::set<std::uint64_t> unsurvivable;
    if (variant_->writeBack == WriteBackScheme::InPlace)
        for (std::size_t k = 1; k < ops.size(); ++k)
            if (!ops[k].erase && ops[k - 1].erase && ops[k].address == ops[k - 1].address && InSystemArea(ops[k].address))
                unsurvivable.insert(k);

    const PcSource followUp = DataSource(dir_, "after.txt", Pattern(variant_->blockSize + 1000, 9));
    std::vector<std::uint64_t> lost;
    for (std::uint64_t k = 0; k <= ops.size() && !HasFailure(); ++k) {
        SCOPED_TRACE("power cut at write/erase " + std::to_string(k) + " of " + std::to_string(ops.size()));
        RunWithCut(k);
        MountedCard card(work_);
        if (!card.Mount()) {
            lost.push_back(k);
            EXPECT_TRUE(unsurvivable.count(k)) << "the card no longer mounts";
            continue;
        }
        scenario_->Check(card, nullptr);
        ScriptedFrontEnd fe;
        Upload(card, {followUp}, 0, fe);
        EXPECT_TRUE(fe.messages.empty()) << "upload after the cut: " << fe.messages.front();
        MountedCard again(work_);
        ASSERT_TRUE(again.Mount()) << "after the upload that followed the cut";
        scenario_->Check(again, &followUp);
    }

    RecordProperty("writes_and_erases", static_cast<int>(ops.size()));
    RecordProperty("unrecoverable_cuts", static_cast<int>(lost.size()));
    std::printf("[ power cut ] %s %s: %zu writes/erases, %zu cut points unrecoverable\n",
                VariantCodeText(variant_->code).c_str(), std::get<1>(GetParam()) == Job::Upload ? "upload" : "delete",
                ops.size(), lost.size());
}

INSTANTIATE_TEST_SUITE_P(AllVariants, PowerCut,
                         ::testing::Combine(::testing::ValuesIn(AllCodes()), ::testing::Values(Job::Upload, Job::Delete)),
                         CaseName);

}  // namespace
}  // namespace murmex
