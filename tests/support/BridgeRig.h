// A bridge emulator plugged into the process's device manager for the length
// of a test, over a card image in a temporary file.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BridgeEmulator.h"
#include "DeviceManager.h"

namespace murmex::test {

// A temporary file that goes away with the object.
class TempFile {
public:
    explicit TempFile(const std::string& suffix) {
        std::string pattern = (std::filesystem::temp_directory_path() / ("murmex-XXXXXX" + suffix)).string();
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(suffix.size()));
        if (fd >= 0) ::close(fd);
        path_ = pattern;
    }
    ~TempFile() { std::filesystem::remove(path_); }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

// A card image of `bytes` bytes, all 0xFF (erased flash).
inline void WriteErasedImage(const std::string& path, std::uint64_t bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::vector<char> chunk(1 << 16, static_cast<char>(0xFF));
    for (std::uint64_t left = bytes; left > 0;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, chunk.size());
        out.write(chunk.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
}

class BridgeRig {
public:
    // `options` follow the image path in the emulator's option string.
    explicit BridgeRig(const std::string& imagePath, const std::string& options = "") {
        bridge_ = std::make_shared<bridge::BridgeEmulator>(
            bridge::ParseBridgeOptions(options.empty() ? imagePath : imagePath + "," + options));
        bridge_->EnableLog(true);
        id_ = usb::DeviceManager::Instance().PlugEmulated(bridge_);
    }
    ~BridgeRig() { usb::DeviceManager::Instance().Unplug(id_); }
    BridgeRig(const BridgeRig&) = delete;
    BridgeRig& operator=(const BridgeRig&) = delete;

    bridge::BridgeEmulator& Bridge() { return *bridge_; }
    usb::DeviceId Id() const { return id_; }

private:
    std::shared_ptr<bridge::BridgeEmulator> bridge_;
    usb::DeviceId id_ = 0;
};

}  // namespace murmex::test
