#include "WaveConvert.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "FormatTagName.h"
#include "MappedFile.h"
#include "WaveFile.h"

namespace murmex {

int WaveConvertRun::Run(const std::string& inputPath, const std::string& outputPath, const WaveFormat& target) {
    // A run that fails before converting must not show the last run's result.
    succeeded_ = done_ = false;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> input(std::fopen(inputPath.c_str(), "rb"), std::fclose);
    WaveFormat source;
    std::uint32_t length = 0;
    if (!input || !WaveHeaderReader(input.get(), source, length)) return 0;
    view_.SetCaption("WAVE Convert - " + inputPath);
    view_.SetBars(0, 0);
    view_.SetFormatNames(FormatTagName(source), FormatTagName(target));
    // The whole sound is held at once: mapped from the file rather than
    // copied, which spares reading it twice over.
    const long dataStart = std::ftell(input.get());
    const MappedFile mapped(fileno(input.get()));
    if (!mapped || dataStart < 0 || static_cast<std::uint64_t>(dataStart) + length > mapped.Bytes().size()) return 0;
    const auto data = mapped.Bytes().subspan(static_cast<std::size_t>(dataStart), length);

    AcmConverterHooks hooks;
    hooks.progress = [this](int upper, int lower) { view_.SetBars(upper, lower); };
    hooks.message = [this](const std::string& caption, const std::string& text) { view_.ShowMessage(caption, text); };
    AcmConverter converter(std::move(hooks));
    succeeded_ = converter.ConvertToFile(source, data, target, outputPath);
    done_ = true;
    return succeeded_ ? 1 : 0;
}

}  // namespace murmex
