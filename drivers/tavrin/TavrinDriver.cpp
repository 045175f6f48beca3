#include "TavrinDriver.h"

#include "TavrinDevice.h"

namespace murmex::tavrin {

std::unique_ptr<usb::DeviceObject> TavrinDriver::AddDevice(std::shared_ptr<usb::UsbHostDevice> device) {
    if (!device) return nullptr;
    auto object = std::make_unique<TavrinDevice>(std::move(device), nextUnit_);
    ++nextUnit_;
    return object;
}

}  // namespace murmex::tavrin
