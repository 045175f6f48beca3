// One real USB device opened through libusb. Transfers run synchronously on
// the caller's thread with a timeout and then call their completion.
#pragma once

#include <atomic>

#include "UsbHostDevice.h"

struct libusb_device_handle;

namespace murmex::usb {

class LibusbHostDevice : public UsbHostDevice {
public:
    explicit LibusbHostDevice(libusb_device_handle* handle);
    ~LibusbHostDevice() override;
    LibusbHostDevice(const LibusbHostDevice&) = delete;
    LibusbHostDevice& operator=(const LibusbHostDevice&) = delete;

    std::vector<std::uint8_t> DeviceDescriptor() override;
    std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index, std::size_t maxBytes) override;
    TransferStatus SetConfiguration(std::uint8_t value) override;
    void SubmitControl(const ControlSetup& setup, std::span<std::uint8_t> data, TransferCompletion done) override;
    void SubmitBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, bool allowShort,
                    TransferCompletion done) override;
    bool Present() const override { return present_; }

private:
    TransferStatus Status(int libusbError);
    std::vector<std::uint8_t> StandardDescriptor(std::uint8_t type, std::uint8_t index, std::size_t maxBytes);

    libusb_device_handle* handle_;
    bool claimed_ = false;
    std::atomic<bool> present_{true};
};

}  // namespace murmex::usb
