#include "ProgramDirectory.h"

#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace murmex::platform {

namespace {

std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        // readlink truncates silently; a full buffer may mean a longer path.
        if (static_cast<std::size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<std::size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::string ProgramDirectory() {
    if (const char* dir = std::getenv("MURMEX_PROGRAM_DIR"); dir != nullptr && *dir != '\0') {
        std::string result(dir);
        if (result.back() != '/') result.push_back('/');
        return result;
    }
    std::string path = ExecutablePath();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    path.resize(slash + 1);
    return path;
}

std::string ExecutableName(std::string_view systemName) {
    constexpr std::string_view kExtension = ".exe";
    if (systemName.size() > kExtension.size()) {
        const auto tail = systemName.substr(systemName.size() - kExtension.size());
        bool match = true;
        for (std::size_t i = 0; i < kExtension.size(); ++i) {
            char c = tail[i];
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            match = match && c == kExtension[i];
        }
        if (match) systemName.remove_suffix(kExtension.size());
    }
    return std::string(systemName);
}

std::string ProgramPath(std::string_view systemName) {
    return ProgramDirectory() + ExecutableName(systemName);
}

}  // namespace murmex::platform
