// Block chains and allocation on card images: bad blocks, the lowest-free
// rule, chain ends, running out of blocks, and freeing.
#include "ScratchCard.h"

namespace murmex::test {
namespace {

class Chains : public ::testing::TestWithParam<VariantDescriptor> {
protected:
    void SetUp() override {
        card_.emplace(GetParam());
        ASSERT_TRUE(MountCard(recorder_, *card_));
    }
    CMessageStore& Store() { return recorder_.Store(); }
    const CardLayout& Layout() { return *recorder_.Store().CurrentLayout(); }
    const VariantDescriptor& V() const { return GetParam(); }
    std::uint32_t S() const { return GetParam().blockSize; }
    std::uint32_t H() const { return GetParam().HeaderOffset(); }
    std::uint16_t EndOf(std::uint32_t block) const {
        return V().IsDvr() ? static_cast<std::uint16_t>(block) : CardLayout::kMarkerEnd;
    }
    // The blocks of the chain from `first`, following upward links.
    std::vector<std::uint32_t> ChainFrom(std::uint32_t first) {
        std::vector<std::uint32_t> blocks{first};
        for (std::uint32_t b = first;;) {
            const std::uint32_t c = Layout().Link(b);
            if (c <= b || c >= V().blockCount) break;
            blocks.push_back(c);
            b = c;
        }
        return blocks;
    }

    std::optional<ScratchCard> card_;
    CRecorder recorder_;
};

INSTANTIATE_TEST_SUITE_P(Cards, Chains, ::testing::ValuesIn(AllVariants()), VariantName);

TEST_P(Chains, BadBlockListOnlyCountsEntriesBelowN) {
    // Entries: block 7, N, 0xFFFF, 0xFFFE; only block 7 is bad.
    std::vector<std::uint8_t> list;
    for (std::uint16_t b : {std::uint16_t{7}, static_cast<std::uint16_t>(V().blockCount), std::uint16_t{0xFFFF},
                            std::uint16_t{0xFFFE}})
        for (std::uint8_t byte : BE16Bytes(b)) list.push_back(byte);
    card_->Put(card_->BadListAt(), list);
    ASSERT_TRUE(MountCard(recorder_, *card_));
    EXPECT_FALSE(Layout().IsUsable(7));
    EXPECT_TRUE(Layout().IsUsable(V().blockCount - 1));
    EXPECT_EQ(Layout().GetFreeBlockCount(), V().blockCount - V().FirstAllocatable() - 1);
    EXPECT_EQ(Layout().FindFreeBlock(), V().FirstAllocatable());
    // Counting from block 6, the third free block is 9: 7 is skipped.
    EXPECT_EQ(Layout().PickLastBlock(6, 3), 9u);

    // A message that runs up to block 10 goes around block 7.
    const std::uint32_t first = V().FirstAllocatable();
    const auto data = Pattern((10 - first) * S() - H());
    ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 0, data));
    std::vector<std::uint32_t> expected;
    for (std::uint32_t b = first; b <= 10; ++b)
        if (b != 7) expected.push_back(b);
    EXPECT_EQ(ChainFrom(first), expected);
    EXPECT_EQ(Layout().Link(10), EndOf(10));
    EXPECT_EQ(Layout().FindFreeBlock(), 11u);
    EXPECT_EQ(ReadWhole(recorder_, card_->Device(), 0, 0, data.size()), data);
}

TEST_P(Chains, FirstFreeBlockSkipsABadOne) {
    FormatOptions options;
    options.badBlocks = {static_cast<std::uint16_t>(V().FirstAllocatable())};
    ScratchCard card(V(), options);
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    EXPECT_EQ(recorder.Store().CurrentLayout()->FindFreeBlock(), V().FirstAllocatable() + 1);
}

TEST_P(Chains, MessageOfExactlyOneBlockLinksToItself) {
    const std::uint32_t first = Layout().FindFreeBlock();
    const auto data = Pattern(S());
    ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 0, data));
    if (V().IsDvr()) {
        EXPECT_EQ(Layout().Link(first), first);
        EXPECT_EQ(ChainFrom(first).size(), 1u);
        EXPECT_EQ(Layout().ChainLength(first, 0xFFFF), 1u);
    } else {
        // The header takes 128 bytes of the first block: S bytes need two.
        EXPECT_EQ(ChainFrom(first).size(), 2u);
        EXPECT_EQ(Layout().Link(first + 1), CardLayout::kMarkerEnd);
    }
    const auto info = Store().GetMessageInfo(0, 0);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->length, S());
}

TEST_P(Chains, ExtendWithinTheFirstBlockOnlyTakesThatBlock) {
    const std::uint32_t first = Layout().FindFreeBlock();
    const std::uint32_t freeBefore = Store().GetFreeBlockCount();
    for (std::uint32_t offset : {0u, 5u, S() - H() - 1}) {
        SCOPED_TRACE(offset);
        EXPECT_EQ(Store().ExtendChain(first * S(), offset), first * S());
        EXPECT_EQ(Layout().Link(first), EndOf(first));
        EXPECT_EQ(Store().GetFreeBlockCount(), freeBefore - 1);
        EXPECT_EQ(Store().ExtendRemaining(first * S(), offset), S() - H() - offset);
    }
    // One byte further starts the second block.
    EXPECT_EQ(Store().ExtendChain(first * S(), S() - H()), (first + 1) * S());
    EXPECT_EQ(Store().OffsetInBlock(first * S(), S() - H()), 0u);
    EXPECT_EQ(Store().GetFreeBlockCount(), freeBefore - 2);
}

TEST_P(Chains, RunningOutOfBlocksKeepsTheChainWithAnEndMark) {
    const std::uint32_t first = Layout().FindFreeBlock();
    const std::uint32_t n = V().blockCount;
    const std::uint32_t beyond = (n + 3) * S();
    const std::uint32_t reached = Store().ExtendChain(first * S(), beyond);
    EXPECT_EQ(reached, (n - 1) * S());
    EXPECT_EQ(Store().ExtendRemaining(first * S(), beyond), 0u);
    EXPECT_EQ(Store().GetFreeBlockCount(), 0u);
    EXPECT_EQ(Layout().FindFreeBlock(), CardLayout::kFree);
    const auto chain = ChainFrom(first);
    EXPECT_EQ(chain.size(), n - first);
    EXPECT_EQ(chain.back(), n - 1);
    EXPECT_EQ(Layout().Link(n - 1), EndOf(n - 1));
    // Inside the allocated part the chain is whole.
    EXPECT_EQ(Store().RemainingInBlock(first * S(), (n - first - 1) * S() - H()), S());

    // Creation fails on the full card; a write past the end fails too.
    MessageInfo info;
    info.length = 10;
    EXPECT_FALSE(recorder_.CreateMessage(0, info));
}

TEST_P(Chains, WriteThatRunsOutOfBlocksFailsAndKeepsWhatItTook) {
    // Leave three free blocks, then write a message that needs five.
    const std::uint32_t filler = Layout().FindFreeBlock();
    const std::uint32_t freeNow = Store().GetFreeBlockCount();
    Store().ExtendChain(filler * S(), (freeNow - 4) * S());
    ASSERT_EQ(Store().GetFreeBlockCount(), 3u);
    MessageInfo info;
    info.length = 2 * S() - H();  // two blocks: creation checks only the declared length
    ASSERT_TRUE(recorder_.CreateMessage(0, info));
    const std::uint32_t first = Store().GetFirstBlockAddress(0, 0) / S();
    const auto data = Pattern(5 * S());
    EXPECT_FALSE(WriteWhole(recorder_, card_->Device(), 0, 0, data, S()));
    EXPECT_EQ(Store().GetFreeBlockCount(), 0u);
    const auto chain = ChainFrom(first);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(Layout().Link(chain.back()), EndOf(chain.back()));
}

TEST_P(Chains, FreeBlockOutsideTheMessageBlocksFailsAndLeavesTheCard) {
    const std::uint32_t n = V().blockCount;
    const bool spareBlocks = V().ImageBytes() > n * S();  // 1020 and 2044 blocks on a card of 1024 and 2048
    const auto pattern = Pattern(S(), 9);
    if (spareBlocks) card_->PutBlock(n, pattern);
    TracingDevice device(card_->Device());
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, *card_, &device));
    device.log.clear();
    std::vector<std::uint32_t> refused{n * S(), (n + 1) * S(), 0xFFFFC000u, 0};
    if (V().IsDvr()) refused.insert(refused.end(), {S(), 2 * S(), 5 * S()});
    for (std::uint32_t address : refused) EXPECT_FALSE(recorder.Store().FreeBlock(address)) << address;
    EXPECT_TRUE(device.log.empty());
    if (spareBlocks) {
        EXPECT_EQ(card_->Block(n), pattern);
    }

    CRecorder again;
    EXPECT_TRUE(MountCard(again, *card_));
}

TEST_P(Chains, FreeBlockErasesAndMarksFree) {
    const auto data = Pattern(2 * S());
    ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 0, data));
    const std::uint32_t first = Store().GetFirstBlockAddress(0, 0) / S();
    const auto chain = ChainFrom(first);
    ASSERT_EQ(chain.size(), V().IsDvr() ? 2u : 3u);
    const std::uint32_t last = chain.back();
    ASSERT_FALSE(card_->BlockErased(last));

    TracingDevice device(card_->Device());
    CRecorder traced;
    ASSERT_TRUE(recorder_.Store().WriteBack());
    ASSERT_TRUE(MountCard(traced, *card_, &device));
    // A failing erase leaves the block in its chain.
    device.FailNext('E');
    EXPECT_FALSE(traced.Store().FreeBlock(last * S()));
    EXPECT_NE(traced.Store().CurrentLayout()->Link(last), CardLayout::kFree);
    EXPECT_FALSE(card_->BlockErased(last));

    // Any address inside the block names it.
    EXPECT_TRUE(traced.Store().FreeBlock(last * S() + 512));
    EXPECT_EQ(traced.Store().CurrentLayout()->Link(last), CardLayout::kFree);
    EXPECT_TRUE(card_->BlockErased(last));
}

TEST_P(Chains, ChainLengthCountsALinkBeyondTheCardOnceMore) {
    // A never-linked first block: its 0xFFFF entry counts once more.
    const std::uint32_t first = Layout().FindFreeBlock();
    EXPECT_EQ(Layout().ChainLength(first, 0xFFFF), 2u);
    EXPECT_EQ(Layout().ChainLength(first, first), 1u);
    Store().ExtendChain(first * S(), 2 * S());
    const std::uint32_t ending = V().IsDvr() ? 3u : 4u;  // the marker end mark 0xFDFD is above N
    EXPECT_EQ(Layout().ChainLength(first, 0xFFFF), ending);
    EXPECT_EQ(Layout().ChainLength(first, first + 1), 2u);
}

TEST_P(Chains, SkipTakesBlocksWithoutWritingThem) {
    MessageInfo info;
    info.length = 2 * S();
    ASSERT_TRUE(recorder_.CreateMessage(0, info));
    MessageCursor cursor;
    ASSERT_TRUE(recorder_.OpenMessage(0, 0, card_->Device(), cursor));
    const std::uint32_t first = cursor.firstAddress / S();
    ASSERT_TRUE(recorder_.SkipMessage(S(), 2, cursor));
    EXPECT_EQ(cursor.position, 2 * S());
    const auto chain = ChainFrom(first);
    EXPECT_EQ(chain.size(), V().IsDvr() ? 2u : 3u);
    EXPECT_TRUE(card_->BlockErased(chain.back()));
    if (V().IsDvr()) {
        EXPECT_TRUE(card_->BlockErased(first));
    }
}

}  // namespace
}  // namespace murmex::test
