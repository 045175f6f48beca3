// The texts the transfer jobs show, by their string-table numbers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace murmex::transfer_text {

inline constexpr const char* kReplaceQuestion = "%s already exists.\nDo you want to replace it?";               // 32774
inline constexpr const char* kNoFileInformation = "Can not found file infomation from USB (Folder %s, Message %3.3d)";  // 57353
inline constexpr const char* kCannotWrite = "Can not write to USB (%8.8X)";                                     // 57354
inline constexpr const char* kCannotUpdateSystemArea = "Can not update USB system area.";                       // 57355
inline constexpr const char* kOutOfMessage = "Out of message.";                                                 // 57356
inline constexpr const char* kCannotRead = "Can not read from USB (%8.8X)";                                     // 57358
inline constexpr const char* kCannotMakeFileInformation = "Can not make file infomation to USB (Folder %s, Free Memory %dK)";  // 57359
inline constexpr const char* kTypeMismatch = "This file is can not save(Type mismatch) : %s";                  // 57360
// Failures on the PC side that the jobs report rather than pass over.
inline constexpr const char* kCannotCreatePcFile = "Can not create file : %s";
inline constexpr const char* kCannotWritePcFile = "Can not write file : %s";
inline constexpr const char* kCannotReadPcFile = "Can not read file : %s";

inline constexpr std::uint32_t kNotifyFileListChanged = 0xFF04;
inline constexpr std::uint32_t kNotifyRecorderListChanged = 0xFF06;

template <class... Args>
std::string Format(const char* format, Args... args) {
    char text[1024];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

}  // namespace murmex::transfer_text
