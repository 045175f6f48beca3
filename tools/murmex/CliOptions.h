// The command line of murmex: global options, the verb, its operands and flags.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace murmex::cli {

struct Options {
    std::string verb;
    std::vector<std::string> operands;
    std::optional<std::string> image;
    std::optional<bool> twoModes;     // --two-modes yes|no
    std::optional<bool> answer;       // --yes / --no
    bool json = false;
    std::optional<std::string> folder;
    std::string outputDir = ".";
    std::optional<std::string> variant;
    std::optional<std::string> badBlocks;
    bool unmarked = false;
    bool force = false;
    bool help = false;
};

struct UsageError {
    std::string text;
};

// Throws UsageError on anything it cannot take.
Options Parse(const std::vector<std::string>& args);

extern const char* const kUsageText;

}  // namespace murmex::cli
