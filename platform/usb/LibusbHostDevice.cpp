#include "LibusbHostDevice.h"

#include <libusb.h>

#include <limits>

namespace murmex::usb {

namespace {

constexpr unsigned kTimeoutMs = 5000;
constexpr std::uint8_t kInterfaceNumber = 0;

}  // namespace

LibusbHostDevice::LibusbHostDevice(libusb_device_handle* handle) : handle_(handle) {
    libusb_set_auto_detach_kernel_driver(handle_, 1);
}

LibusbHostDevice::~LibusbHostDevice() {
    if (claimed_) libusb_release_interface(handle_, kInterfaceNumber);
    libusb_close(handle_);
}

TransferStatus LibusbHostDevice::Status(int libusbError) {
    switch (libusbError) {
    case LIBUSB_SUCCESS: return TransferStatus::Completed;
    case LIBUSB_ERROR_TIMEOUT: return TransferStatus::Timeout;
    case LIBUSB_ERROR_PIPE: return TransferStatus::Stall;
    case LIBUSB_ERROR_OVERFLOW: return TransferStatus::Overflow;
    case LIBUSB_ERROR_NO_DEVICE:
        present_ = false;
        return TransferStatus::NoDevice;
    default: return TransferStatus::Error;
    }
}

std::vector<std::uint8_t> LibusbHostDevice::StandardDescriptor(std::uint8_t type, std::uint8_t index,
                                                                std::size_t maxBytes) {
    std::vector<std::uint8_t> bytes(std::min<std::size_t>(maxBytes, std::numeric_limits<std::uint16_t>::max()));
    const int got = libusb_get_descriptor(handle_, type, index, bytes.data(), static_cast<int>(bytes.size()));
    if (got < 0) {
        Status(got);
        return {};
    }
    bytes.resize(static_cast<std::size_t>(got));
    return bytes;
}

std::vector<std::uint8_t> LibusbHostDevice::DeviceDescriptor() {
    return StandardDescriptor(LIBUSB_DT_DEVICE, 0, LIBUSB_DT_DEVICE_SIZE);
}

std::vector<std::uint8_t> LibusbHostDevice::ConfigurationDescriptor(std::uint8_t index, std::size_t maxBytes) {
    return StandardDescriptor(LIBUSB_DT_CONFIG, index, maxBytes);
}

TransferStatus LibusbHostDevice::SetConfiguration(std::uint8_t value) {
    if (claimed_) {
        libusb_release_interface(handle_, kInterfaceNumber);
        claimed_ = false;
    }
    int current = -1;
    if (libusb_get_configuration(handle_, &current) != LIBUSB_SUCCESS || current != value) {
        const int set = libusb_set_configuration(handle_, value);
        if (set != LIBUSB_SUCCESS) return Status(set);
    }
    const int claim = libusb_claim_interface(handle_, kInterfaceNumber);
    if (claim != LIBUSB_SUCCESS) return Status(claim);
    claimed_ = true;
    return TransferStatus::Completed;
}

void LibusbHostDevice::SubmitControl(const ControlSetup& setup, std::span<std::uint8_t> data,
                                     TransferCompletion done) {
    const std::uint16_t length = static_cast<std::uint16_t>(std::min<std::size_t>(data.size(), setup.length));
    const int got = libusb_control_transfer(handle_, setup.requestType, setup.request, setup.value, setup.index,
                                            data.data(), length, kTimeoutMs);
    if (got < 0)
        done({Status(got), 0});
    else
        done({TransferStatus::Completed, static_cast<std::size_t>(got)});
}

void LibusbHostDevice::SubmitBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, bool allowShort,
                                  TransferCompletion done) {
    int moved = 0;
    const int length = static_cast<int>(std::min<std::size_t>(data.size(), std::numeric_limits<int>::max()));
    const int status = libusb_bulk_transfer(handle_, endpoint, data.data(), length, &moved, kTimeoutMs);
    done(ApplyShortRule({Status(status), static_cast<std::size_t>(moved)}, data.size(), allowShort));
}

}  // namespace murmex::usb
