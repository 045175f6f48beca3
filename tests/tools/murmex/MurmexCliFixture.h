// Running the built murmex program as a user runs it, in a scratch
// directory of its own, on real card images.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace murmex::test {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out;
    std::string err;
};

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::string RandomBytes(std::size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(gen());
    return s;
}

class MurmexCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("murmex-cli-" + std::to_string(::getpid()) + "-" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // Under CTest the program directory is given; run by hand, it sits beside tests/.
        const char* bin = std::getenv("MURMEX_BIN_DIR");
        tool_ = (bin ? fs::path(bin) : fs::read_symlink("/proc/self/exe").parent_path() / "../bin") / "murmex";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Runs murmex with the arguments (already quoted where needed), with no
    // terminal; `environment` ("NAME='value' ...") goes before the program.
    Result Run(const std::string& args, const std::string& environment = "") {
        const std::string cmd = "cd '" + dir_.string() + "' && " + environment + " '" + tool_.string() + "' " +
                                args + " </dev/null >out.txt 2>err.txt";
        const int raw = std::system(cmd.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(dir_ / "out.txt"), ReadFile(dir_ / "err.txt")};
    }

    fs::path dir_;
    fs::path tool_;
};

}  // namespace murmex::test
