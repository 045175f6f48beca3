// The emulator backend's side of a device: a UsbFunction (the device end of
// an emulated wire) offered to the drivers as an attached USB device. The
// transfers run on the caller's thread and complete before Submit returns.
#pragma once

#include <memory>
#include <mutex>

#include "UsbHostDevice.h"

namespace murmex::usb {

class EmulatedHostDevice : public UsbHostDevice {
public:
    explicit EmulatedHostDevice(std::shared_ptr<UsbFunction> function);

    std::vector<std::uint8_t> DeviceDescriptor() override;
    std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index, std::size_t maxBytes) override;
    TransferStatus SetConfiguration(std::uint8_t value) override;
    void SubmitControl(const ControlSetup& setup, std::span<std::uint8_t> data, TransferCompletion done) override;
    void SubmitBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, bool allowShort,
                    TransferCompletion done) override;
    bool Present() const override;

    // The cable is pulled: the device is gone whatever the function says.
    void Detach();

private:
    std::shared_ptr<UsbFunction> function_;
    mutable std::mutex wire_;  // one transfer on the wire at a time
    bool detached_ = false;
};

}  // namespace murmex::usb
