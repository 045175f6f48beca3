// The device link's texts: its string-table messages and the texts for the
// card access library's last-error codes.
#pragma once

#include <cstdint>
#include <string>

namespace murmex {

inline constexpr const char* kManagerCaption = "Murmex PLUS";                                   // 57344
inline constexpr const char* kFunctionMissing = "Can't found function from DLL";                // 57346
inline constexpr const char* kCardLibraryMissing = "Can't found KVCARD.DLL";                    // 57347
inline constexpr const char* kUsbDriverMissing = "Can't found USB driver.";                     // 57348
inline constexpr const char* kMemoryDeviceFailed = "Memory device initialization failed.";      // 57349
inline constexpr const char* kUsbSettingFailed = "USB setting failed.";                         // 57350
inline constexpr const char* kRecognitionFailed = "Unknown version\nFlash memory data recognition failed.";  // 57351
inline constexpr const char* kInitializationFailed = "USB  initialization failed.";             // 57352

// The text for a card access library error code; empty for a code it does not know.
std::string CardErrorText(std::uint32_t code);

}  // namespace murmex
