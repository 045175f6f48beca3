#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "Module.h"
#include "ProgramDirectory.h"

namespace murmex::platform {
namespace {

constexpr const char* kProbe = "loaderprobe.dll";
constexpr const char* kProbeSymbol = "ProbeAnswer";

// Keeps MURMEX_PROGRAM_DIR as each test found it.
class ProgramDirOverride {
public:
    ProgramDirOverride() {
        if (const char* v = std::getenv("MURMEX_PROGRAM_DIR")) saved_ = v;
    }
    ~ProgramDirOverride() {
        if (saved_) ::setenv("MURMEX_PROGRAM_DIR", saved_->c_str(), 1);
        else ::unsetenv("MURMEX_PROGRAM_DIR");
    }
    void Set(const std::string& dir) { ::setenv("MURMEX_PROGRAM_DIR", dir.c_str(), 1); }
    void Clear() { ::unsetenv("MURMEX_PROGRAM_DIR"); }

private:
    std::optional<std::string> saved_;
};

class ModuleTest : public ::testing::Test {
protected:
    // CTest passes the shared bin directory; run by hand from build/tests the
    // modules sit in the sibling bin directory.
    static std::string BinDir() {
        std::string dir;
        if (const char* v = std::getenv("MURMEX_BIN_DIR"); v != nullptr && *v != '\0') {
            dir = v;
        } else {
            ProgramDirOverride keep;
            keep.Clear();
            dir = ProgramDirectory() + "../bin";
        }
        if (dir.back() != '/') dir.push_back('/');
        return dir;
    }

    // Asks the dynamic loader whether the probe is still mapped, without
    // keeping it mapped.
    static bool ProbeIsLoaded() {
        const std::string path = BinDir() + kProbe;
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (handle == nullptr) return false;
        ::dlclose(handle);
        return true;
    }

    static int CallProbe(const Module& module) {
        auto* answer = module.Function<int()>(kProbeSymbol);
        return answer != nullptr ? answer() : -1;
    }

    void SetUp() override { ASSERT_FALSE(ProbeIsLoaded()) << "an earlier test leaked a handle"; }
    void TearDown() override { EXPECT_FALSE(ProbeIsLoaded()) << "this test leaked a handle"; }

    ProgramDirOverride programDir_;
};

TEST_F(ModuleTest, BareNameIsFoundInTheProgramDirectory) {
    programDir_.Set(BinDir());
    std::string error = "stale";
    Module probe = Module::Load(kProbe, &error);
    ASSERT_TRUE(probe) << error;
    EXPECT_TRUE(error.empty());
    EXPECT_EQ(CallProbe(probe), 42);
}

TEST_F(ModuleTest, BareNameOutsideProgramDirectoryAndSearchPathFails) {
    // The test executable's own directory holds no modules, and the bin
    // directory is not on the search path: only the program directory makes
    // the bare name loadable.
    programDir_.Clear();
    std::string error;
    Module probe = Module::Load(kProbe, &error);
    EXPECT_FALSE(probe);
    EXPECT_NE(error.find(kProbe), std::string::npos) << error;
}

TEST_F(ModuleTest, NameWithSlashIsOpenedAsGiven) {
    programDir_.Set("/nonexistent/");
    std::string error;
    Module probe = Module::Load(BinDir() + kProbe, &error);
    ASSERT_TRUE(probe) << error;
    EXPECT_EQ(CallProbe(probe), 42);

    // A relative name with a slash is not resolved against the program
    // directory (unless we happen to run from there).
    programDir_.Set(BinDir());
    const std::string relative = std::string("./") + kProbe;
    if (::access(relative.c_str(), F_OK) != 0) {
        EXPECT_FALSE(Module::Load(relative));
    }
}

TEST_F(ModuleTest, MissingModuleFailsWithLoaderText) {
    programDir_.Set(BinDir());
    for (const std::string name : {"nosuchmodule.dll", "/nonexistent/kvcard.dll", ""}) {
        SCOPED_TRACE(name);
        std::string error;
        Module missing = Module::Load(name, &error);
        EXPECT_FALSE(missing);
        EXPECT_FALSE(error.empty());
        if (!name.empty()) {
            EXPECT_NE(error.find(name), std::string::npos) << error;
        }
        EXPECT_EQ(missing.Symbol(kProbeSymbol), nullptr);
        EXPECT_FALSE(Module::Load(name));  // no error text wanted
    }
}

TEST_F(ModuleTest, SymbolLookup) {
    programDir_.Set(BinDir());
    Module probe = Module::Load(kProbe);
    ASSERT_TRUE(probe);
    EXPECT_NE(probe.Symbol(kProbeSymbol), nullptr);
    EXPECT_EQ(probe.Symbol("NoSuchFunction"), nullptr);
    EXPECT_EQ(probe.Function<int()>("NoSuchFunction"), nullptr);
    // A prefix of an exported name is not that name.
    EXPECT_EQ(probe.Symbol(std::string_view(kProbeSymbol).substr(0, 5)), nullptr);
}

TEST_F(ModuleTest, FreeUnloadsAndIsIdempotent) {
    programDir_.Set(BinDir());
    Module probe = Module::Load(kProbe);
    ASSERT_TRUE(probe);
    EXPECT_TRUE(ProbeIsLoaded());
    probe.Free();
    EXPECT_FALSE(probe);
    EXPECT_EQ(probe.Symbol(kProbeSymbol), nullptr);
    EXPECT_FALSE(ProbeIsLoaded());
    probe.Free();
    EXPECT_FALSE(probe);
}

TEST_F(ModuleTest, MovingKeepsOneHandle) {
    programDir_.Set(BinDir());
    {
        Module first = Module::Load(kProbe);
        ASSERT_TRUE(first);
        Module second(std::move(first));
        EXPECT_FALSE(first);  // NOLINT(bugprone-use-after-move): checking the moved-from state
        EXPECT_EQ(first.Symbol(kProbeSymbol), nullptr);
        first.Free();  // must not close the handle that moved on
        EXPECT_TRUE(ProbeIsLoaded());
        EXPECT_EQ(CallProbe(second), 42);

        Module third;
        third = std::move(second);
        EXPECT_FALSE(second);
        EXPECT_EQ(CallProbe(third), 42);
        EXPECT_TRUE(ProbeIsLoaded());
    }
    // A handle closed twice or never would show here (and in TearDown).
    EXPECT_FALSE(ProbeIsLoaded());
}

TEST_F(ModuleTest, MoveAssignmentReleasesTheTargetsModule) {
    programDir_.Set(BinDir());
    Module kept = Module::Load(kProbe);
    Module replaced = Module::Load(kProbe);  // the loader counts two references
    ASSERT_TRUE(kept && replaced);
    replaced = std::move(kept);
    EXPECT_TRUE(ProbeIsLoaded());
    replaced.Free();
    EXPECT_FALSE(ProbeIsLoaded());
}

TEST(ExecutableNameTest, StripsWindowsExtensionOnly) {
    struct Case {
        const char* systemName;
        const char* expected;
    };
    const Case cases[] = {
        {"MXDPlayer.exe", "MXDPlayer"},
        {"Quipad.EXE", "Quipad"},
        {"Mixed.ExE", "Mixed"},
        {"tool", "tool"},
        {"kvcard.dll", "kvcard.dll"},
        {"archive.exe.bak", "archive.exe.bak"},
        {"noexe", "noexe"},
        {".exe", ".exe"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ExecutableName(c.systemName), c.expected) << c.systemName;
    }
}

TEST(ProgramDirectoryTest, OverrideGetsTrailingSlash) {
    ProgramDirOverride programDir;
    struct Case {
        const char* value;
        const char* expected;
    };
    const Case cases[] = {
        {"/opt/murmex", "/opt/murmex/"},
        {"/opt/murmex/", "/opt/murmex/"},
        {"/", "/"},
    };
    for (const auto& c : cases) {
        programDir.Set(c.value);
        EXPECT_EQ(ProgramDirectory(), c.expected) << c.value;
    }
    programDir.Set("/opt/murmex");
    EXPECT_EQ(ProgramPath("MXDPlayer.exe"), "/opt/murmex/MXDPlayer");
}

TEST(ProgramDirectoryTest, DefaultIsTheExecutablesDirectory) {
    ProgramDirOverride programDir;
    for (bool emptyOverride : {false, true}) {
        SCOPED_TRACE(emptyOverride ? "empty override" : "no override");
        if (emptyOverride) programDir.Set("");
        else programDir.Clear();
        const std::string dir = ProgramDirectory();
        ASSERT_FALSE(dir.empty());
        EXPECT_EQ(dir.front(), '/');
        EXPECT_EQ(dir.back(), '/');
        // This very test program must be in it.
        EXPECT_EQ(::access(ProgramPath("loader_test.exe").c_str(), X_OK), 0) << dir;
    }
}

}  // namespace
}  // namespace murmex::platform
