// The murmex tool as a user runs it: the built program on real card images.
#include "MurmexCliFixture.h"

namespace {

using namespace murmex::test;
namespace fs = std::filesystem;

TEST_F(MurmexCli, FilesGoOnTheCardAndComeBackByteForByte) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000013").status, 0);
    WriteFile(dir_ / "voice.mxd", "MXDL" + RandomBytes(20000, 1));
    WriteFile(dir_ / "report.doc", RandomBytes(70000, 2));
    ASSERT_EQ(Run("--image card.tmf put voice.mxd report.doc --folder B").status, 0);

    const Result ls = Run("--image card.tmf ls --json");
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.out.find("\"variant\":\"0xFF000013\",\"block_size\":8192,\"blocks\":512"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("{\"folder\":\"B\",\"slot\":0,\"file_name\":\"MsgB001.mxd\",\"display_name\":\"MsgB001.mxd\","
                          "\"type\":1,\"length\":20000,\"seconds\":40,"),
              std::string::npos)
        << ls.out;
    EXPECT_NE(ls.out.find("\"file_name\":\"MsgB002-report.doc\",\"display_name\":\"report.doc\",\"type\":128"),
              std::string::npos);

    const Result table = Run("--image card.tmf ls --folder b");
    EXPECT_NE(table.out.find("report.doc"), std::string::npos);
    EXPECT_NE(table.out.find("PC File"), std::string::npos);
    EXPECT_NE(table.out.find("2 File(s), "), std::string::npos) << table.out;

    ASSERT_EQ(Run("--image card.tmf get -o back").status, 0);
    EXPECT_EQ(ReadFile(dir_ / "back/MsgB001.mxd"), ReadFile(dir_ / "voice.mxd"));
    EXPECT_EQ(ReadFile(dir_ / "back/MsgB002-report.doc"), ReadFile(dir_ / "report.doc"));

    ASSERT_EQ(Run("--image card.tmf rm B:1").status, 0);
    const Result after = Run("--image card.tmf ls --json");
    EXPECT_NE(after.out.find("{\"folder\":\"B\",\"slot\":0,\"file_name\":\"MsgB001-report.doc\""), std::string::npos)
        << after.out;
}

TEST_F(MurmexCli, ReplacingAnExistingFileNeedsAYes) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000001").status, 0);
    WriteFile(dir_ / "a.txt", "card copy");
    ASSERT_EQ(Run("--image card.tmf put a.txt").status, 0);
    fs::create_directories(dir_ / "pc");
    WriteFile(dir_ / "pc/MsgA001-a.txt", "mine");

    EXPECT_EQ(Run("--image card.tmf get -o pc --no").status, 0);
    EXPECT_EQ(ReadFile(dir_ / "pc/MsgA001-a.txt"), "mine");
    const Result asked = Run("--image card.tmf get -o pc");  // no terminal: kept, and said so
    EXPECT_EQ(ReadFile(dir_ / "pc/MsgA001-a.txt"), "mine");
    EXPECT_NE(asked.err.find("already exists."), std::string::npos);
    EXPECT_EQ(Run("--image card.tmf get MsgA001-a.txt -o pc --yes").status, 0);
    EXPECT_EQ(ReadFile(dir_ / "pc/MsgA001-a.txt"), "card copy");
}

TEST_F(MurmexCli, AnUnmarkedCardAsksAboutRecordModes) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000003 --unmarked").status, 0);
    const Result unasked = Run("--image card.tmf info");
    EXPECT_EQ(unasked.status, 2);
    EXPECT_NE(unasked.err.find("Is this recoder have two record mode(SP/LP)?"), std::string::npos);
    EXPECT_NE(Run("--image card.tmf --two-modes yes info --json").out.find("\"variant\":\"0xFF000003\""),
              std::string::npos);
    EXPECT_NE(Run("--image card.tmf --two-modes no info --json").out.find("\"variant\":\"0xFF000005\""),
              std::string::npos);
}

TEST_F(MurmexCli, FailuresGiveTheirExitStatusAndText) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000008 --bad-blocks 7,9").status, 0);
    WriteFile(dir_ / "x.txt", "x");
    WriteFile(dir_ / "small.tmf", std::string(1000, '\xff'));
    WriteFile(dir_ / "junk.tmf", std::string(4 << 20, '\x00'));
    struct Case {
        const char* args;
        int status;
        const char* text;
    } cases[] = {
        {"", 2, "usage:"},
        {"--bogus ls", 2, "unknown option --bogus"},
        {"ls", 2, "needs either --image FILE or --bridge"},
        {"--image card.tmf put", 2, "put needs at least one FILE"},
        {"--image card.tmf put nothere.txt", 2, "not a file: nothere.txt"},
        {"--image card.tmf get MsgA042.mxd", 2, "no such message: MsgA042.mxd"},
        {"--image card.tmf ls --folder Z", 2, "no folder named Z"},
        {"--image card.tmf --two-modes maybe info", 2, "--two-modes takes yes or no"},
        {"format new.tmf --variant 0xFF000010", 2, "unknown variant"},
        {"format card.tmf --variant 0xFF000008", 1, "it exists"},
        {"format new.tmf --variant 0xFF000008 --bad-blocks 3", 2, "outside the message blocks"},
        {"--image missing.tmf ls", 1, "USB  initialization failed."},
        {"--image small.tmf ls", 1, "smaller than 4 MB"},
        {"--image junk.tmf ls", 1, "Flash memory data recognition failed."},
        {"--image card.tmf put x.txt --folder D", 2, "no folder named D"},
    };
    for (const Case& c : cases) {
        const Result r = Run(c.args);
        EXPECT_EQ(r.status, c.status) << c.args << "\n" << r.err;
        EXPECT_NE(r.err.find(c.text), std::string::npos) << c.args << "\n" << r.err;
    }
    EXPECT_FALSE(fs::exists(dir_ / "new.tmf"));
}

TEST_F(MurmexCli, AFullFolderStopsTheUploadWithExitStatusOne) {
    ASSERT_EQ(Run("format card.tmf --variant 0xFF000008").status, 0);
    std::string files;
    for (int i = 0; i < 100; ++i) {
        const std::string name = "n" + std::to_string(i) + ".txt";
        WriteFile(dir_ / name, name);
        files += " " + name;
    }
    const Result r = Run("--image card.tmf put" + files + " --folder C");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Out of message."), std::string::npos);
    EXPECT_NE(Run("--image card.tmf ls").out.find("99 File(s)"), std::string::npos);
}

}  // namespace
