// The in-process device manager: what the USB access library reaches where
// the original reached the set-up API and the kernel. It finds USB devices
// through its backends (the emulator and libusb), binds the bridge driver to
// each, runs the driver's add/start/stop/remove paths, keeps the device
// interfaces the drivers register, and turns open / I/O control / read /
// write on an interface path into the driver's dispatch calls, with NT-style
// status codes. One instance per process, like the kernel it stands for.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Guid.h"
#include "NtStatus.h"
#include "UsbWire.h"

#define MURMEX_USB_API __attribute__((visibility("default")))

namespace murmex::usb {

using DeviceId = std::uint32_t;
using FileHandle = std::int32_t;
inline constexpr FileHandle kInvalidFile = -1;

class DeviceManagerState;

class MURMEX_USB_API DeviceManager {
public:
    static DeviceManager& Instance();

    // Paths of the present device interfaces of a class, in the order the
    // devices arrived. Looks for new and departed devices first.
    std::vector<std::string> InterfacePaths(const Guid& interfaceClass);

    // kInvalidFile when no present interface has that path.
    FileHandle Open(const std::string& path);
    NtStatus DeviceIoControl(FileHandle file, std::uint32_t code, std::span<const std::uint8_t> input,
                             std::span<std::uint8_t> output, std::uint32_t& returned);
    NtStatus Read(FileHandle file, std::span<std::uint8_t> buffer, std::uint32_t& transferred);
    NtStatus Write(FileHandle file, std::span<const std::uint8_t> buffer, std::uint32_t& transferred);
    void Close(FileHandle file);

    // Emulated devices: test rigs plug them in directly; MURMEX_BRIDGE_EMULATOR
    // plugs one in at the first look for devices.
    DeviceId PlugEmulated(std::shared_ptr<UsbFunction> function);
    // Surprise removal, as when the cable is pulled.
    void Unplug(DeviceId device);
    void UnplugAll();

    DeviceManager(const DeviceManager&) = delete;
    DeviceManager& operator=(const DeviceManager&) = delete;

private:
    DeviceManager();
    ~DeviceManager();

    std::unique_ptr<DeviceManagerState> state_;
};

}  // namespace murmex::usb
