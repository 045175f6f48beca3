// The USB access library: finds the bridge by the device interface class its
// driver registers, holds one handle for the whole process, and passes
// vendor requests and bulk data to the driver.
#include <algorithm>
#include <cstring>

#include "DeviceManager.h"
#include "VendorRequest.h"
#include "hvtavrin.h"

using murmex::usb::DeviceManager;
using murmex::usb::FileHandle;
using murmex::usb::kInvalidFile;
using murmex::usb::NtSuccess;
using murmex::usb::VendorRequestIn;

namespace {

// Variant A finds the bridge drivers of this system; variant B a bridge
// driver of another make. The build says which one this copy is.
const murmex::usb::Guid kInterfaceClass{HVTAVRIN_INTERFACE_CLASS};

FileHandle device = kInvalidFile;

int VendorCommand(bool deviceToHost, unsigned char request, unsigned short value, unsigned short index,
                  unsigned short length, void* buffer) {
    if (device == kInvalidFile) return 0;
    VendorRequestIn record;
    record.request = request;
    record.value = value;
    record.index = index;
    record.length = length;
    record.deviceToHost = deviceToHost;
    if (!deviceToHost && buffer)
        std::memcpy(record.data.data(), buffer, std::min<std::size_t>(length, VendorRequestIn::kDataBytes));
    const auto input = record.Encode();
    std::uint8_t output[murmex::usb::kVendorOutputBytes] = {};
    std::uint32_t returned = 0;
    if (!NtSuccess(DeviceManager::Instance().DeviceIoControl(device, murmex::usb::kIoctlVendorCommand, input, output,
                                                             returned)))
        return 0;
    if (deviceToHost && buffer) std::memcpy(buffer, output, std::min<std::size_t>(length, sizeof output));
    return 1;
}

}  // namespace

int FindUsbDev(std::uint32_t) {
    // Asked again while open: the handle already there is the bridge.
    if (device != kInvalidFile) return 1;
    const auto paths = DeviceManager::Instance().InterfacePaths(kInterfaceClass);
    if (paths.empty()) return 0;
    device = DeviceManager::Instance().Open(paths.front());
    return device != kInvalidFile ? 1 : 0;
}

int CloseUsbDev() {
    if (device != kInvalidFile) DeviceManager::Instance().Close(device);
    device = kInvalidFile;
    return 1;
}

int UsbVendorCmdRead(unsigned char request, unsigned short value, unsigned short index, unsigned short length,
                     void* buffer) {
    return VendorCommand(true, request, value, index, length, buffer);
}

int UsbVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index, unsigned short length,
                      void* buffer) {
    return VendorCommand(false, request, value, index, length, buffer);
}

int UsbDataRead(std::uint32_t length, void* buffer) {
    if (device == kInvalidFile) return 0;
    std::uint32_t moved = 0;
    const auto status = DeviceManager::Instance().Read(device, {static_cast<std::uint8_t*>(buffer), length}, moved);
    return NtSuccess(status) && moved == length ? 1 : 0;
}

int UsbDataReadPipe(std::uint32_t length, void* buffer) {
    return UsbDataRead(length, buffer);
}

int UsbDataWrite(std::uint32_t length, void* buffer) {
    if (device == kInvalidFile) return 0;
    std::uint32_t moved = 0;
    const auto status =
        DeviceManager::Instance().Write(device, {static_cast<const std::uint8_t*>(buffer), length}, moved);
    return NtSuccess(status) && moved == length ? 1 : 0;
}

int IsOHCI() {
    return 1;
}

int fnHvtavrin() {
    return 42;
}
