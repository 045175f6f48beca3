// The fixture of the kvcard tests: card image files, the
// bridge emulator plugged into the device manager with its transfer log on,
// and helpers to read that log as the transfer sequence kvcard produced.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "BridgeEmulator.h"
#include "CardImages.h"
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

class KvcardFixture : public ::testing::Test {
protected:
    void SetUp() override { unsetenv("MURMEX_BRIDGE_EMULATOR"); }

    void TearDown() override {
        IOClose();
        usb::DeviceManager::Instance().UnplugAll();
        bridge_.reset();
        images_.clear();
    }

    // An image of `bytes` filled with `fill`, `content` written at its start;
    // it lasts until the end of the test.
    std::string MakeImage(std::uint64_t bytes, std::uint8_t fill = 0xFF, const std::vector<std::uint8_t>& content = {}) {
        images_.push_back(std::make_unique<TempCardImage>(bytes, fill));
        images_.back()->Put(0, content);
        return images_.back()->Path();
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

    std::vector<std::unique_ptr<TempCardImage>> images_;
    std::shared_ptr<bridge::BridgeEmulator> bridge_;
};

}  // namespace murmex::test
