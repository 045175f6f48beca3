#include "PcFile.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <ctime>

namespace murmex {

std::string LowerExtension(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<std::uint64_t> FileLength(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(st.st_size);
}

DateStamp LastWriteStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    std::tm t{};
    const std::time_t when = st.st_mtime;
    if (!::localtime_r(&when, &t)) return {};
    return {static_cast<std::uint8_t>(t.tm_year % 100), static_cast<std::uint8_t>(t.tm_mon + 1),
            static_cast<std::uint8_t>(t.tm_mday), static_cast<std::uint8_t>(t.tm_hour),
            static_cast<std::uint8_t>(t.tm_min), static_cast<std::uint8_t>(t.tm_sec)};
}

void SetFileTimesFromStamp(const std::string& path, const DateStamp& stamp) {
    const bool allZero = std::all_of(stamp.begin(), stamp.end(), [](std::uint8_t b) { return b == 0; });
    const bool anyErased = std::any_of(stamp.begin(), stamp.end(), [](std::uint8_t b) { return b == 0xFF; });
    if (allZero || anyErased) return;
    std::tm t{};
    t.tm_year = 100 + stamp[0];
    t.tm_mon = stamp[1] - 1;
    t.tm_mday = stamp[2];
    t.tm_hour = stamp[3];
    t.tm_min = stamp[4];
    t.tm_sec = stamp[5];
    t.tm_isdst = -1;
    const std::time_t when = std::mktime(&t);
    if (when == static_cast<std::time_t>(-1)) return;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace murmex
