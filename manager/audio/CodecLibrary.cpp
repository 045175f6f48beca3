#include "CodecLibrary.h"

namespace murmex {

CodecLibrary::CodecLibrary(const std::string& name) : module_(platform::Module::Load(name)) {
    if (!module_) return;
    auto* initDecoder = module_.Function<InitFn>("vInitDecoder");
    auto* initEncoder = module_.Function<InitFn>("vInitEncoder");
    auto* decode = module_.Function<DecodeFn>("vDecode");
    auto* encode = module_.Function<EncodeFn>("vEncode");
    if (!initDecoder || !initEncoder || !decode || !encode) return;
    initDecoder();
    initEncoder();
    decode_ = decode;
    encode_ = encode;
}

int CodecLibrary::Encode(std::span<const std::int16_t, 160> samples, std::span<std::uint8_t, 24> frame, int mode) {
    return encode_(samples.data(), frame.data(), mode, 0);
}

void CodecLibrary::Decode(std::span<const std::uint8_t, 24> frame, std::span<std::int16_t, 160> samples) {
    decode_(samples.data(), frame.data());
}

}  // namespace murmex
