// What travels on the USB wire, seen from both ends: the setup packet of a
// control transfer, how a transfer ended, and the device side of the wire
// (UsbFunction) that an emulated device implements. The host side lives in
// UsbHostDevice.h; the emulator backend joins the two.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace murmex::usb {

// bmRequestType bits
inline constexpr std::uint8_t kDirectionIn = 0x80;
inline constexpr std::uint8_t kTypeVendor = 0x40;
inline constexpr std::uint8_t kRecipientDevice = 0x00;

struct ControlSetup {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;  // bytes of the data stage

    bool IsIn() const { return (requestType & kDirectionIn) != 0; }
};

enum class TransferStatus {
    Completed,
    Stall,      // the device refused the request
    Timeout,
    NoDevice,   // the device has left the bus
    Overflow,   // the device sent more than the buffer holds
    Error,
};

struct TransferResult {
    TransferStatus status = TransferStatus::Error;
    std::size_t transferred = 0;  // bytes moved in the data stage

    bool Ok() const { return status == TransferStatus::Completed; }
};

// The device end of the wire. Calls arrive one at a time, in bus order.
class UsbFunction {
public:
    virtual ~UsbFunction() = default;

    // The 18-byte device descriptor.
    virtual std::vector<std::uint8_t> DeviceDescriptor() const = 0;
    // The whole configuration descriptor (configuration, interface and
    // endpoint descriptors, wTotalLength bytes) of configuration `index`.
    virtual std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index) const = 0;
    virtual TransferStatus SetConfiguration(std::uint8_t value) = 0;

    // A control transfer other than the standard requests above. For IN,
    // `data` has room for setup.length bytes and the result says how many
    // the device sent; for OUT it holds the setup.length bytes sent.
    virtual TransferResult Control(const ControlSetup& setup, std::span<std::uint8_t> data) = 0;

    // A bulk transfer on `endpoint` (bit 7 set = IN: fill `data`; clear =
    // OUT: consume `data`). An IN transfer may end short.
    virtual TransferResult Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data) = 0;

    // False once the device has left the bus; every transfer then ends NoDevice.
    virtual bool Attached() const = 0;
};

}  // namespace murmex::usb
