// The small driver framework the bridge drivers are written on. The device
// manager plays the plug-and-play and power managers: it calls a Driver's
// AddDevice for each device it binds, then Start, and Stop / SurpriseRemoval
// / Remove as the device goes; PowerUp and Sleep on power changes. I/O
// requests reach the device object as IoRequests, which it completes at once
// or later from a transfer's completion callback.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "Guid.h"
#include "NtStatus.h"
#include "UsbHostDevice.h"

namespace murmex::usb {

// One request to a device object. The buffers belong to the caller, who
// waits for the completion.
class IoRequest {
public:
    enum class Kind { Create, Close, Cleanup, Read, Write, IoControl };
    using Completion = std::function<void(NtStatus status, std::uint32_t information)>;

    IoRequest(Kind kind, Completion done) : kind_(kind), done_(std::move(done)) {}

    Kind GetKind() const { return kind_; }

    // Read: the buffer to fill. Write: the data. I/O control: the output buffer.
    std::span<std::uint8_t> buffer;
    // I/O control only.
    std::uint32_t ioControlCode = 0;
    std::span<const std::uint8_t> input;

    // The first call wins; a request is completed exactly once.
    void Complete(NtStatus status, std::uint32_t information);

private:
    Kind kind_;
    Completion done_;
    std::mutex mutex_;
    bool completed_ = false;
};

// The function device object a driver creates for one bridge.
class DeviceObject {
public:
    virtual ~DeviceObject() = default;

    // The name in the device directory ("TavrinDevice0").
    virtual std::string Name() const = 0;
    // The interface class the device registers and enables.
    virtual const Guid& InterfaceClass() const = 0;

    virtual NtStatus Start() = 0;
    virtual void Stop() = 0;
    // Called before Remove when the device left without warning.
    virtual void SurpriseRemoval() {}
    virtual void Remove() = 0;
    virtual NtStatus PowerUp() { return kStatusSuccess; }
    virtual NtStatus Sleep() { return kStatusSuccess; }

    virtual void Dispatch(const std::shared_ptr<IoRequest>& request) = 0;
};

// The driver object: one per installed driver and process.
class Driver {
public:
    virtual ~Driver() = default;
    virtual std::string Name() const = 0;
    // nullptr when the device cannot be added.
    virtual std::unique_ptr<DeviceObject> AddDevice(std::shared_ptr<UsbHostDevice> device) = 0;
};

}  // namespace murmex::usb
