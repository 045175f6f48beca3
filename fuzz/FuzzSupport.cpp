#include "FuzzSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace murmex::fuzz {
namespace {

class ScratchFiles {
public:
    ~ScratchFiles() {
        for (const auto& [suffix, path] : paths_) ::unlink(path.c_str());
    }
    const std::string& For(const std::string& suffix) {
        auto it = paths_.find(suffix);
        if (it != paths_.end()) return it->second;
        std::string pattern = (std::filesystem::temp_directory_path() / ("murmex-fuzz-XXXXXX" + suffix)).string();
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
        if (fd < 0) {
            std::perror("mkstemps");
            std::abort();
        }
        ::close(fd);
        return paths_.emplace(suffix, pattern).first->second;
    }

private:
    std::map<std::string, std::string> paths_;
};

}  // namespace

const std::string& ScratchFile(const char* suffix) {
    static ScratchFiles files;
    return files.For(suffix);
}

bool WriteWholeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) return false;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return ::close(fd) == 0 && done == size;
}

int WriteSeedsWhenAsked(void (*write)(const std::string& folder)) {
    const char* folder = std::getenv("MURMEX_WRITE_SEEDS");
    if (folder == nullptr || *folder == '\0') return 0;
    write(folder);
    std::exit(0);
}

void WriteSeed(const std::string& folder, const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fclose(f);
}

}  // namespace murmex::fuzz
