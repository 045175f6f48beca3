#include "EmulatedHostDevice.h"

#include <algorithm>

namespace murmex::usb {

EmulatedHostDevice::EmulatedHostDevice(std::shared_ptr<UsbFunction> function) : function_(std::move(function)) {}

std::vector<std::uint8_t> EmulatedHostDevice::DeviceDescriptor() {
    std::lock_guard lock(wire_);
    if (detached_ || !function_->Attached()) return {};
    return function_->DeviceDescriptor();
}

std::vector<std::uint8_t> EmulatedHostDevice::ConfigurationDescriptor(std::uint8_t index, std::size_t maxBytes) {
    std::lock_guard lock(wire_);
    if (detached_ || !function_->Attached()) return {};
    auto descriptor = function_->ConfigurationDescriptor(index);
    if (descriptor.size() > maxBytes) descriptor.resize(maxBytes);
    return descriptor;
}

TransferStatus EmulatedHostDevice::SetConfiguration(std::uint8_t value) {
    std::lock_guard lock(wire_);
    if (detached_ || !function_->Attached()) return TransferStatus::NoDevice;
    return function_->SetConfiguration(value);
}

void EmulatedHostDevice::SubmitControl(const ControlSetup& setup, std::span<std::uint8_t> data,
                                       TransferCompletion done) {
    TransferResult result{TransferStatus::NoDevice, 0};
    {
        std::lock_guard lock(wire_);
        if (!detached_ && function_->Attached()) {
            result = function_->Control(setup, data.first(std::min<std::size_t>(data.size(), setup.length)));
            result.transferred = std::min<std::size_t>(result.transferred, setup.length);
        }
    }
    done(result);
}

void EmulatedHostDevice::SubmitBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, bool allowShort,
                                    TransferCompletion done) {
    TransferResult result{TransferStatus::NoDevice, 0};
    {
        std::lock_guard lock(wire_);
        if (!detached_ && function_->Attached()) {
            result = function_->Bulk(endpoint, data);
            if (result.transferred > data.size()) result = {TransferStatus::Overflow, data.size()};
        }
    }
    done(ApplyShortRule(result, data.size(), allowShort));
}

bool EmulatedHostDevice::Present() const {
    std::lock_guard lock(wire_);
    return !detached_ && function_->Attached();
}

void EmulatedHostDevice::Detach() {
    std::lock_guard lock(wire_);
    detached_ = true;
}

}  // namespace murmex::usb
