#include "LibusbBackend.h"

#include <libusb.h>

#include <algorithm>

#include "LibusbHostDevice.h"

namespace murmex::usb {

namespace {

std::string Location(libusb_device* device) {
    std::uint8_t ports[8];
    const int depth = libusb_get_port_numbers(device, ports, sizeof ports);
    std::string location = std::to_string(libusb_get_bus_number(device));
    for (int i = 0; i < depth; ++i) location += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    return location;
}

bool Listed(const std::vector<UsbId>& ids, std::uint16_t vendor, std::uint16_t product) {
    return std::find(ids.begin(), ids.end(), UsbId{vendor, product}) != ids.end();
}

}  // namespace

LibusbBackend::~LibusbBackend() {
    if (context_) libusb_exit(context_);
}

std::vector<FoundDevice> LibusbBackend::Scan(const std::vector<UsbId>& ids, const std::vector<std::string>& known) {
    std::vector<FoundDevice> found;
    if (ids.empty() || failed_) return found;
    if (!context_ && libusb_init(&context_) != LIBUSB_SUCCESS) {
        context_ = nullptr;
        failed_ = true;  // no USB access on this machine: only emulated bridges
        return found;
    }
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context_, &list);
    for (ssize_t i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
        if (!Listed(ids, descriptor.idVendor, descriptor.idProduct)) continue;
        FoundDevice device{Location(list[i]), nullptr};
        if (std::find(known.begin(), known.end(), device.location) == known.end()) {
            libusb_device_handle* handle = nullptr;
            if (libusb_open(list[i], &handle) != LIBUSB_SUCCESS) continue;  // no permission: not usable
            device.device = std::make_shared<LibusbHostDevice>(handle);
        }
        found.push_back(std::move(device));
    }
    if (count >= 0) libusb_free_device_list(list, 1);
    return found;
}

}  // namespace murmex::usb
