// Detection, mount and write-back of the system area on card images of every
// variant.
#include <cstring>

#include "ScratchCard.h"

namespace murmex::test {
namespace {

class Mounting : public ::testing::TestWithParam<VariantDescriptor> {};
class DvrMounting : public ::testing::TestWithParam<VariantDescriptor> {};
class AlternatingWriteBack : public ::testing::TestWithParam<VariantDescriptor> {};
class SmallDvrCard : public ::testing::TestWithParam<VariantDescriptor> {};

INSTANTIATE_TEST_SUITE_P(Cards, Mounting, ::testing::ValuesIn(AllVariants()), VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, DvrMounting, ::testing::ValuesIn(DvrVariants()), VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, AlternatingWriteBack,
                         ::testing::ValuesIn(VariantsWhere([](const VariantDescriptor& v) {
                             return v.writeBack == WriteBackScheme::Alternating;
                         })),
                         VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, SmallDvrCard,
                         ::testing::ValuesIn(VariantsWhere([](const VariantDescriptor& v) {
                             return v.IsDvr() && v.blockSize == 8192;
                         })),
                         VariantName);

TEST_P(Mounting, BlankCardIsDetectedAndMountsEmpty) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    CRecorder recorder;
    ScriptedAnswer answer;
    ASSERT_TRUE(recorder.Store().Mount(card.Device(), answer));
    EXPECT_EQ(recorder.Store().GetVariantCode(), v.code);
    EXPECT_EQ(answer.asked, 0);
    EXPECT_EQ(card.Device().GetBlockBytes(), v.blockSize);
    EXPECT_EQ(recorder.Store().GetBlockSize(), v.blockSize);
    EXPECT_EQ(recorder.Store().GetBlockCount(), v.blockCount);
    EXPECT_EQ(recorder.GetFolderCount(), v.folderCount);
    EXPECT_EQ(recorder.GetTotalMessages(), 0u);
    EXPECT_EQ(recorder.Store().GetFreeBlockCount(), v.blockCount - v.FirstAllocatable());
    EXPECT_EQ(recorder.Store().GetDefaultExtension(), v.speechWav ? "wav" : "mxd");
    const CardLayout* layout = recorder.Store().CurrentLayout();
    ASSERT_NE(layout, nullptr);
    EXPECT_EQ(layout->SystemBlockNumber(), 0u);
    EXPECT_EQ(layout->LinkBlockNumber(), v.IsDvr() ? 2u : 0u);
    EXPECT_EQ(layout->FindFreeBlock(), v.FirstAllocatable());
}

TEST(UnmarkedCard, QuestionIsAskedOnEveryMountAndDecidesTheVariant) {
    struct Case {
        bool twoModes;
        std::uint32_t code;
    };
    for (const Case c : {Case{true, 0xFF000003}, Case{false, 0xFF000005}}) {
        SCOPED_TRACE(c.twoModes ? "Yes" : "No");
        FormatOptions unmarked;
        unmarked.withoutMarker = true;
        ScratchCard card(*FindVariant(c.code), unmarked);
        ASSERT_EQ(card.Bytes(16, 1)[0], 0xFF);
        CRecorder recorder;
        ScriptedAnswer answer(c.twoModes);
        ASSERT_TRUE(recorder.Store().Mount(card.Device(), answer));
        EXPECT_EQ(recorder.Store().GetVariantCode(), c.code);
        EXPECT_EQ(answer.asked, 1);
        card.Reconnect();
        ASSERT_TRUE(recorder.Store().Mount(card.Device(), answer));
        EXPECT_EQ(answer.asked, 2);
        EXPECT_EQ(recorder.Store().GetDefaultExtension(), c.twoModes ? "mxd" : "wav");
    }
}

TEST(UnmarkedCard, MarkedLayoutsOtherThanTheTwoModeOnesRefuseIt) {
    // The question only ever leads to 03 or 05; a card of 04 (marker 3) with
    // its marker erased is read as one of those, and the 04 layout alone would
    // not take it.
    FormatOptions unmarked;
    unmarked.withoutMarker = true;
    ScratchCard card(*FindVariant(0xFF000004), unmarked);
    CardLayout layout(*FindVariant(0xFF000004));
    EXPECT_FALSE(layout.Mount(card.Device()));
    CardLayout twoModes(*FindVariant(0xFF000003));
    EXPECT_TRUE(twoModes.Mount(card.Device()));
}

TEST(UnknownCard, UnrecognisedMarkerOrModelCodeFailsWithCodeZero) {
    struct Case {
        std::uint32_t code;
        std::uint32_t at;
        std::uint8_t value;
    };
    // Marker 6 and model codes 4 and 0x30 name no layout.
    for (const Case c : {Case{0xFF000003, 16, 6}, Case{0xFF000001, 40, 4}, Case{0xFF000021, 40, 0x30}}) {
        ScratchCard card(*FindVariant(c.code));
        card.Put(c.at, std::vector<std::uint8_t>{c.value});
        CRecorder recorder;
        ScriptedAnswer answer;
        EXPECT_FALSE(recorder.Store().Mount(card.Device(), answer));
        EXPECT_EQ(recorder.Store().GetVariantCode(), 0u);
        EXPECT_EQ(recorder.GetFolderCount(), 0u);
    }
}

TEST(UnmountedStore, AnswersNothing) {
    CMessageStore store;
    EXPECT_EQ(store.GetVariantCode(), 0u);
    EXPECT_EQ(store.GetFolderCount(), 0u);
    EXPECT_EQ(store.GetFolderName(0), "");
    EXPECT_EQ(store.SeekBlock(0x18000, 0), 0xFFFFFFFFu);
    EXPECT_EQ(store.ExtendChain(0x18000, 0), 0xFFFFFFFFu);
    EXPECT_EQ(store.GetFirstBlockAddress(0, 0), 0xFFFFu);
    EXPECT_EQ(store.WriteFileHeader(0, 0, nullptr), 0xFFFF);
    EXPECT_FALSE(store.ReadFileHeader(nullptr));
    EXPECT_FALSE(store.CreateMessage(0, {}, 100, 0));
    EXPECT_FALSE(store.WriteBack());
}

TEST_P(SmallDvrCard, DetectionSwitchesTo8192ByteBlocks) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    ASSERT_EQ(card.Device().GetBlockBytes(), 16384u);
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    EXPECT_EQ(card.Device().GetBlockBytes(), 8192u);
    EXPECT_EQ(recorder.Store().CurrentLayout()->LinkBlockNumber(), 2u);

    // The link block is at 0x4000 on these cards; with 16384-byte blocks it
    // would have been looked for at 0x8000. Move it there and mount fails.
    const auto linkBlock = card.Bytes(0x4000, 8192);
    card.Put(0x8000, linkBlock);
    card.Fill(0x4000, 8192, 0xFF);
    CRecorder again;
    EXPECT_FALSE(MountCard(again, card));

    // A fresh connect starts at 16384 bytes again, whatever the last card was.
    card.Reconnect();
    EXPECT_EQ(card.Device().GetBlockBytes(), 16384u);
}

TEST_P(DvrMounting, MountsFromBlock1WhenBlock0IsErased) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    card.PutBlock(1, card.Block(0));
    card.EraseRaw(0);

    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    EXPECT_EQ(recorder.Store().CurrentLayout()->SystemBlockNumber(), 1u);
    const auto data = Pattern(v.blockSize + 300);
    ASSERT_TRUE(AddMessage(recorder, card.Device(), 0, data));
    ASSERT_TRUE(recorder.Store().WriteBack());

    if (v.writeBack == WriteBackScheme::Alternating) {
        // The new copy goes to block 0 and block 1 is erased.
        EXPECT_EQ(recorder.Store().CurrentLayout()->SystemBlockNumber(), 0u);
        EXPECT_EQ(card.Bytes(card.At(0, 40), 1)[0], v.detectKey);
        EXPECT_TRUE(card.BlockErased(1));
        EXPECT_EQ(recorder.Store().CurrentLayout()->LinkBlockNumber(), 3u);
        EXPECT_TRUE(card.BlockErased(2));
    } else {
        EXPECT_EQ(recorder.Store().CurrentLayout()->SystemBlockNumber(), 1u);
        EXPECT_TRUE(card.BlockErased(0));
    }

    CRecorder later;
    ASSERT_TRUE(MountCard(later, card));
    ASSERT_EQ(later.GetMessageCount(0), 1u);
    EXPECT_EQ(ReadWhole(later, card.Device(), 0, 0, data.size()), data);
}

TEST_P(DvrMounting, LinkTableComesFromBlock3WhenBlock2LacksTheSignature) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    auto link = card.Block(2);
    link[2 * 6] = 0x00;  // block 6 ends a chain (links to itself)
    link[2 * 6 + 1] = 0x06;
    card.PutBlock(3, link);
    card.Put(card.At(2), std::vector<std::uint8_t>{'D', 'V', 'X'});

    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    EXPECT_EQ(recorder.Store().CurrentLayout()->LinkBlockNumber(), 3u);
    EXPECT_EQ(recorder.Store().CurrentLayout()->FindFreeBlock(), 7u);

    card.EraseRaw(3);
    CRecorder none;
    card.Reconnect();
    ScriptedAnswer answer;
    EXPECT_FALSE(none.Store().Mount(card.Device(), answer));
    EXPECT_EQ(none.Store().GetVariantCode(), v.code);  // detected, but not mounted
}

TEST_P(DvrMounting, BothSystemBlocksInvalidFailsMount) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    card.Put(card.At(0, 41), std::vector<std::uint8_t>{0xFF});
    CRecorder recorder;
    EXPECT_FALSE(MountCard(recorder, card));
    EXPECT_EQ(recorder.Store().GetVariantCode(), 0u);
    // The layout's own mount refuses the card too.
    CardLayout layout(v);
    card.Device().SetCardSize(v.cardMegabytes);
    EXPECT_FALSE(layout.Mount(card.Device()));
}

// The parts of the system and link blocks that the store does not
// interpret, as (offset, length) within the block.
struct Region {
    std::uint32_t at;
    std::uint32_t length;
};

std::vector<Region> SystemBlockRegions(const VariantDescriptor& v) {
    std::vector<Region> r;
    if (v.IsDvr()) {
        r.push_back({42, 470});
        r.push_back({512 + v.directoryBytes, v.blockSize - 512 - v.directoryBytes});
        // The last 12 bytes of each directory sector hold no entry.
        for (std::uint32_t s = 0; s < v.directoryBytes / 512; ++s) r.push_back({512 + 512 * s + 500, 12});
        return r;
    }
    r.push_back({0x50, 48});
    r.push_back({0x180, 128});
    for (std::uint32_t k = 0; k < v.linkSectors; ++k) r.push_back({v.linkTableStart + 512 * k + 256, 256});
    const std::uint32_t end = v.linkTableStart + 512 * v.linkSectors;
    r.push_back({end, v.blockSize - end});
    return r;
}

std::vector<Region> LinkBlockRegions(const VariantDescriptor& v) {
    // Entries of blocks 1-5 (after the signature) are never changed either.
    return {{3, 9}, {2 * v.blockCount, v.blockSize - 2 * v.blockCount}};
}

TEST_P(Mounting, WriteBackKeepsEveryByteItDoesNotOwn) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    std::uint32_t seed = 5;
    for (const Region& r : SystemBlockRegions(v)) card.Put(card.At(0, r.at), Pattern(r.length, seed++));
    if (v.IsDvr())
        for (const Region& r : LinkBlockRegions(v)) card.Put(card.At(2, r.at), Pattern(r.length, seed++));
    const auto systemBefore = card.Block(0);
    const auto linkBefore = card.Block(v.IsDvr() ? 2 : 0);

    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    const auto data = Pattern(2 * v.blockSize + 10);
    ASSERT_TRUE(AddMessage(recorder, card.Device(), 1, data));
    ASSERT_TRUE(recorder.Store().WriteBack());

    const CardLayout& layout = *recorder.Store().CurrentLayout();
    const auto systemAfter = card.Block(layout.SystemBlockNumber());
    for (const Region& r : SystemBlockRegions(v))
        EXPECT_TRUE(std::equal(systemBefore.begin() + r.at, systemBefore.begin() + r.at + r.length,
                               systemAfter.begin() + r.at))
            << "system block bytes " << r.at << "+" << r.length;
    EXPECT_TRUE(std::equal(systemBefore.begin(), systemBefore.begin() + (v.IsDvr() ? 42 : 0x80), systemAfter.begin()));
    if (v.IsDvr()) {
        const auto linkAfter = card.Block(layout.LinkBlockNumber());
        for (const Region& r : LinkBlockRegions(v))
            EXPECT_TRUE(std::equal(linkBefore.begin() + r.at, linkBefore.begin() + r.at + r.length,
                                   linkAfter.begin() + r.at))
                << "link block bytes " << r.at << "+" << r.length;
        EXPECT_EQ(std::memcmp(linkAfter.data(), "DVR", 3), 0);
    }

    CRecorder later;
    ASSERT_TRUE(MountCard(later, card));
    ASSERT_EQ(later.GetMessageCount(1), 1u);
    EXPECT_EQ(ReadWhole(later, card.Device(), 1, 0, data.size()), data);
}

TEST_P(AlternatingWriteBack, WriteBackErasesTheSpareCopyBeforeWritingIt) {
    // A power cut between writing a copy and erasing the old one leaves
    // both on the card; mount takes blocks 0 and 2, and the stale copies in
    // 1 and 3 must not bleed into the next write-back.
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    auto staleSystem = card.Block(0);
    std::fill(staleSystem.begin() + 512, staleSystem.begin() + 512 + v.directoryBytes, 0x00);
    card.PutBlock(1, staleSystem);
    auto staleLink = card.Block(2);
    std::fill(staleLink.begin() + 12, staleLink.begin() + 2 * v.blockCount, 0x00);
    card.PutBlock(3, staleLink);

    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    ASSERT_EQ(recorder.Store().CurrentLayout()->SystemBlockNumber(), 0u);
    const auto data = Pattern(3 * v.blockSize);
    ASSERT_TRUE(AddMessage(recorder, card.Device(), 2, data));
    ASSERT_TRUE(recorder.Store().WriteBack());

    const CardLayout& layout = *recorder.Store().CurrentLayout();
    ASSERT_EQ(layout.SystemBlockNumber(), 1u);
    ASSERT_EQ(layout.LinkBlockNumber(), 3u);
    const auto system = card.Block(1);
    const auto dir = layout.DirectoryImage();
    EXPECT_TRUE(std::equal(dir.begin(), dir.end(), system.begin() + 512));
    const auto link = card.Block(3);
    for (std::uint32_t b = 0; b < v.blockCount; ++b) ASSERT_EQ(BE16(link, 2 * b), layout.Link(b)) << "entry " << b;
    EXPECT_TRUE(card.BlockErased(0));
    EXPECT_TRUE(card.BlockErased(2));

    CRecorder later;
    ASSERT_TRUE(MountCard(later, card));
    EXPECT_EQ(later.GetTotalMessages(), 1u);
    EXPECT_EQ(ReadWhole(later, card.Device(), 2, 0, data.size()), data);
}

TEST_P(Mounting, FailedWriteBackKeepsTheChangesInMemory) {
    const VariantDescriptor& v = GetParam();
    ScratchCard card(v);
    TracingDevice device(card.Device());
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card, &device));
    ASSERT_TRUE(AddMessage(recorder, device, 0, Pattern(100)));
    device.FailNext('W');
    EXPECT_FALSE(recorder.Store().WriteBack());
    EXPECT_EQ(recorder.GetMessageCount(0), 1u);
    // An in-place write-back erased its block before the write failed; the
    // retry must rebuild it from the copy kept in memory, not from the card.
    ASSERT_TRUE(recorder.Store().WriteBack());

    CRecorder later;
    ASSERT_TRUE(MountCard(later, card));
    EXPECT_EQ(later.GetMessageCount(0), 1u);
}

}  // namespace
}  // namespace murmex::test
