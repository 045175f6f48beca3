// murmex --bridge: every verb through card mode, kvcard and the whole USB
// stack, on an emulated bridge whose SmartMedia card is an image file. The
// same verbs in image mode on a copy of the card are the yardstick.
#include <sstream>

#include "MurmexCliFixture.h"

namespace {

using namespace murmex::test;
namespace fs = std::filesystem;

constexpr const char* kVariants[] = {"0xFF000001", "0xFF000002", "0xFF000003", "0xFF000004", "0xFF000005",
                                     "0xFF000006", "0xFF000007", "0xFF000008", "0xFF000009", "0xFF000011",
                                     "0xFF000012", "0xFF000013", "0xFF000014", "0xFF000021", "0xFF000022",
                                     "0xFF000023", "0xFF000024"};

std::string Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return std::to_string(n);
}

class MurmexBridge : public MurmexCli {
protected:
    // The emulated bridge for one run: the card image and fault options.
    static std::string Bridge(const std::string& image, const std::string& options = "") {
        return "MURMEX_BRIDGE_EMULATOR='" + image + (options.empty() ? "" : "," + options) + "'";
    }

    // A program directory of its own for runs that may write the USB access
    // library next to the program.
    void UseOwnProgramDirectory(bool withCardLibrary) {
        const fs::path bin = tool_.parent_path();
        fs::create_directories(dir_ / "prog");
        for (const char* file : {"murmex", "hvtavrin.dll", "kvcard.dll"}) {
            if (!withCardLibrary && std::string(file) == "kvcard.dll") continue;
            fs::copy_file(bin / file, dir_ / "prog" / file);
        }
        tool_ = dir_ / "prog/murmex";
    }
};

TEST_F(MurmexBridge, EveryVariantLooksAndChangesTheSameAsItsImage) {
    WriteFile(dir_ / "report.doc", RandomBytes(40000, 3));
    WriteFile(dir_ / "note.txt", "a short note");
    for (const char* variant : kVariants) {
        SCOPED_TRACE(variant);
        ASSERT_EQ(Run(std::string("format image.tmf --force --variant ") + variant).status, 0);
        fs::copy_file(dir_ / "image.tmf", dir_ / "card.tmf", fs::copy_options::overwrite_existing);
        const std::string bridge = Bridge((dir_ / "card.tmf").string());

        ASSERT_EQ(Run("--image image.tmf put report.doc note.txt --two-modes no").status, 0);
        const Result viaBridge = Run("--bridge put report.doc note.txt --two-modes no", bridge);
        ASSERT_EQ(viaBridge.status, 0) << viaBridge.err;
        EXPECT_EQ(ReadFile(dir_ / "card.tmf"), ReadFile(dir_ / "image.tmf"));

        const Result listed = Run("--bridge --two-modes no ls --json", bridge);
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(listed.out, Run("--image image.tmf --two-modes no ls --json").out);

        fs::remove_all(dir_ / "back");
        ASSERT_EQ(Run("--bridge --two-modes no get -o back", bridge).status, 0);
        std::size_t files = 0;
        for (const auto& entry : fs::directory_iterator(dir_ / "back")) {
            ++files;
            const std::string name = entry.path().filename().string();
            const fs::path original = name.ends_with("report.doc") ? "report.doc" : "note.txt";
            EXPECT_EQ(ReadFile(entry.path()), ReadFile(dir_ / original)) << name;
        }
        EXPECT_EQ(files, 2u);

        ASSERT_EQ(Run("--image image.tmf --two-modes no rm note.txt").status, 0);
        const Result removedBridge = Run("--bridge --two-modes no rm note.txt", bridge);
        EXPECT_EQ(removedBridge.status, 0) << removedBridge.err;
        EXPECT_EQ(ReadFile(dir_ / "card.tmf"), ReadFile(dir_ / "image.tmf"));
    }
}

TEST_F(MurmexBridge, ABridgeThatRefusesTwelveMegahertzSaysSoOnceAndWorks) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000022").status, 0);
    const Result listed = Run("--bridge info", Bridge((dir_ / "card.tmf").string(), "refuse-clock=2"));
    EXPECT_EQ(listed.status, 0) << listed.err;
    EXPECT_EQ(Count(listed.err, "12Mhz USB setting failed."), "1") << listed.err;
}

TEST_F(MurmexBridge, AnErasedCardIsAnUnknownLayoutWithTheLastErrorsText) {
    WriteFile(dir_ / "blank.tmf", std::string(16 << 20, '\xff'));
    const Result listed = Run("--bridge ls", Bridge((dir_ / "blank.tmf").string()));
    EXPECT_EQ(listed.status, 1);
    EXPECT_NE(listed.err.find("No error."), std::string::npos) << listed.err;
}

TEST_F(MurmexBridge, WithoutABridgeBothCarriedLibrariesAreTried) {
    UseOwnProgramDirectory(true);
    const Result listed = Run("--bridge ls");
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(Count(listed.err, "Can't found USB driver."), "2") << listed.err;
    EXPECT_NE(listed.err.find("USB  initialization failed."), std::string::npos);
    // The last attempt's copy stays: variant B, byte for byte.
    const fs::path variantB = fs::path(std::getenv("MURMEX_BIN_DIR")) / "../usbaccess/variant-b/hvtavrin.dll";
    EXPECT_EQ(ReadFile(dir_ / "prog/hvtavrin.dll"), ReadFile(variantB));
}

TEST_F(MurmexBridge, WithoutTheCardLibraryEachAttemptSaysSo) {
    UseOwnProgramDirectory(false);
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000022").status, 0);
    const Result listed = Run("--bridge ls", Bridge((dir_ / "card.tmf").string()));
    EXPECT_EQ(listed.status, 1);
    EXPECT_EQ(Count(listed.err, "Can't found KVCARD.DLL"), "3") << listed.err;
    EXPECT_NE(listed.err.find("USB  initialization failed."), std::string::npos);
}

TEST_F(MurmexBridge, ACardFaultReachesTheUserAndHarmsNoOtherMessage) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000022").status, 0);
    WriteFile(dir_ / "first.doc", RandomBytes(50000, 4));
    WriteFile(dir_ / "second.doc", RandomBytes(50000, 5));
    const std::string card = (dir_ / "card.tmf").string();
    ASSERT_EQ(Run("--bridge put first.doc", Bridge(card)).status, 0);

    // Every block after the first message fails to program or erase.
    std::ostringstream bad;
    for (int block = 10; block < 2048; ++block) bad << (block > 10 ? "," : "") << "bad=" << block;
    const Result put = Run("--bridge put second.doc", Bridge(card, bad.str()));
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.err.find("at SSFDC (bad block)"), std::string::npos) << put.err;

    ASSERT_EQ(Run("--bridge get first.doc -o back", Bridge(card)).status, 0);
    EXPECT_EQ(ReadFile(dir_ / "back/MsgA001-first.doc"), ReadFile(dir_ / "first.doc"));

    const Result unplugged = Run("--bridge get -o later", Bridge(card, "unplug=20"));
    EXPECT_EQ(unplugged.status, 1);
    EXPECT_NE(unplugged.err.find("I/O timeout error.\nDevice is not attached."), std::string::npos) << unplugged.err;
}

}  // namespace
