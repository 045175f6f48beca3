#include "CliOptions.h"

#include <cstdlib>

namespace murmex::cli {

const char* const kUsageText =
    "usage: murmex CARD [--two-modes yes|no] info [--json]\n"
    "       murmex CARD ls [--folder NAME] [--json]\n"
    "       murmex CARD get [MSG ...] [-o DIR] [--yes|--no]\n"
    "       murmex CARD put FILE... [--folder NAME|All]\n"
    "       murmex CARD rm MSG...\n"
    "       murmex format FILE --variant 0xFF0000XY [--bad-blocks B,B,...] [--unmarked] [--force]\n"
    "       murmex convert IN... OUT [--lp] [--yes|--no]   # .wav -> .mxd encodes, .mxd -> .wav decodes\n"
    "       murmex convert-format IN.wav OUT.wav [--rate R] [--bits B] [--channels C] [--tag T]\n"
    "\n"
    "CARD is --image FILE (a card image) or --bridge (the card in the USB bridge).\n"
    "MSG is a listed file name (MsgA001.mxd, MsgA003-report.doc) or FOLDER:SLOT\n"
    "with the slot counted from 1 (A:1, Pic:12).\n"
    "Exit status: 0 success, 1 a job reported an error, 2 usage error.\n";

namespace {

bool YesNo(const std::string& option, const std::string& value) {
    if (value == "yes") return true;
    if (value == "no") return false;
    throw UsageError{option + " takes yes or no, not '" + value + "'"};
}

std::uint32_t Number(const std::string& option, const std::string& value) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(value.c_str(), &end, 0);
    if (value.empty() || *end != '\0' || n > 0xFFFFFFFFul) throw UsageError{option + " takes a number, not '" + value + "'"};
    return static_cast<std::uint32_t>(n);
}

}  // namespace

Options Parse(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= args.size()) throw UsageError{a + " needs a value"};
            return args[++i];
        };
        if (a == "--image") o.image = value();
        else if (a == "--bridge") o.bridge = true;
        else if (a == "--two-modes") o.twoModes = YesNo(a, value());
        else if (a == "--yes" || a == "-y") o.answer = true;
        else if (a == "--no" || a == "-n") o.answer = false;
        else if (a == "--json") o.json = true;
        else if (a == "--folder") o.folder = value();
        else if (a == "-o" || a == "--output") o.outputDir = value();
        else if (a == "--variant") o.variant = value();
        else if (a == "--bad-blocks") o.badBlocks = value();
        else if (a == "--unmarked") o.unmarked = true;
        else if (a == "--force") o.force = true;
        else if (a == "--lp") o.lp = true;
        else if (a == "--rate") o.rate = Number(a, value());
        else if (a == "--bits") o.bits = Number(a, value());
        else if (a == "--channels") o.channels = Number(a, value());
        else if (a == "--tag") o.tag = Number(a, value());
        else if (a == "-h" || a == "--help") o.help = true;
        else if (a == "--") {
            for (++i; i < args.size(); ++i) (o.verb.empty() ? o.verb : o.operands.emplace_back()) = args[i];
        } else if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + a};
        else if (o.verb.empty()) o.verb = a;
        else o.operands.push_back(a);
    }
    return o;
}

}  // namespace murmex::cli
