// convert-format: one WAV file into another format through our audio
// compression manager, as the WAVE Convert window runs it.
#include <cstdio>
#include <iostream>

#include "Commands.h"
#include "TerminalConvertView.h"
#include "WaveConvert.h"

namespace murmex::cli {

int RunConvertFormat(const Options& o) {
    if (o.operands.size() != 2) {
        std::cerr << "murmex: convert-format needs IN.wav and OUT.wav\n" << kUsageText;
        return 2;
    }
    const std::uint32_t tag = o.tag.value_or(WAVE_FORMAT_PCM);
    if (tag > 0xFFFF || o.bits.value_or(0) > 0xFFFF || o.channels.value_or(0) > 0xFFFF) {
        std::cerr << "murmex: --tag, --bits and --channels take 16-bit numbers\n";
        return 2;
    }
    // Fields left out are the format's own: for PCM those of the target of
    // the voice path (16-bit mono, 7221 Hz), for a codec the driver's first
    // format of that tag.
    WaveFormat target;
    if (tag == WAVE_FORMAT_PCM) {
        target = WaveFormat::Pcm(o.rate.value_or(7221), static_cast<std::uint16_t>(o.bits.value_or(16)),
                                 static_cast<std::uint16_t>(o.channels.value_or(1)));
        if ((target.bitsPerSample != 8 && target.bitsPerSample != 16) || target.channels == 0) {
            std::cerr << "murmex: PCM takes 8 or 16 bits and at least one channel\n";
            return 2;
        }
    } else {
        target.formatTag = static_cast<std::uint16_t>(tag);
        target.samplesPerSec = o.rate.value_or(0);
        target.bitsPerSample = static_cast<std::uint16_t>(o.bits.value_or(0));
        target.channels = static_cast<std::uint16_t>(o.channels.value_or(0));
    }
    TerminalConvertView view;
    WaveConvertRun run(view);
    if (run.Run(o.operands[0], o.operands[1], target)) return 0;
    view.ShowMessage("WAVE Convert", "cannot convert " + o.operands[0] + " to that format");
    return 1;
}

}  // namespace murmex::cli
