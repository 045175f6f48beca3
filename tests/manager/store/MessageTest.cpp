// Messages through CRecorder on card images of every variant: create, write
// in pieces, read back, data messages and their names, deletion.
#include <cstring>

#include "ScratchCard.h"

namespace murmex::test {
namespace {

class Messages : public ::testing::TestWithParam<VariantDescriptor> {
protected:
    void SetUp() override {
        card_.emplace(GetParam());
        ASSERT_TRUE(MountCard(recorder_, *card_));
    }
    CCardDevice& Device() { return card_->Device(); }
    const CardLayout& Layout() { return *recorder_.Store().CurrentLayout(); }
    const VariantDescriptor& V() const { return GetParam(); }
    std::uint32_t S() const { return GetParam().blockSize; }
    std::uint32_t H() const { return GetParam().HeaderOffset(); }
    std::uint32_t FreeBlocks() { return recorder_.Store().GetFreeBlockCount(); }
    // Blocks of the message in (folder, slot), in chain order.
    std::vector<std::uint32_t> Chain(std::uint32_t folder, std::uint32_t slot) {
        std::vector<std::uint32_t> blocks{recorder_.Store().GetFirstBlockAddress(folder, slot) / S()};
        for (std::uint32_t b = blocks.front();;) {
            const std::uint32_t c = Layout().Link(b);
            if (c <= b || c >= V().blockCount) break;
            blocks.push_back(b = c);
        }
        return blocks;
    }

    std::optional<ScratchCard> card_;
    CRecorder recorder_;
};

INSTANTIATE_TEST_SUITE_P(Cards, Messages, ::testing::ValuesIn(AllVariants()), VariantName);

// Data message contents: the name prefix (length, name, NUL) and the file.
std::vector<std::uint8_t> WithNamePrefix(const std::string& name, const std::vector<std::uint8_t>& file) {
    std::vector<std::uint8_t> out(4);
    const auto p = static_cast<std::uint32_t>(4 + name.size() + 1);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(p >> (8 * i));
    out.insert(out.end(), name.begin(), name.end());
    out.push_back(0);
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

TEST_P(Messages, VoiceMessagesRoundTripThroughTheCard) {
    const std::uint32_t freeBefore = FreeBlocks();
    const auto first = Pattern(2 * S() + S() / 2 + 77, 1);
    const auto second = Pattern(5000, 2);
    const DateStamp stamp{23, 11, 5, 14, 7, 33};

    MessageInfo a;
    a.type = 0;
    a.length = static_cast<std::uint32_t>(first.size());
    a.stamp = stamp;
    ASSERT_TRUE(recorder_.CreateMessage(0, a));
    EXPECT_EQ(a.slot, 0u);
    EXPECT_EQ(a.fileName, std::string("MsgA001.") + recorder_.Store().GetDefaultExtension());
    ASSERT_TRUE(WriteWhole(recorder_, Device(), 0, a.slot, first, 32768));

    MessageInfo b;
    b.type = 1;
    b.length = static_cast<std::uint32_t>(second.size());
    b.stamp = stamp;
    ASSERT_TRUE(recorder_.CreateMessage(1, b));
    ASSERT_TRUE(WriteWhole(recorder_, Device(), 1, b.slot, second, 777));

    EXPECT_EQ(FreeBlocks(), freeBefore - 3 - 1);
    EXPECT_EQ(recorder_.GetFreeBytes(), std::uint64_t{FreeBlocks()} * S());
    EXPECT_EQ(ReadWhole(recorder_, Device(), 0, 0, first.size(), 5000), first);
    EXPECT_EQ(ReadWhole(recorder_, Device(), 1, 0, second.size()), second);
    ASSERT_TRUE(recorder_.Store().WriteBack());

    CRecorder later;
    ASSERT_TRUE(MountCard(later, *card_));
    EXPECT_EQ(later.GetTotalMessages(), 2u);
    const std::uint32_t sp = V().speechWav ? 1067 : 1080;
    const std::uint32_t lp = V().speechWav ? 1067 : 496;
    const DateStamp expectStamp = V().IsDvr() ? stamp : DateStamp{};
    MessageInfo info;
    ASSERT_TRUE(later.GetMessageInfo(0, 0, info));
    EXPECT_EQ(info.length, first.size());
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.seconds, first.size() / sp);
    EXPECT_EQ(info.stamp, expectStamp);
    EXPECT_EQ(info.displayName, info.fileName);
    ASSERT_TRUE(later.GetMessageInfo(1, 0, info));
    EXPECT_EQ(info.length, second.size());
    EXPECT_EQ(info.type, 1);
    EXPECT_EQ(info.seconds, second.size() / lp);
    EXPECT_EQ(info.fileName, std::string("MsgB001.") + later.Store().GetDefaultExtension());
    EXPECT_EQ(ReadWhole(later, card_->Device(), 0, 0, first.size(), 4099), first);
    EXPECT_EQ(ReadWhole(later, card_->Device(), 1, 0, second.size()), second);

    // Repeat counts read consecutive pieces.
    MessageCursor cursor;
    ASSERT_TRUE(later.OpenMessage(0, 0, card_->Device(), cursor));
    std::vector<std::uint8_t> three(3 * 1000);
    ASSERT_TRUE(later.ReadMessage(three, 1000, 3, cursor));
    EXPECT_EQ(cursor.position, 3000u);
    EXPECT_TRUE(std::equal(three.begin(), three.end(), first.begin()));
}

TEST_P(Messages, DataMessagesKeepTheirNames) {
    struct Case {
        std::string stored;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"report.doc", "report.doc"},
        {"a/b.txt", "a_b.txt"},
        {"..", "_"},
        {".", "_"},
        {"tab\there", "tab_here"},
        {std::string("line\nbreak\x01", 11), "line_break_"},
        {"two-parts.txt", "two-parts.txt"},
    };
    std::uint32_t slot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        const auto data = WithNamePrefix(c.stored, Pattern(3000 + slot, slot));
        ASSERT_EQ(AddMessage(recorder_, Device(), 0, data, 0x80), slot);
        MessageInfo info;
        ASSERT_TRUE(recorder_.GetMessageInfo(0, slot, info));
        char base[16];
        std::snprintf(base, sizeof base, "MsgA%03u-", slot + 1);
        EXPECT_EQ(info.fileName, base + c.shown);
        EXPECT_EQ(info.displayName, c.shown);
        EXPECT_EQ(info.type, 0x80);
        EXPECT_EQ(info.length, data.size());
        EXPECT_EQ(info.seconds, 0u);
        EXPECT_EQ(ReadWhole(recorder_, Device(), 0, slot, data.size()), data);
        ++slot;
    }
    // A data message whose prefix is still erased keeps the plain name.
    MessageInfo unwritten;
    unwritten.type = 0x80;
    unwritten.length = 100;
    ASSERT_TRUE(recorder_.CreateMessage(1, unwritten));
    EXPECT_EQ(unwritten.fileName, std::string("MsgB001.") + recorder_.Store().GetDefaultExtension());
    EXPECT_EQ(recorder_.Store().GetMessageFileName(1, 0), unwritten.fileName);
}

TEST_P(Messages, EmptyMessage) {
    MessageInfo empty;
    empty.length = 0;
    if (V().IsDvr()) {
        // (L - 1) div S + 1 wraps to more blocks than any card has.
        EXPECT_FALSE(recorder_.CreateMessage(0, empty));
        EXPECT_EQ(recorder_.GetMessageCount(0), 0u);
        return;
    }
    const std::uint32_t first = Layout().FindFreeBlock();
    ASSERT_TRUE(recorder_.CreateMessage(0, empty));
    // The header block is taken at once, so the next message goes elsewhere.
    EXPECT_EQ(Layout().Link(first), CardLayout::kMarkerEnd);
    const auto data = Pattern(100);
    ASSERT_TRUE(AddMessage(recorder_, Device(), 0, data));
    EXPECT_NE(recorder_.Store().GetFirstBlockAddress(0, 1), first * S());
    ASSERT_TRUE(recorder_.Store().WriteBack());

    CRecorder later;
    ASSERT_TRUE(MountCard(later, *card_));
    MessageInfo info;
    ASSERT_TRUE(later.GetMessageInfo(0, 0, info));
    EXPECT_EQ(info.length, 0u);
    EXPECT_EQ(ReadWhole(later, card_->Device(), 0, 1, data.size()), data);
    std::vector<std::uint32_t> freed;
    std::uint32_t failed = 0;
    ASSERT_TRUE(later.DeleteMessage(0, 0, card_->Device(), [&](std::uint32_t a) { freed.push_back(a); }, failed));
    EXPECT_EQ(freed, std::vector<std::uint32_t>{first * S()});
}

TEST_P(Messages, ReadingPastTheChainEnd) {
    // Two blocks of data (with the marker header, three).
    const auto data = Pattern(S() + 100);
    ASSERT_TRUE(AddMessage(recorder_, Device(), 0, data));
    const auto chain = Chain(0, 0);
    const std::uint32_t chainBytes = static_cast<std::uint32_t>(chain.size()) * S() - H();
    MessageCursor cursor;
    ASSERT_TRUE(recorder_.OpenMessage(0, 0, Device(), cursor));
    std::vector<std::uint8_t> buffer(chainBytes + 16, 0);
    const int ok = recorder_.ReadMessage(buffer, chainBytes + 16, 1, cursor);
    if (V().IsDvr()) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(cursor.position, 0u);
        return;
    }
    // The marker format goes on reading its last block from the start.
    ASSERT_TRUE(ok);
    const auto last = card_->Block(chain.back());
    EXPECT_TRUE(std::equal(buffer.begin() + chainBytes, buffer.end(), last.begin()));
    EXPECT_TRUE(std::equal(data.begin(), data.end(), buffer.begin()));
}

TEST_P(Messages, PieceThatFillsABlockIsWrittenWithoutReadingIt) {
    TracingDevice device(Device());
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, *card_, &device));
    struct Piece {
        std::uint32_t length;
        std::size_t reads;
    };
    // First block: DVR from its start, marker from behind the header, which
    // must be read to keep the header. Second block: filled whole. Third:
    // one byte short of whole.
    const Piece pieces[] = {{S() - H(), V().IsDvr() ? 0u : 1u}, {S(), 0}, {S() - 1, 1}};
    MessageInfo info;
    info.length = 3 * S() - H();
    ASSERT_TRUE(recorder.CreateMessage(0, info));
    MessageCursor cursor;
    ASSERT_TRUE(recorder.OpenMessage(0, info.slot, device, cursor));
    std::uint32_t seed = 0;
    for (const Piece& p : pieces) {
        device.log.clear();
        const auto data = Pattern(p.length, ++seed);
        ASSERT_TRUE(recorder.WriteMessage(data, p.length, 1, cursor));
        EXPECT_EQ(device.Count('R'), p.reads) << "piece " << seed;
        EXPECT_EQ(device.Count('E'), 1u);
        EXPECT_EQ(device.Count('W'), 1u);
    }
    // The header survived the first piece in the marker format.
    if (!V().IsDvr()) {
        EXPECT_EQ(recorder.Store().GetMessageInfo(0, info.slot)->length, 3 * S() - H() - 1);
    }
}

TEST_P(Messages, BlocksTakenForALength) {
    struct Case {
        const char* name;
        std::uint32_t blocks;  // L = blocks * S + extra
        std::int32_t extra;
        std::uint32_t dvr;
        std::uint32_t marker;
    };
    // The marker format needs one block more whenever L mod S is 0 or above S - 128.
    const Case cases[] = {
        {"S - 128", 1, -128, 1, 1},   {"S - 127", 1, -127, 1, 2}, {"S", 1, 0, 1, 2},
        {"S + 1", 1, 1, 2, 2},        {"2S - 128", 2, -128, 2, 2}, {"2S - 127", 2, -127, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::uint32_t before = FreeBlocks();
        const auto data = Pattern(static_cast<std::size_t>(std::int64_t{c.blocks} * S() + c.extra));
        const auto slot = AddMessage(recorder_, Device(), 0, data);
        ASSERT_TRUE(slot);
        EXPECT_EQ(before - FreeBlocks(), V().IsDvr() ? c.dvr : c.marker);
        EXPECT_EQ(Chain(0, *slot).size(), V().IsDvr() ? c.dvr : c.marker);
        EXPECT_EQ(recorder_.Store().GetMessageInfo(0, *slot)->length, data.size());
    }
}

TEST_P(Messages, DeleteFreesTheChainFromLastToFirstAndRenumbers) {
    const auto a = Pattern(S() + 5, 1);
    const auto b = Pattern(3 * S() + 7, 2);
    const auto c = Pattern(300, 3);
    const std::uint32_t freeBefore = FreeBlocks();
    for (const auto* data : {&a, &b, &c}) ASSERT_TRUE(AddMessage(recorder_, Device(), 0, *data));
    const auto chainB = Chain(0, 1);
    ASSERT_EQ(chainB.size(), 4u);

    std::vector<std::uint32_t> freed;
    std::uint32_t failed = 0xABCD;
    ASSERT_TRUE(recorder_.DeleteMessage(0, 1, Device(), [&](std::uint32_t address) { freed.push_back(address); }, failed));
    EXPECT_EQ(failed, 0xABCDu);
    std::vector<std::uint32_t> expected;
    for (auto it = chainB.rbegin(); it != chainB.rend(); ++it) expected.push_back(*it * S());
    EXPECT_EQ(freed, expected);
    for (std::uint32_t block : chainB) {
        EXPECT_TRUE(card_->BlockErased(block)) << block;
        EXPECT_EQ(Layout().Link(block), CardLayout::kFree);
    }
    EXPECT_EQ(recorder_.GetMessageCount(0), 2u);
    MessageInfo info;
    ASSERT_TRUE(recorder_.GetMessageInfo(0, 1, info));
    EXPECT_EQ(info.length, c.size());
    EXPECT_EQ(info.fileName.substr(0, 7), "MsgA002");
    EXPECT_EQ(ReadWhole(recorder_, Device(), 0, 1, c.size()), c);
    ASSERT_TRUE(recorder_.Store().WriteBack());

    CRecorder later;
    ASSERT_TRUE(MountCard(later, *card_));
    EXPECT_EQ(later.GetMessageCount(0), 2u);
    EXPECT_EQ(later.Store().GetFreeBlockCount(), freeBefore - 3);
    EXPECT_EQ(ReadWhole(later, card_->Device(), 0, 0, a.size()), a);
    EXPECT_EQ(ReadWhole(later, card_->Device(), 0, 1, c.size()), c);
    // The freed blocks are the lowest free ones again.
    EXPECT_EQ(later.Store().CurrentLayout()->FindFreeBlock(), chainB.front());

    MessageCursor none;
    EXPECT_FALSE(later.DeleteMessage(0, 2, card_->Device(), nullptr, failed));
    EXPECT_FALSE(later.OpenMessage(0, 2, card_->Device(), none));
}

TEST_P(Messages, DeleteFreesLinkedBlocksBeyondTheLength) {
    // Written beyond what was declared: the chain is longer than the length
    // the directory (or the marker header) gives, and delete frees it all.
    MessageInfo info;
    info.length = 100;
    ASSERT_TRUE(recorder_.CreateMessage(0, info));
    const std::uint32_t before = FreeBlocks();
    std::vector<std::uint8_t> data(S() + 200, 0x5A);
    ASSERT_TRUE(WriteWhole(recorder_, Device(), 0, 0, data));
    const auto chain = Chain(0, 0);
    ASSERT_EQ(chain.size(), 2u);
    std::vector<std::uint32_t> freed;
    std::uint32_t failed = 0;
    ASSERT_TRUE(recorder_.DeleteMessage(0, 0, Device(), [&](std::uint32_t a) { freed.push_back(a); }, failed));
    EXPECT_EQ(freed, (std::vector<std::uint32_t>{chain[1] * S(), chain[0] * S()}));
    EXPECT_EQ(FreeBlocks(), before + (V().IsDvr() ? 0u : 1u));
}

TEST(MarkerDelete, LastBlockThatBeginsErasedIsFreedToo) {
    // The length stops at the erased bytes at the start of the second block,
    // but the chain links to it.
    ScratchCard card(*FindVariant(0xFF000006));
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    auto data = Pattern(16384 + 100);
    std::fill_n(data.begin() + 16384 - 128, 228, 0xFF);
    ASSERT_TRUE(AddMessage(recorder, card.Device(), 0, data));
    MessageInfo info;
    ASSERT_TRUE(recorder.GetMessageInfo(0, 0, info));
    ASSERT_EQ(info.length, 16384u - 128);
    std::vector<std::uint32_t> freed;
    std::uint32_t failed = 0;
    ASSERT_TRUE(recorder.DeleteMessage(0, 0, card.Device(), [&](std::uint32_t a) { freed.push_back(a); }, failed));
    EXPECT_EQ(freed, (std::vector<std::uint32_t>{2 * 16384, 1 * 16384}));
    EXPECT_EQ(recorder.Store().GetFreeBlockCount(), 1019u);
}

TEST_P(Messages, FailedDeleteStopsAtTheBlockItCouldNotFree) {
    TracingDevice device(Device());
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, *card_, &device));
    ASSERT_TRUE(AddMessage(recorder, device, 0, Pattern(2 * S())));
    const std::uint32_t first = recorder.Store().GetFirstBlockAddress(0, 0);
    const std::uint32_t last = recorder.Store().SeekBlock(first, 2 * S() - 1);
    device.FailNext('E');
    std::uint32_t failed = 0;
    std::vector<std::uint32_t> freed;
    EXPECT_FALSE(recorder.DeleteMessage(0, 0, device, [&](std::uint32_t a) { freed.push_back(a); }, failed));
    EXPECT_EQ(failed, last);
    EXPECT_TRUE(freed.empty());
    EXPECT_EQ(recorder.GetMessageCount(0), 0u);  // the slot is gone already
    EXPECT_NE(recorder.Store().CurrentLayout()->Link(last / S()), CardLayout::kFree);
}

TEST(MarkerCreate, FailedHeaderWriteGivesTheSlotBack) {
    for (char failing : {'E', 'W'}) {
        SCOPED_TRACE(failing);
        ScratchCard card(*FindVariant(0xFF000003));
        TracingDevice device(card.Device());
        CRecorder recorder;
        ASSERT_TRUE(MountCard(recorder, card, &device));
        device.FailNext(failing);
        MessageInfo info;
        info.length = 500;
        EXPECT_FALSE(recorder.CreateMessage(0, info));
        EXPECT_EQ(recorder.GetMessageCount(0), 0u);
        EXPECT_EQ(recorder.Store().CurrentLayout()->Link(1), CardLayout::kFree);
        ASSERT_TRUE(recorder.CreateMessage(0, info));
        EXPECT_EQ(info.slot, 0u);
        EXPECT_EQ(recorder.Store().GetFirstBlockAddress(0, 0), 16384u);
    }
}

}  // namespace
}  // namespace murmex::test
