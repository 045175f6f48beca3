// Damaged cards: whatever the system area holds, mount, listing, reading,
// deleting, creating and write-back either work or fail cleanly, always
// end, and never touch the system area except through write-back.
#include <unistd.h>

#include <functional>
#include <random>

#include "ScratchCard.h"

namespace murmex::test {
namespace {

enum class Outcome { Mounts, Fails, Either };

struct Damage {
    const char* name;
    Outcome mount;
    std::function<void(ScratchCard&, std::mt19937&)> apply;
};

std::vector<std::uint8_t> RandomBytes(std::size_t n, std::mt19937& rng) {
    std::vector<std::uint8_t> out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng());
    return out;
}

// Offset of (folder, slot) in the directory, for folders without pictures.
std::size_t EntryOffset(const VariantDescriptor& v, std::uint32_t folder, std::uint32_t slot) {
    switch (v.encoding) {
        case DirectoryEncoding::Marker: return 512 * folder + 2 * slot;
        case DirectoryEncoding::Generation0: return 2048 * folder + 512 * (slot / 25) + 20 * (slot % 25);
        default: return 1024 * folder + 512 * (slot / 50) + 10 * (slot % 50);
    }
}

// A used entry whose message starts at `first`, 256 bytes into its last block.
std::vector<std::uint8_t> Entry(const VariantDescriptor& v, std::uint16_t first, std::uint16_t last) {
    const auto hi = static_cast<std::uint8_t>(first >> 8), lo = static_cast<std::uint8_t>(first);
    switch (v.encoding) {
        case DirectoryEncoding::Marker: return {hi, lo};
        case DirectoryEncoding::Generation0:
            return {0, hi, lo, static_cast<std::uint8_t>(last >> 8), static_cast<std::uint8_t>(last), 1, 0, 0, 0xFF, 0xFF,
                    0xFF, 24, 1, 1, 0, 0, 0, 0, 0, 10};
        default: return {0, hi, lo, 1, 0, 0x30, 0x21, 0, 0, 0};
    }
}

void PutEntries(ScratchCard& card, const std::vector<std::pair<std::uint16_t, std::uint16_t>>& firstAndLast) {
    std::uint32_t slot = 0;
    for (const auto& [first, last] : firstAndLast)
        card.Put(card.DirectoryAt() + EntryOffset(card.Variant(), 0, slot++), Entry(card.Variant(), first, last));
}

void PutLink(ScratchCard& card, std::uint16_t block, std::uint16_t to) { card.Put(card.LinkEntryAt(block), BE16Bytes(to)); }

std::size_t LinkTableBytes(const VariantDescriptor& v) { return v.IsDvr() ? 2 * v.blockCount : 256; }

// The link table's bytes, sector by sector in the marker format.
void OverLinkTable(ScratchCard& card, const std::function<std::vector<std::uint8_t>(std::size_t)>& bytes) {
    const VariantDescriptor& v = card.Variant();
    if (v.IsDvr()) {
        // Blocks 0-5 hold the signature and the system blocks.
        card.Put(card.LinkEntryAt(6), bytes(2 * (v.blockCount - 6)));
        return;
    }
    for (std::uint32_t k = 0; k < v.linkSectors; ++k) card.Put(card.LinkEntryAt(128 * k), bytes(LinkTableBytes(v)));
}

const std::vector<Damage>& Damages() {
    static const std::vector<Damage> damages = {
        {"AllZero", Outcome::Fails,
         [](ScratchCard& c, std::mt19937&) { c.Fill(0, c.Variant().ImageBytes(), 0x00); }},
        {"RandomImage", Outcome::Either,
         [](ScratchCard& c, std::mt19937& rng) { c.Put(0, RandomBytes(c.Variant().ImageBytes(), rng)); }},
        {"GarbageDirectory", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) { c.Put(c.DirectoryAt(), RandomBytes(c.Variant().directoryBytes, rng)); }},
        {"EntriesWithOnlyTheirFirstByte", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937&) {
             const VariantDescriptor& v = c.Variant();
             for (std::uint32_t f = 0; f < 3; ++f)
                 for (std::uint32_t s = 0; s < 99; ++s) c.Put(c.DirectoryAt() + EntryOffset(v, f, s), std::vector<std::uint8_t>{0});
         }},
        {"FirstBlocksAtOrAboveN", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937&) {
             const auto n = static_cast<std::uint16_t>(c.Variant().blockCount);
             PutEntries(c, {{n, n}, {static_cast<std::uint16_t>(n + 3), 7}, {0xFFFE, 0xFFFE}, {0xFF00, 10}});
         }},
        {"FirstBlocksInTheSystemArea", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937&) { PutEntries(c, {{0, 0}, {1, 3}, {2, 2}, {5, 9}, {3, 0xFFFF}}); }},
        {"LinksDownwardAndInCycles", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) {
             PutLink(c, 10, 8);   // downward
             PutLink(c, 8, 12);
             PutLink(c, 20, 21);  // a cycle
             PutLink(c, 21, 20);
             PutLink(c, 30, 30);  // an end in the DVR format, a loop to itself in the marker format
             PutLink(c, 40, 41);  // into a block of the cycle above... and beyond N
             PutLink(c, 41, static_cast<std::uint16_t>(c.Variant().blockCount + 1));
             PutEntries(c, {{10, 12}, {20, 21}, {30, 30}, {40, 300}, {8, 8}});
             for (std::uint16_t b : {8, 10, 12, 20, 21, 30, 40, 41}) c.PutBlock(b, RandomBytes(c.S(), rng));
         }},
        {"LinkTableAllZero", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937&) {
             OverLinkTable(c, [](std::size_t n) { return std::vector<std::uint8_t>(n, 0); });
             PutEntries(c, {{6, 6}, {9, 20}});
         }},
        {"RandomLinkTable", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) {
             OverLinkTable(c, [&](std::size_t n) { return RandomBytes(n, rng); });
             PutEntries(c, {{6, 9}, {7, 7}, {100, 150}, {static_cast<std::uint16_t>(c.Variant().blockCount - 1), 0}});
         }},
        {"RandomBadBlockList", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) {
             c.Put(c.BadListAt(), RandomBytes(c.Variant().IsDvr() ? 40 : 256, rng));
             PutEntries(c, {{6, 6}});
         }},
        {"MessagesOfRandomBytes", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) {
             // Random headers (marker format) and random name prefixes of data messages.
             for (std::uint16_t b = 6; b < 16; ++b) {
                 c.PutBlock(b, RandomBytes(c.S(), rng));
                 PutLink(c, b, static_cast<std::uint16_t>(b + 1));
             }
             PutLink(c, 16, c.Variant().IsDvr() ? std::uint16_t{16} : CardLayout::kMarkerEnd);
             const VariantDescriptor& v = c.Variant();
             for (std::uint32_t s = 0; s < 10; ++s) {
                 auto e = Entry(v, static_cast<std::uint16_t>(6 + s), 16);
                 if (v.encoding == DirectoryEncoding::Generation2) e[0] = 0x9F;  // data, 31 sectors
                 else if (v.IsDvr()) e[0] = 0x80 | (v.Generation() == 0 ? 0 : 0x0F);
                 c.Put(c.DirectoryAt() + EntryOffset(v, 1, s), e);
             }
         }},
        {"EverythingRandomButTheSignatures", Outcome::Mounts,
         [](ScratchCard& c, std::mt19937& rng) {
             c.Put(c.DirectoryAt(), RandomBytes(c.Variant().directoryBytes, rng));
             OverLinkTable(c, [&](std::size_t n) { return RandomBytes(n, rng); });
             c.Put(c.BadListAt(), RandomBytes(c.Variant().IsDvr() ? 40 : 256, rng));
             for (std::uint16_t b = 6; b < 64; ++b) c.PutBlock(b, RandomBytes(c.S(), rng));
         }},
    };
    return damages;
}

// One card of each directory encoding and block size.
const std::uint32_t kCodes[] = {0xFF000003, 0xFF000006, 0xFF000001, 0xFF000008, 0xFF000012, 0xFF000023};

class DamagedCard : public ::testing::TestWithParam<std::tuple<std::uint32_t, std::size_t>> {
protected:
    // A hang is a failure too: the process is ended after a minute.
    void SetUp() override { ::alarm(60); }
    void TearDown() override { ::alarm(0); }
};

INSTANTIATE_TEST_SUITE_P(Cards, DamagedCard,
                         ::testing::Combine(::testing::ValuesIn(kCodes), ::testing::Range<std::size_t>(0, Damages().size())),
                         [](const auto& info) {
                             return VariantCodeText(std::get<0>(info.param)).substr(2) + "_" +
                                    Damages()[std::get<1>(info.param)].name;
                         });

// Everything the manager does with a card: list, read, delete all, upload, write back.
void UseEverything(CRecorder& recorder, CCardDevice& device) {
    const std::uint32_t s = std::max<std::uint32_t>(recorder.Store().GetBlockSize(), 8192);
    std::vector<std::uint8_t> buffer(3 * s + 5);
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f) {
        for (std::uint32_t slot = 0; slot < recorder.Store().GetSlotCount(f); ++slot) {
            (void)recorder.GetRecordKind(f, slot);
            MessageInfo info;
            if (!recorder.GetMessageInfo(f, slot, info)) continue;
            MessageCursor cursor;
            if (!recorder.OpenMessage(f, slot, device, cursor)) continue;
            const std::uint32_t n = std::min<std::uint32_t>(info.length, static_cast<std::uint32_t>(buffer.size()));
            for (std::uint32_t done = 0; done < n;) {
                const std::uint32_t piece = std::min<std::uint32_t>(32768, n - done);
                if (!recorder.ReadMessage(std::span(buffer).subspan(done, piece), piece, 1, cursor)) break;
                done += piece;
            }
        }
    }
    for (std::uint32_t f = 0; f < recorder.GetFolderCount(); ++f)
        for (std::uint32_t k = 0; k < recorder.Store().GetSlotCount(f) && recorder.GetMessageCount(f) > 0; ++k) {
            std::uint32_t failed = 0;
            (void)recorder.DeleteMessage(f, 0, device, nullptr, failed);
        }
    const auto data = Pattern(2 * s + 100);
    MessageInfo info;
    info.length = static_cast<std::uint32_t>(data.size());
    if (recorder.CreateMessage(0, info)) {
        MessageCursor cursor;
        if (recorder.OpenMessage(0, info.slot, device, cursor) &&
            recorder.WriteMessage(data, info.length, 1, cursor) && recorder.OpenMessage(0, info.slot, device, cursor)) {
            std::vector<std::uint8_t> back(data.size());
            if (recorder.ReadMessage(back, info.length, 1, cursor)) {
                EXPECT_EQ(back, data);
            }
        }
    }
    (void)recorder.Store().WriteBack();
}

TEST_P(DamagedCard, FailsCleanlyOrWorks) {
    const auto [code, index] = GetParam();
    const Damage& damage = Damages()[index];
    ScratchCard card(*FindVariant(code));
    std::mt19937 rng(static_cast<std::uint32_t>(code * 31 + index));
    damage.apply(card, rng);

    CRecorder recorder;
    card.Reconnect();
    ScriptedAnswer answer;
    const int mounted = recorder.Store().Mount(card.Device(), answer);
    if (damage.mount != Outcome::Either) {
        ASSERT_EQ(mounted != 0, damage.mount == Outcome::Mounts);
    }
    UseEverything(recorder, card.Device());
    if (!mounted || damage.mount != Outcome::Mounts) return;

    // The system area survived all of it.
    CRecorder again;
    ASSERT_TRUE(MountCard(again, card));
    UseEverything(again, card.Device());
}

}  // namespace
}  // namespace murmex::test
