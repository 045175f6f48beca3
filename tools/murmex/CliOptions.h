// The command line of murmex: global options, the verb, its operands and flags.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace murmex::cli {

struct Options {
    std::string verb;
    std::vector<std::string> operands;
    std::optional<std::string> image;
    bool bridge = false;              // the card in the USB bridge
    std::optional<bool> twoModes;     // --two-modes yes|no
    std::optional<bool> answer;       // --yes / --no
    bool json = false;
    std::optional<std::string> folder;
    std::string outputDir = ".";
    std::optional<std::string> variant;
    std::optional<std::string> badBlocks;
    bool unmarked = false;
    bool force = false;
    bool lp = false;
    bool help = false;
    std::optional<std::uint32_t> rate;
    std::optional<std::uint32_t> bits;
    std::optional<std::uint32_t> channels;
    std::optional<std::uint32_t> tag;
};

struct UsageError {
    std::string text;
};

// Throws UsageError on anything it cannot take.
Options Parse(const std::vector<std::string>& args);

extern const char* const kUsageText;

}  // namespace murmex::cli
