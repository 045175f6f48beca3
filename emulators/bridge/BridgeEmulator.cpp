#include "BridgeEmulator.h"

#include "Descriptors.h"
#include "Firmware.h"

namespace murmex::bridge {

BridgeEmulator::BridgeEmulator(BridgeOptions options) : firmware_(std::make_unique<Firmware>(options)) {}

BridgeEmulator::~BridgeEmulator() = default;

std::vector<std::uint8_t> BridgeEmulator::DeviceDescriptor() const { return Descriptors::Device(kVendorId, kProductId); }

std::vector<std::uint8_t> BridgeEmulator::ConfigurationDescriptor(std::uint8_t index) const {
    return Descriptors::Configuration(index);
}

usb::TransferStatus BridgeEmulator::SetConfiguration(std::uint8_t value) { return firmware_->SetConfiguration(value); }

usb::TransferResult BridgeEmulator::Control(const usb::ControlSetup& setup, std::span<std::uint8_t> data) {
    return firmware_->Control(setup, data);
}

usb::TransferResult BridgeEmulator::Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data) {
    return firmware_->Bulk(endpoint, data);
}

bool BridgeEmulator::Attached() const { return firmware_->Journal().Attached(); }
std::uint64_t BridgeEmulator::TransferCount() const { return firmware_->Journal().Count(); }
void BridgeEmulator::EnableLog(bool on) { firmware_->Journal().EnableLog(on); }
const std::vector<TransferRecord>& BridgeEmulator::Log() const { return firmware_->Journal().Log(); }
void BridgeEmulator::ClearLog() { firmware_->Journal().ClearLog(); }

}  // namespace murmex::bridge
