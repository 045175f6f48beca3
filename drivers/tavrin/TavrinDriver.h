// The bridge's function driver: configures the bridge, publishes the device
// interface the USB access library looks for, and turns its three kinds of
// request into USB transfers (the vendor-request I/O control into a control
// transfer, reads into bulk-IN, writes into bulk-OUT). It knows nothing of
// cards or commands.
#pragma once

#include <memory>
#include <string>

#include "DriverFramework.h"

namespace murmex::tavrin {

class TavrinDriver : public usb::Driver {
public:
    std::string Name() const override { return "tavrin"; }
    std::unique_ptr<usb::DeviceObject> AddDevice(std::shared_ptr<usb::UsbHostDevice> device) override;

private:
    unsigned nextUnit_ = 0;  // raised for each device added
};

}  // namespace murmex::tavrin
