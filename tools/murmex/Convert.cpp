// convert: WAV files to MXD (encoding, SP or --lp) and MXD files to WAV
// (decoding), with the manager's conversion jobs.
#include <filesystem>
#include <iostream>
#include <thread>

#include "Commands.h"
#include "ConvertJobs.h"
#include "Interrupts.h"
#include "PcFile.h"
#include "TerminalConvertView.h"

namespace murmex::cli {

namespace {

namespace fs = std::filesystem;

// The target of one input: OUT itself, or the input's name with the other
// ending inside the directory OUT.
std::string TargetFor(const std::string& input, const std::string& out, bool outIsDirectory, const char* ending) {
    if (!outIsDirectory) return out;
    return (fs::path(out) / fs::path(input).stem()).string() + ending;
}

}  // namespace

int RunConvert(const Options& o) {
    if (o.operands.size() < 2) {
        std::cerr << "murmex: convert needs IN and OUT\n" << kUsageText;
        return 2;
    }
    const std::vector<std::string> inputs(o.operands.begin(), o.operands.end() - 1);
    const std::string& out = o.operands.back();
    const bool outIsDirectory = fs::is_directory(out);
    if (inputs.size() > 1 && !outIsDirectory) {
        std::cerr << "murmex: with several inputs OUT must be a directory\n";
        return 2;
    }
    std::vector<ConvertEntry> encode, decode;
    for (const auto& input : inputs) {
        const std::string ext = LowerExtension(BaseName(input));
        if (!IsRegularFile(input)) {
            std::cerr << "murmex: not a file: " << input << "\n";
            return 2;
        }
        if (ext == "wav")
            encode.push_back({input, TargetFor(input, out, outIsDirectory, ".mxd")});
        else if (ext == "mxd")
            decode.push_back({input, TargetFor(input, out, outIsDirectory, ".wav")});
        else {
            std::cerr << "murmex: " << input << " is neither .wav nor .mxd\n";
            return 2;
        }
    }

    TerminalFrontEnd terminal(o.answer, std::nullopt);
    TerminalConvertFrontEnd frontEnd(terminal);
    std::atomic<int> cancel{0};
    InterruptCancelsJob interrupts(cancel);
    CodecLibrary codec;
    ConvertOutcome encoded, decoded;
    // One worker at a time, as the Convert window runs its job.
    std::thread worker([&] {
        if (!encode.empty())
            encoded = WavToMxdJob(frontEnd, encode, cancel, o.lp ? kModeLp : kModeSp).Run(codec);
        if (!decode.empty() && !cancel.load()) decoded = MxdToWavJob(frontEnd, decode, cancel).Run(codec);
    });
    worker.join();
    if (frontEnd.ReportedErrors() || encoded.failed || decoded.failed) return 1;
    return cancel.load() ? 130 : 0;
}

}  // namespace murmex::cli
