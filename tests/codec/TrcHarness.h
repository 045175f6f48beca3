// trc.dll as the programs use it: loaded by name from the program directory,
// its four entry points looked up, samples divided by 4 before encoding and
// multiplied by 4 (saturating) after decoding, silence runs walked.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "Module.h"
#include "TrcCodec.h"

namespace murmex::codec::test {

using Frame = std::vector<std::uint8_t>;

struct TrcLibrary {
    platform::Module module;
    InitDecoderFn* initDecoder = nullptr;
    InitEncoderFn* initEncoder = nullptr;
    DecodeFn* decode = nullptr;
    EncodeFn* encode = nullptr;

    // Loads by name through the loader; the program directory is the build's
    // bin directory (MURMEX_BIN_DIR, as CTest passes it).
    static TrcLibrary Load(const std::string& name, std::string* error);

    bool Complete() const { return initDecoder && initEncoder && decode && encode; }

    // One stream from a fresh encoder: the samples in blocks of 160, the
    // last block filled up with zeros.
    std::vector<Frame> EncodeStream(std::span<const std::int16_t> pcm, int mode) const;

    // One stream through a fresh decoder; a silence run stands for N blocks.
    std::vector<std::int16_t> DecodeStream(const std::vector<Frame>& frames) const;
};

}  // namespace murmex::codec::test
