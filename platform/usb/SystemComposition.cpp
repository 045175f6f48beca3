// The USB stack as this system installs it: the bridge driver, and the
// bridge emulator for MURMEX_BRIDGE_EMULATOR.
#include "BridgeEmulator.h"
#include "InstalledDrivers.h"
#include "TavrinDriver.h"

namespace murmex::usb {

std::vector<std::unique_ptr<Driver>> InstalledDrivers() {
    std::vector<std::unique_ptr<Driver>> drivers;
    drivers.push_back(std::make_unique<tavrin::TavrinDriver>());
    return drivers;
}

std::shared_ptr<UsbFunction> EmulatedDeviceFromOptions(const std::string& options) {
    return std::make_shared<bridge::BridgeEmulator>(bridge::ParseBridgeOptions(options));
}

}  // namespace murmex::usb
