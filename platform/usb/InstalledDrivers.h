// What the device manager is given by the system it runs in: the drivers
// installed, and the emulated device an option string describes. Both are
// defined where the USB stack is put together with its drivers and the
// emulator (SystemComposition.cpp), so this layer depends on neither.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DriverFramework.h"
#include "UsbWire.h"

namespace murmex::usb {

std::vector<std::unique_ptr<Driver>> InstalledDrivers();

// The device MURMEX_BRIDGE_EMULATOR names; throws with a reason when the
// option string or its image is not usable.
std::shared_ptr<UsbFunction> EmulatedDeviceFromOptions(const std::string& options);

}  // namespace murmex::usb
