// The directory encodings as they land on the card, slot removal, and the
// marker format's message header and length.
#include "ScratchCard.h"

namespace murmex::test {
namespace {

// Mounted blank card of the test's variant.
class CardTest : public ::testing::TestWithParam<VariantDescriptor> {
protected:
    void SetUp() override {
        card_.emplace(GetParam());
        ASSERT_TRUE(MountCard(recorder_, *card_));
    }
    void Remount() { ASSERT_TRUE(MountCard(recorder_, *card_)); }
    CMessageStore& Store() { return recorder_.Store(); }
    const VariantDescriptor& V() const { return GetParam(); }
    std::uint32_t S() const { return GetParam().blockSize; }
    std::span<const std::uint8_t> Dir() { return Store().CurrentLayout()->DirectoryImage(); }

    std::optional<ScratchCard> card_;
    CRecorder recorder_;
};

class Slots : public CardTest {};
class DvrSlots : public CardTest {};
class MarkerSlots : public CardTest {};
class DatedSlots : public CardTest {};
class PictureFolder : public CardTest {};

INSTANTIATE_TEST_SUITE_P(Cards, Slots, ::testing::ValuesIn(AllVariants()), VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, DvrSlots, ::testing::ValuesIn(DvrVariants()), VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, MarkerSlots, ::testing::ValuesIn(MarkerVariants()), VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, DatedSlots,
                         ::testing::ValuesIn(VariantsWhere([](const VariantDescriptor& v) { return v.Generation() >= 1; })),
                         VariantName);
INSTANTIATE_TEST_SUITE_P(Cards, PictureFolder,
                         ::testing::ValuesIn(VariantsWhere([](const VariantDescriptor& v) { return v.pictureFolder; })),
                         VariantName);

// Byte offset of the spare entry right after a folder's 99th slot.
std::size_t SpareEntryOffset(const VariantDescriptor& v, std::uint32_t folder) {
    switch (v.encoding) {
        case DirectoryEncoding::Marker: return 512 * folder + 198;
        case DirectoryEncoding::Generation0: return 2048 * folder + 512 * 3 + 20 * 24;
        default: return 1024 * folder + 512 + 10 * 49;
    }
}

TEST_P(DvrSlots, LastSectorFieldsOfTheLength) {
    struct Case {
        const char* name;
        std::uint32_t blocks;  // L = blocks * S + extra
        std::int32_t extra;
        std::uint8_t sectors;  // full sectors before the last one
        std::uint16_t lastBytes;
    };
    const std::uint8_t full = static_cast<std::uint8_t>(S() / 512 - 1);
    const Case cases[] = {
        {"one byte", 0, 1, 0, 1},
        {"one sector", 0, 512, 0, 512},
        {"sector and a byte", 0, 513, 1, 1},
        {"one block", 1, 0, full, 512},
        {"block and a byte", 1, 1, 0, 1},
        {"two blocks less a byte", 2, -1, full, 511},
    };
    std::uint32_t slot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto data = Pattern(static_cast<std::size_t>(std::int64_t{c.blocks} * S() + c.extra), slot);
        const auto created = AddMessage(recorder_, card_->Device(), 0, data);
        ASSERT_EQ(created, slot);
        const auto e = Dir().subspan(V().Generation() == 0 ? 20 * slot : 10 * slot);
        if (V().Generation() == 0) {
            EXPECT_EQ(e[7], c.sectors);
            EXPECT_EQ(BE16(e, 5), c.lastBytes);
        } else {
            EXPECT_EQ(e[0] & 0x1F, c.sectors);
            EXPECT_EQ(BE16(e, 3), c.lastBytes);
        }
        const auto info = Store().GetMessageInfo(0, slot);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->length, data.size());
        ++slot;
    }
    // And again from the card.
    ASSERT_TRUE(Store().WriteBack());
    Remount();
    for (std::uint32_t i = 0; i < slot; ++i) {
        const auto info = Store().GetMessageInfo(0, i);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->length, std::int64_t{cases[i].blocks} * S() + cases[i].extra);
    }
}

TEST(Generation0, FullBlockOf16384StoresSector31And512) {
    for (std::uint32_t code : {0xFF000001u, 0xFF000002u}) {
        SCOPED_TRACE(VariantCodeText(code));
        ScratchCard card(*FindVariant(code));
        CRecorder recorder;
        ASSERT_TRUE(MountCard(recorder, card));
        ASSERT_TRUE(AddMessage(recorder, card.Device(), 0, Pattern(16384)));
        const auto e = recorder.Store().CurrentLayout()->DirectoryImage();
        EXPECT_EQ(e[7], 31);
        EXPECT_EQ(BE16(e, 5), 512);
        EXPECT_EQ(BE16(e, 1), BE16(e, 3));  // first block is the last
        EXPECT_EQ(recorder.Store().GetMessageInfo(0, 0)->length, 16384u);
    }
}

TEST(Generation0, EntryKeepsStampAndDurationAsWritten) {
    ScratchCard card(*FindVariant(0xFF000001));
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    MessageInfo info;
    info.type = 0;
    info.length = 1080 * 3661 + 500;  // 1 h 1 min 1 s at 1080 bytes a second
    info.stamp = {124, 13, 40, 25, 61, 99};  // kept byte for byte, however odd
    ASSERT_TRUE(recorder.CreateMessage(2, info));
    const auto e = recorder.Store().CurrentLayout()->DirectoryImage().subspan(2 * 2048, 20);
    const std::uint16_t first = BE16(e, 1);
    EXPECT_EQ(first, 6);
    EXPECT_EQ(BE16(e, 3), first + (info.length - 1) / 16384);
    EXPECT_EQ(e[8], 0xFF);
    EXPECT_EQ(e[9], 0xFF);
    EXPECT_EQ(e[10], 0xFF);
    EXPECT_TRUE(std::equal(info.stamp.begin(), info.stamp.end(), e.begin() + 11));
    EXPECT_EQ(e[17], 1);
    EXPECT_EQ(e[18], 1);
    EXPECT_EQ(e[19], 1);
    MessageInfo back;
    ASSERT_TRUE(recorder.GetMessageInfo(2, 0, back));
    EXPECT_EQ(back.seconds, 3661u);
    EXPECT_EQ(back.stamp, info.stamp);
}

TEST_P(DatedSlots, DatePackingAndYearsAbove99) {
    struct Case {
        DateStamp stamp;
        DateStamp readBack;
    };
    const Case cases[] = {
        {{24, 12, 31, 23, 59, 58}, {24, 12, 31, 23, 59, 58}},
        {{99, 1, 1, 0, 0, 0}, {99, 1, 1, 0, 0, 0}},
        {{100, 6, 15, 12, 0, 0}, {}},
        {{127, 6, 15, 12, 0, 0}, {}},
        {{128, 6, 15, 12, 0, 0}, {0, 6, 15, 12, 0, 0}},  // only seven bits of year are kept
    };
    std::uint32_t slot = 0;
    for (const Case& c : cases) {
        ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 0, Pattern(10), 0, c.stamp));
        const auto e = Dir().subspan(10 * slot, 10);
        EXPECT_EQ(BE16(e, 5), ((c.stamp[0] & 0x7F) << 9) | (c.stamp[1] << 5) | c.stamp[2]);
        MessageInfo info;
        ASSERT_TRUE(recorder_.GetMessageInfo(0, slot, info));
        EXPECT_EQ(info.stamp, c.readBack) << "year " << int{c.stamp[0]};
        ++slot;
    }
}

TEST_P(Slots, RemovingSlot0OfThreeMovesTheOthersDown) {
    std::vector<std::uint32_t> firsts;
    for (std::uint32_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 1, Pattern(100 + i, i)));
        firsts.push_back(Store().GetFirstBlockAddress(1, i));
    }
    ASSERT_TRUE(Store().RemoveSlot(1, 0));
    EXPECT_EQ(Store().GetMessageCount(1), 2u);
    EXPECT_EQ(Store().GetFirstBlockAddress(1, 0), firsts[1]);
    EXPECT_EQ(Store().GetFirstBlockAddress(1, 1), firsts[2]);
    EXPECT_EQ(Store().GetFirstBlockAddress(1, 2), 0u);
    EXPECT_EQ(Store().GetMessageInfo(1, 1)->length, 102u);
    // Removal leaves the blocks alone.
    EXPECT_EQ(Store().GetFreeBlockCount(), V().blockCount - V().FirstAllocatable() - 3);
}

TEST_P(Slots, FullFolderAndRemovingItsLastSlot) {
    const std::uint32_t folder = 0;
    for (std::uint32_t i = 0; i < 99; ++i)
        ASSERT_EQ(AddMessage(recorder_, card_->Device(), folder, Pattern(1, i)), i);
    EXPECT_EQ(Store().GetMessageCount(folder), 99u);
    MessageInfo more;
    more.length = 10;
    EXPECT_FALSE(recorder_.CreateMessage(folder, more));
    const std::size_t spare = SpareEntryOffset(V(), folder);
    const std::size_t size = V().encoding == DirectoryEncoding::Marker ? 2 : V().Generation() == 0 ? 20 : 10;
    auto spareErased = [&] {
        const auto e = Dir().subspan(spare, size);
        return std::all_of(e.begin(), e.end(), [](std::uint8_t b) { return b == 0xFF; });
    };
    EXPECT_TRUE(spareErased());

    ASSERT_TRUE(Store().RemoveSlot(folder, 98));
    EXPECT_EQ(Store().GetMessageCount(folder), 98u);
    EXPECT_EQ(Store().GetFirstBlockAddress(folder, 98), 0u);
    EXPECT_TRUE(spareErased());
    // The next folder is untouched and the freed slot is taken again.
    EXPECT_EQ(Store().GetMessageCount(folder + 1), 0u);
    EXPECT_TRUE(recorder_.CreateMessage(folder, more));
    EXPECT_EQ(more.slot, 98u);
}

TEST(EmptySlotTest, WhichByteMarksAnEmptySlot) {
    struct Case {
        std::uint32_t code;
        std::uint8_t byte0;
        std::uint8_t byte1;
        bool used;
    };
    // Generation 2 uses all of byte 0 for type and sectors; its empty mark is
    // the first block's high byte. The others look at byte 0.
    const Case cases[] = {
        {0xFF000021, 0xFF, 0x00, true},  {0xFF000023, 0xFF, 0x00, true}, {0xFF000021, 0x00, 0xFF, false},
        {0xFF000011, 0xFF, 0x00, false}, {0xFF000011, 0x00, 0xFF, true}, {0xFF000001, 0xFF, 0x00, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(VariantCodeText(c.code) + " " + std::to_string(c.byte0) + " " + std::to_string(c.byte1));
        ScratchCard card(*FindVariant(c.code));
        card.Put(card.DirectoryAt(), std::vector<std::uint8_t>{c.byte0, c.byte1, 0x06, 0x02, 0x00});
        CRecorder recorder;
        ASSERT_TRUE(MountCard(recorder, card));
        EXPECT_EQ(recorder.GetMessageCount(0), c.used ? 1u : 0u);
        MessageInfo info;
        info.length = 10;
        ASSERT_TRUE(recorder.CreateMessage(0, info));
        EXPECT_EQ(info.slot, c.used ? 1u : 0u);
    }
}

TEST(Generation2, TypeSevenWith31SectorsIsAUsedSlot) {
    for (std::uint32_t code : {0xFF000021u, 0xFF000022u}) {
        ScratchCard card(*FindVariant(code));
        CRecorder recorder;
        ASSERT_TRUE(MountCard(recorder, card));
        ASSERT_TRUE(AddMessage(recorder, card.Device(), 0, Pattern(16384), 7));
        EXPECT_EQ(recorder.Store().CurrentLayout()->DirectoryImage()[0], 0xFF);
        EXPECT_EQ(recorder.GetMessageCount(0), 1u);
        EXPECT_EQ(recorder.GetRecordKind(0, 0), 2);
        MessageInfo info;
        ASSERT_TRUE(recorder.GetMessageInfo(0, 0, info));
        EXPECT_EQ(info.type, 7);
        EXPECT_EQ(info.length, 16384u);
        EXPECT_EQ(info.seconds, 16384u / 496);
    }
}

TEST(Generation1, TypesTwoAndThreeAreNotFound) {
    ScratchCard card(*FindVariant(0xFF000012));
    // Byte 0 0x40: type bits 6-5 = 2.
    card.Put(card.DirectoryAt(), std::vector<std::uint8_t>{0x40, 0x00, 0x06, 0x00, 0x10});
    CRecorder recorder;
    ASSERT_TRUE(MountCard(recorder, card));
    EXPECT_EQ(recorder.GetMessageCount(0), 1u);
    MessageInfo info;
    EXPECT_FALSE(recorder.GetMessageInfo(0, 0, info));
}

TEST_P(Slots, TypesAcceptedByCreationAndRecordKinds) {
    struct Case {
        std::uint8_t type;
        bool gen01;   // generations 0 and 1, marker 03 and 04
        bool gen2;
        std::uint8_t kind;  // generation 2 record kind
    };
    const Case cases[] = {
        {0, true, true, 0},      {1, true, true, 0},       {2, false, true, 1},  {3, false, true, 1},
        {4, false, false, 0},    {5, false, false, 0},     {6, false, true, 2},  {7, false, true, 2},
        {0x80, true, true, 0x80}, {0x81, true, true, 0x80}, {0x85, true, true, 0x80},
    };
    std::uint32_t slot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(int{c.type});
        const bool accepted = V().speechWav || (V().Generation() == 2 ? c.gen2 : c.gen01);
        const auto created = AddMessage(recorder_, card_->Device(), 0, Pattern(100, c.type), c.type);
        ASSERT_EQ(created.has_value(), accepted);
        if (!accepted) continue;
        EXPECT_EQ(recorder_.GetRecordKind(0, slot), V().Generation() == 2 ? c.kind : 0);
        ++slot;
    }
    EXPECT_EQ(recorder_.GetRecordKind(0, slot), V().Generation() == 2 ? 0xFF : 0);
}

TEST_P(Slots, FolderAndFileNames) {
    const char* ext = V().speechWav ? ".wav" : ".mxd";
    EXPECT_EQ(Store().GetFolderName(0), "A");
    EXPECT_EQ(Store().GetFolderName(2), "C");
    EXPECT_EQ(Store().GetFolderName(V().folderCount), "");
    EXPECT_EQ(Store().GetMessageFileName(0, 0), std::string("MsgA001") + ext);
    EXPECT_EQ(Store().GetMessageFileName(2, 98), std::string("MsgC099") + ext);
    if (V().folderCount > 3) {
        EXPECT_EQ(Store().GetMessageFileName(3, 11), V().pictureFolder ? "MsgD012.jpg" : std::string("MsgD012") + ext);
    }
    EXPECT_EQ(Store().GetSlotCount(0), 99u);
    EXPECT_EQ(Store().GetMessageCount(V().folderCount), 0u);
}

TEST_P(PictureFolder, Slot130OfThePictureFolderIsInSector4AtByte4) {
    EXPECT_EQ(Store().GetFolderName(3), "Pic");
    EXPECT_EQ(Store().GetSlotCount(3), 255u);
    card_->Put(card_->DirectoryAt() + 4 * 512 + 4, BE16Bytes(0x0123));
    Remount();
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 130), 0x0123u * S());
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 129), 0u);
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 131), 0u);
    EXPECT_EQ(Store().GetMessageFileName(3, 130), "MsgD131.jpg");
}

TEST_P(PictureFolder, RemovalCrossesFromSector3IntoSector4) {
    // Slots 126-129: sector 3 bytes 252 and 254, sector 4 bytes 0 and 2.
    card_->Put(card_->DirectoryAt() + 3 * 512 + 252, std::vector<std::uint8_t>{0, 20, 0, 21});
    card_->Put(card_->DirectoryAt() + 4 * 512, std::vector<std::uint8_t>{0, 22, 0, 23});
    Remount();
    ASSERT_TRUE(Store().RemoveSlot(3, 127));
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 126), 20 * S());
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 127), 22 * S());
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 128), 23 * S());
    EXPECT_EQ(Store().GetFirstBlockAddress(3, 129), 0u);
}

TEST_P(PictureFolder, NoMessagesAreCreatedInThePictureFolder) {
    MessageInfo info;
    info.length = 100;
    EXPECT_FALSE(recorder_.CreateMessage(3, info));
    EXPECT_FALSE(recorder_.CreateMessage(4, info));
    EXPECT_TRUE(recorder_.CreateMessage(2, info));
}

TEST_P(MarkerSlots, LengthEndsWhereFourErasedBytesBegin) {
    struct Case {
        const char* name;
        std::uint32_t length;
        std::uint32_t erasedAt;  // data offset of 0xFF bytes put in the data
        std::uint32_t erasedRun;
        std::uint32_t expected;
    };
    const std::uint32_t s = S();
    const Case cases[] = {
        {"four in the only block", 1000, 600, 4, 600},
        {"three do not end it", 1000, 600, 3, 1000},
        {"four at the very end", 1000, 996, 4, 996},
        {"four at the start of the second block", s + 500, s - 128, 4, s - 128},
        {"four inside the second block", s + 500, s - 128 + 100, 4, s - 128 + 100},
        {"four in the first of two blocks do not count", s + 500, 100, 4, s + 500},
    };
    std::uint32_t slot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto data = Pattern(c.length, slot);
        std::fill_n(data.begin() + c.erasedAt, c.erasedRun, 0xFF);
        ASSERT_EQ(AddMessage(recorder_, card_->Device(), 0, data), slot);
        const auto info = Store().GetMessageInfo(0, slot);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->length, c.expected);
        EXPECT_EQ(info->stamp, DateStamp{});
        ++slot;
    }
}

TEST_P(MarkerSlots, HeaderAtTheStartOfTheFirstBlock) {
    const std::uint32_t length = 2 * S();  // 128 + L bytes need three blocks
    MessageInfo info;
    info.type = 1;
    info.length = length;
    ASSERT_TRUE(recorder_.CreateMessage(0, info));
    const auto header = card_->Bytes(card_->At(1), 128);
    EXPECT_EQ(BE16(header, 0), 3);  // last block: blocks 1, 2, 3
    EXPECT_EQ(header[2], 1);
    EXPECT_EQ(BE16(header, 3), 3);
    EXPECT_EQ(BE16(header, 5), length / (V().speechWav ? 1067 : 496));
    EXPECT_EQ(header[7], 0);  // (L + 127) mod S = 127: no full sector in the last block
    EXPECT_TRUE(std::all_of(header.begin() + 8, header.end(), [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(BE16(Dir(), 0), 1);
}

TEST_P(MarkerSlots, HeadersThatCannotDescribeAChainAreRefused) {
    struct Case {
        const char* name;
        std::uint32_t at;
        std::vector<std::uint8_t> bytes;
        bool found;
    };
    const auto n = static_cast<std::uint16_t>(V().blockCount);
    const std::vector<Case> cases = {
        {"sector count 32", 7, {32}, true},
        {"sector count 33", 7, {33}, false},
        {"no blocks", 3, BE16Bytes(0), false},
        {"N blocks", 3, BE16Bytes(n), true},
        {"more blocks than the card", 3, BE16Bytes(static_cast<std::uint16_t>(n + 1)), false},
        {"last block N - 1", 0, BE16Bytes(static_cast<std::uint16_t>(n - 1)), true},
        {"last block N", 0, BE16Bytes(n), false},
        {"last block 0xFFFF", 0, BE16Bytes(0xFFFF), false},
    };
    ASSERT_TRUE(AddMessage(recorder_, card_->Device(), 0, Pattern(100)));
    ASSERT_TRUE(Store().WriteBack());
    const auto header = card_->Bytes(card_->At(1), 8);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        card_->Put(card_->At(1), header);
        card_->Put(card_->At(1, c.at), c.bytes);
        MessageInfo info;
        EXPECT_EQ(recorder_.GetMessageInfo(0, 0, info), c.found ? 1 : 0);
    }
}

}  // namespace
}  // namespace murmex::test
