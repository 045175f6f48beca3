// Real bridges through libusb: finds the devices whose ids are on the bridge
// list and offers each as a UsbHostDevice. libusb is only started when there
// is a list to look for.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "BridgeIds.h"
#include "UsbHostDevice.h"

struct libusb_context;

namespace murmex::usb {

struct FoundDevice {
    std::string location;  // bus and port path: the same device keeps it while plugged in
    std::shared_ptr<UsbHostDevice> device;
};

class LibusbBackend {
public:
    LibusbBackend() = default;
    ~LibusbBackend();
    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    // The bridges present now. Devices whose location is in `known` are only
    // reported by location (device empty), so they are not opened twice.
    std::vector<FoundDevice> Scan(const std::vector<UsbId>& ids, const std::vector<std::string>& known);

private:
    libusb_context* context_ = nullptr;
    bool failed_ = false;
};

}  // namespace murmex::usb
