// The fixture of the kvcard tests: card image files in a scratch folder, the
// bridge emulator plugged into the device manager with its transfer log on,
// and helpers to read that log as the transfer sequence kvcard produced.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "BridgeEmulator.h"
#include "DeviceManager.h"
#include "kvcard.h"

namespace murmex::bridge {

inline void PrintTo(const TransferRecord& r, std::ostream* os) {
    static const char* const kKinds[] = {"CtlIn", "CtlOut", "BulkIn", "BulkOut"};
    *os << kKinds[static_cast<int>(r.kind)] << "(" << int{r.requestOrEndpoint} << ", value " << r.value << ", "
        << r.length << " bytes)";
}

}  // namespace murmex::bridge

namespace murmex::test {

using bridge::TransferRecord;
using Kind = TransferRecord::Kind;

inline constexpr std::uint8_t kBulkOut = 0x01;
inline constexpr std::uint8_t kBulkIn = 0x82;
inline constexpr std::uint8_t kStatusIn = 0x83;  // the driver fetches 8-byte reads (write status) here

inline TransferRecord CtlOut(std::uint8_t request, std::uint32_t length, std::uint16_t value = 0) {
    return {Kind::ControlOut, request, value, length};
}
inline TransferRecord CtlIn(std::uint8_t request, std::uint32_t length, std::uint16_t value = 0) {
    return {Kind::ControlIn, request, value, length};
}
inline TransferRecord BulkOut(std::uint32_t length) { return {Kind::BulkOut, kBulkOut, 0, length}; }
inline TransferRecord BulkIn(std::uint32_t length) { return {Kind::BulkIn, kBulkIn, 0, length}; }
inline TransferRecord WriteStatus() { return {Kind::BulkIn, kStatusIn, 0, 8}; }

inline std::vector<std::uint8_t> Pattern(std::size_t bytes, std::uint32_t seed) {
    std::vector<std::uint8_t> out(bytes);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return out;
}

class KvcardFixture : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("MURMEX_BRIDGE_EMULATOR");
        dir_ = std::filesystem::temp_directory_path() /
               ("kvcard-test-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }

    void TearDown() override {
        IOClose();
        usb::DeviceManager::Instance().UnplugAll();
        bridge_.reset();
        std::filesystem::remove_all(dir_);
    }

    // An image of `bytes` filled with `fill`, `content` written at its start.
    std::string MakeImage(const std::string& name, std::uint64_t bytes, std::uint8_t fill = 0xFF,
                          const std::vector<std::uint8_t>& content = {}) {
        const auto path = dir_ / name;
        {
            std::ofstream out(path, std::ios::binary);
            const std::vector<char> chunk(1 << 20, static_cast<char>(fill));
            for (std::uint64_t left = bytes; left > 0;) {
                const auto n = static_cast<std::streamsize>(std::min<std::uint64_t>(left, chunk.size()));
                out.write(chunk.data(), n);
                left -= static_cast<std::uint64_t>(n);
            }
            out.seekp(0);
            out.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        }
        return path.string();
    }

    std::vector<std::uint8_t> ReadImage(const std::string& path, std::uint64_t at, std::size_t bytes) {
        std::ifstream in(path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(at));
        std::vector<std::uint8_t> out(bytes);
        in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(bytes));
        return out;
    }

    // Plugs a bridge over `image` with the emulator's option text appended.
    void Plug(const std::string& image, const std::string& options = "") {
        const std::string text = options.empty() ? image : image + "," + options;
        bridge_ = std::make_shared<bridge::BridgeEmulator>(bridge::ParseBridgeOptions(text));
        bridge_->EnableLog(true);
        usb::DeviceManager::Instance().PlugEmulated(bridge_);
    }

    // Plugs and opens, with the log starting after the open.
    void PlugAndOpen(const std::string& image, const std::string& options = "") {
        Plug(image, options);
        ASSERT_EQ(IOOpenPort(0, 0), 1);
        bridge_->ClearLog();
    }

    std::vector<TransferRecord> Log() const { return bridge_->Log(); }
    void ClearLog() { bridge_->ClearLog(); }

    std::vector<TransferRecord> Only(Kind kind) const {
        std::vector<TransferRecord> out;
        for (const auto& r : bridge_->Log())
            if (r.kind == kind) out.push_back(r);
        return out;
    }

    std::filesystem::path dir_;
    std::shared_ptr<bridge::BridgeEmulator> bridge_;
};

}  // namespace murmex::test
