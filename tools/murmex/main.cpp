// murmex: the recorder's card from the command line, over the same core as
// the manager: list, download, upload, delete, and make blank card images.
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "Commands.h"

int main(int argc, char** argv) {
    using namespace murmex::cli;
    const std::map<std::string, int (*)(const Options&)> verbs = {
        {"info", RunInfo}, {"ls", RunList}, {"get", RunGet}, {"put", RunPut}, {"rm", RunRemove}, {"format", RunFormat},
        {"convert-format", RunConvertFormat}, {"convert", RunConvert},
    };
    Options options;
    try {
        options = Parse(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::cerr << "murmex: " << e.text << "\n" << kUsageText;
        return 2;
    }
    if (options.help) {
        std::cout << kUsageText;
        return 0;
    }
    const auto verb = verbs.find(options.verb);
    if (verb == verbs.end()) {
        if (!options.verb.empty()) std::cerr << "murmex: unknown command " << options.verb << "\n";
        std::cerr << kUsageText;
        return 2;
    }
    return verb->second(options);
}
