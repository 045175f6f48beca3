// Fuzzes kvcard against a hostile bridge: every control-IN answer, bulk-IN
// block and write status comes from the input, each transfer may be refused,
// and the bridge leaves the bus once the input is used up or a transfer
// budget is spent (which also cuts the MMC write retry pauses short). Each
// run drives the calls the manager and the legacy library make.
//
// Input: a stream read front to back; each transfer takes one verdict byte
// (value 0xF0 and above refuses the transfer), then IN transfers take their
// data, which may end short.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "DeviceManager.h"
#include "FuzzSupport.h"
#include "kvcard.h"

namespace murmex {
namespace {

constexpr std::uint16_t kVendorId = 0x1209;
constexpr std::uint16_t kProductId = 0x0001;
constexpr std::uint64_t kTransferBudget = 600;
constexpr std::uint8_t kRefuse = 0xF0;

class ScriptedBridge : public usb::UsbFunction {
public:
    explicit ScriptedBridge(std::span<const std::uint8_t> script) : script_(script) {}

    std::vector<std::uint8_t> DeviceDescriptor() const override {
        return {18, 1, 0x10, 0x01, 0, 0, 0, 64, kVendorId & 0xFF, kVendorId >> 8, kProductId & 0xFF,
                kProductId >> 8, 0x00, 0x01, 0, 0, 0, 1};
    }

    std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index) const override {
        if (index != 0) return {};
        return {9, 2, 39, 0, 1, 1, 0, 0x80, 50,  // configuration 1, one interface
                9, 4, 0, 0, 3, 0xFF, 0, 0, 0,    // interface 0, three endpoints
                7, 5, 0x01, 2, 64, 0, 0,         // bulk OUT
                7, 5, 0x82, 2, 64, 0, 0,         // bulk IN
                7, 5, 0x83, 2, 64, 0, 0};        // bulk IN, write status
    }

    usb::TransferStatus SetConfiguration(std::uint8_t) override { return usb::TransferStatus::Completed; }

    usb::TransferResult Control(const usb::ControlSetup& setup, std::span<std::uint8_t> data) override {
        return Answer(setup.IsIn(), data);
    }

    usb::TransferResult Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data) override {
        return Answer((endpoint & 0x80) != 0, data);
    }

    bool Attached() const override { return !gone_; }

private:
    usb::TransferResult Answer(bool in, std::span<std::uint8_t> data) {
        if (gone_ || ++transfers_ > kTransferBudget || at_ >= script_.size()) {
            gone_ = true;
            return {usb::TransferStatus::NoDevice, 0};
        }
        const std::uint8_t verdict = script_[at_++];
        if (verdict >= kRefuse) return {usb::TransferStatus::Stall, 0};
        if (!in) return {usb::TransferStatus::Completed, data.size()};
        // The rest of the verdict byte decides whether the answer ends short.
        const std::size_t wanted = (verdict & 0x80) ? data.size() * (verdict & 0x7F) / 0x80 : data.size();
        const std::size_t n = std::min(wanted, script_.size() - at_);
        std::memcpy(data.data(), script_.data() + at_, n);
        at_ += n;
        return {usb::TransferStatus::Completed, n};
    }

    std::span<const std::uint8_t> script_;
    std::size_t at_ = 0;
    std::uint64_t transfers_ = 0;
    bool gone_ = false;
};

void DriveKvcard() {
    if (!IOOpenPort(0, 0)) {
        IOClose();
        return;
    }
    // The manager's SmartMedia path.
    std::vector<unsigned char> records(40 * 528);
    SSFDCCheckCard();
    SSFDCReadMultiBlock(records.data(), 0x4000, 544, 40);
    SSFDCWriteMultiBlock(records.data(), 0x4000, 544, 33);
    SSFDCEraseBlock(0x4000);
    // The MMC path.
    std::uint32_t serial = 0;
    MMCCheckCard(&serial);
    std::vector<unsigned char> blocks(20 * 512);
    MMCReadMultiBlock(blocks.data(), 0, 512, 20);
    MMCWriteMultiBlock(blocks.data(), 0, 512, 3);
    std::array<unsigned char, 1024> data{};
    MMCGetData(data.data(), 512, 1);
    MMCGetProductName();
    IOClose();
}

}  // namespace
}  // namespace murmex

namespace {

void WriteSeeds(const std::string& folder) {
    // A bridge that accepts everything and answers zeros, and one that
    // answers 0x7F bytes to everything.
    murmex::fuzz::WriteSeed(folder, "quiet-bridge", std::vector<std::uint8_t>(4096, 0x00));
    murmex::fuzz::WriteSeed(folder, "no-card", std::vector<std::uint8_t>(4096, 0x7F));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& devices = murmex::usb::DeviceManager::Instance();
    const auto id = devices.PlugEmulated(std::make_shared<murmex::ScriptedBridge>(std::span(data, size)));
    murmex::DriveKvcard();
    devices.Unplug(id);
    return 0;
}
