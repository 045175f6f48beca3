// The encoder library "mxconv.dll" as its callers bind it: loaded by name,
// its entry points looked up by these names and called through these types.
#pragma once

#include <cstdint>

namespace murmex {

inline constexpr const char* kMxconvLibraryName = "mxconv.dll";
inline constexpr const char* kEncodeToMxdName = "EncodeToMXD";
inline constexpr const char* kMxconvSetNotifierName = "MxconvSetNotifier";

// Encodes a WAV file into an SP-mode MXD file ("MXTS"). cancel and progress
// may be null; progress gets thousandths (0-1000). When window is given,
// every progress update is followed by a call of the registered notifier
// with window, message, wParam and lParam as passed in. 1 when the file was
// encoded or the caller cancelled, 0 on failure.
using EncodeToMxdFn = int(const char* input, const char* output, int* cancel, int* progress, void* window,
                          std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);

// Stands in for posting a window message: called synchronously on the
// encoding thread.
using MxconvNotifyFn = void(void* window, std::uint32_t message, std::uintptr_t wParam, std::intptr_t lParam);
// Registers the notifier for all later calls; null removes it.
using MxconvSetNotifierFn = void(MxconvNotifyFn* notifier);

}  // namespace murmex
