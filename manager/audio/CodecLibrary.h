// The speech codec library as the programs bind it: "trc.dll" loaded by
// name from the program directory and its four entry points looked up.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "Module.h"

namespace murmex {

inline constexpr const char* kCodecLibraryName = "trc.dll";
inline constexpr const char* kCodecNotFound = "trc.dll not found.";

inline constexpr int kModeSp = 2;
inline constexpr int kModeLp = 0;

class CodecLibrary {
public:
    // Loads the library and calls vInitDecoder then vInitEncoder; on failure
    // Loaded() is false and nothing else works.
    explicit CodecLibrary(const std::string& name = kCodecLibraryName);
    bool Loaded() const { return encode_ != nullptr; }

    // One block of 160 samples (already divided by 4) into one frame;
    // returns the frame's length.
    int Encode(std::span<const std::int16_t, 160> samples, std::span<std::uint8_t, 24> frame, int mode);
    // One frame (its length from its first byte) into 160 samples.
    void Decode(std::span<const std::uint8_t, 24> frame, std::span<std::int16_t, 160> samples);

private:
    using InitFn = void();
    using DecodeFn = void(short*, const unsigned char*);
    using EncodeFn = int(const short*, unsigned char*, int, int);

    platform::Module module_;
    DecodeFn* decode_ = nullptr;
    EncodeFn* encode_ = nullptr;
};

}  // namespace murmex
