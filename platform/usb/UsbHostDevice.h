// One attached USB device as the host's USB stack offers it to a driver:
// descriptors, configuration, and control and bulk transfers that finish
// through a completion callback (which may run before Submit returns).
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "NtStatus.h"
#include "UsbWire.h"

namespace murmex::usb {

using TransferCompletion = std::function<void(TransferResult)>;

class UsbHostDevice {
public:
    virtual ~UsbHostDevice() = default;

    // Empty when the device does not answer.
    virtual std::vector<std::uint8_t> DeviceDescriptor() = 0;
    // At most maxBytes of configuration `index`'s whole descriptor.
    virtual std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index, std::size_t maxBytes) = 0;
    virtual TransferStatus SetConfiguration(std::uint8_t value) = 0;

    virtual void SubmitControl(const ControlSetup& setup, std::span<std::uint8_t> data,
                               TransferCompletion done) = 0;
    // allowShort false: a transfer that moves fewer bytes than asked fails.
    virtual void SubmitBulk(std::uint8_t endpoint, std::span<std::uint8_t> data, bool allowShort,
                            TransferCompletion done) = 0;

    // False once the device has left the bus.
    virtual bool Present() const = 0;

    // Submit and wait, for callers that have nothing else to do meanwhile.
    TransferResult Control(const ControlSetup& setup, std::span<std::uint8_t> data);
};

// The status a driver completes its request with when a transfer ended so.
NtStatus ToNtStatus(TransferStatus status);

// A transfer's outcome once the short-transfer rule has been applied.
TransferResult ApplyShortRule(TransferResult result, std::size_t asked, bool allowShort);

}  // namespace murmex::usb
