// One bridge under the Tavrin driver ("TavrinDevice0", "TavrinDevice1", ...):
// configuration 1, interface 0, and the three pipes
//   0x01 bulk OUT (65536 bytes a transfer), 0x82 bulk IN (65536), 0x83 bulk IN (4096).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "DriverFramework.h"

namespace murmex::tavrin {

class TavrinDevice : public usb::DeviceObject {
public:
    TavrinDevice(std::shared_ptr<usb::UsbHostDevice> usb, unsigned unit);

    std::string Name() const override;
    const usb::Guid& InterfaceClass() const override { return usb::kTavrinInterfaceClass; }

    usb::NtStatus Start() override;
    void Stop() override;
    void Remove() override;
    void Dispatch(const std::shared_ptr<usb::IoRequest>& request) override;

private:
    struct Pipe {
        std::uint8_t endpoint;
        std::uint32_t maxTransfer;
        bool open = false;
    };

    void VendorRequest(const std::shared_ptr<usb::IoRequest>& request);
    void Read(const std::shared_ptr<usb::IoRequest>& request);
    void Write(const std::shared_ptr<usb::IoRequest>& request);
    void Bulk(const Pipe& pipe, const std::shared_ptr<usb::IoRequest>& request, bool allowShort);

    std::shared_ptr<usb::UsbHostDevice> usb_;
    unsigned unit_;
    bool started_ = false;
    Pipe bulkOut_{0x01, 65536};
    Pipe bulkIn_{0x82, 65536};
    Pipe statusIn_{0x83, 4096};
};

}  // namespace murmex::tavrin
