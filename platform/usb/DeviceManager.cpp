#include "DeviceManager.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <mutex>
#include <shared_mutex>

#include "BridgeIds.h"
#include "DriverFramework.h"
#include "EmulatedHostDevice.h"
#include "InstalledDrivers.h"
#include "LibusbBackend.h"

namespace murmex::usb {

namespace {

constexpr const char* kDefaultDriver = "tavrin";

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

struct BoundDevice {
    DeviceId id = 0;
    std::string location;
    std::shared_ptr<UsbHostDevice> host;
    std::shared_ptr<EmulatedHostDevice> emulated;  // set for emulated devices
    std::unique_ptr<DeviceObject> object;         // empty when no driver took the device
    bool started = false;
    bool removed = false;
    std::string interfacePath;
    // Requests in flight hold it shared; removal waits for them, so a driver
    // never sees its device removed under a request it is still working on.
    std::shared_mutex removeLock;
};

using DevicePtr = std::shared_ptr<BoundDevice>;

}  // namespace

class DeviceManagerState {
public:
    std::mutex mutex;
    std::vector<std::unique_ptr<Driver>> drivers = InstalledDrivers();
    std::vector<DevicePtr> devices;  // present devices, in arrival order
    std::map<FileHandle, DevicePtr> files;
    FileHandle nextFile = 1;
    DeviceId nextDevice = 1;
    LibusbBackend libusb;
    std::string environmentDevice;  // the MURMEX_BRIDGE_EMULATOR value already plugged in

    Driver* BridgeDriver() {
        std::string name = Environment("MURMEX_BRIDGE_DRIVER");
        if (name.empty()) name = kDefaultDriver;
        for (auto& driver : drivers)
            if (driver->Name() == name) return driver.get();
        return nullptr;
    }

    DeviceId Attach(std::shared_ptr<UsbHostDevice> host, std::string location,
                    std::shared_ptr<EmulatedHostDevice> emulated) {
        auto device = std::make_shared<BoundDevice>();
        device->id = nextDevice++;
        device->location = std::move(location);
        device->host = std::move(host);
        device->emulated = std::move(emulated);
        if (Driver* driver = BridgeDriver()) device->object = driver->AddDevice(device->host);
        if (device->object && NtSuccess(device->object->Start())) {
            device->started = true;
            device->object->PowerUp();
            device->interfacePath = "/murmex/usb/" + device->location + "/" + device->object->Name() + "/" +
                                    device->object->InterfaceClass().text;
        }
        devices.push_back(device);
        return device->id;
    }

    void Remove(const DevicePtr& device, bool surprise) {
        std::unique_lock removing(device->removeLock);
        if (device->removed) return;
        device->removed = true;
        // A pulled device is gone before its driver hears of it.
        if (surprise && device->emulated) device->emulated->Detach();
        if (device->object) {
            if (surprise)
                device->object->SurpriseRemoval();
            else if (device->started)
                device->object->Sleep();
            if (device->started) device->object->Stop();
            device->object->Remove();
        }
        if (device->emulated) device->emulated->Detach();
        device->started = false;
        device->interfacePath.clear();
        std::erase(devices, device);
    }

    void PlugEnvironmentDevice() {
        const std::string options = Environment("MURMEX_BRIDGE_EMULATOR");
        if (options.empty() || options == environmentDevice) return;
        environmentDevice = options;
        try {
            auto function = EmulatedDeviceFromOptions(options);
            auto emulated = std::make_shared<EmulatedHostDevice>(std::move(function));
            Attach(emulated, "emulated-" + std::to_string(nextDevice), emulated);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "MURMEX_BRIDGE_EMULATOR: %s\n", e.what());
        }
    }

    void ScanRealBus() {
        const auto ids = ParseBridgeIds(Environment("MURMEX_BRIDGE_IDS"));
        std::vector<std::string> known;
        for (auto& device : devices)
            if (!device->emulated) known.push_back(device->location);
        const auto found = libusb.Scan(ids, known);
        for (const auto& device : found)
            if (device.device) Attach(device.device, device.location, nullptr);
        for (auto& device : std::vector<DevicePtr>(devices)) {
            const bool stillThere = std::any_of(found.begin(), found.end(),
                                                [&](const FoundDevice& f) { return f.location == device->location; });
            if (!device->emulated && !stillThere) Remove(device, true);
        }
    }

    void Rescan() {
        PlugEnvironmentDevice();
        ScanRealBus();
        for (auto& device : std::vector<DevicePtr>(devices))
            if (!device->host->Present()) Remove(device, true);
    }

    DevicePtr OpenedDevice(FileHandle file) {
        std::lock_guard lock(mutex);
        auto found = files.find(file);
        return found == files.end() ? nullptr : found->second;
    }
};

DeviceManager& DeviceManager::Instance() {
    static DeviceManager manager;
    return manager;
}

DeviceManager::DeviceManager() : state_(std::make_unique<DeviceManagerState>()) {}

// The process is ending: every device is stopped in order (sleep, stop,
// remove), real bridges included, rather than pulled.
DeviceManager::~DeviceManager() {
    std::lock_guard lock(state_->mutex);
    for (auto& device : std::vector<DevicePtr>(state_->devices)) state_->Remove(device, false);
}

std::vector<std::string> DeviceManager::InterfacePaths(const Guid& interfaceClass) {
    std::lock_guard lock(state_->mutex);
    state_->Rescan();
    std::vector<std::string> paths;
    for (auto& device : state_->devices)
        if (device->started && device->object->InterfaceClass() == interfaceClass)
            paths.push_back(device->interfacePath);
    return paths;
}

namespace {

struct PendingCall {
    std::promise<std::pair<NtStatus, std::uint32_t>> finished;
    std::shared_ptr<IoRequest> request;

    explicit PendingCall(IoRequest::Kind kind)
        : request(std::make_shared<IoRequest>(kind, [this](NtStatus status, std::uint32_t information) {
              finished.set_value({status, information});
          })) {}
};

NtStatus Run(const DevicePtr& device, PendingCall& call, std::uint32_t& information) {
    information = 0;
    if (!device) return kStatusInvalidHandle;
    std::shared_lock inFlight(device->removeLock);
    if (device->removed || !device->started) return kStatusDeviceNotConnected;
    auto finished = call.finished.get_future();
    device->object->Dispatch(call.request);
    const auto [status, info] = finished.get();
    information = info;
    return status;
}

}  // namespace

FileHandle DeviceManager::Open(const std::string& path) {
    DevicePtr device;
    {
        std::lock_guard lock(state_->mutex);
        for (auto& candidate : state_->devices)
            if (candidate->started && candidate->interfacePath == path) device = candidate;
    }
    if (!device) return kInvalidFile;
    PendingCall create(IoRequest::Kind::Create);
    std::uint32_t information = 0;
    if (!NtSuccess(Run(device, create, information))) return kInvalidFile;
    std::lock_guard lock(state_->mutex);
    const FileHandle file = state_->nextFile++;
    state_->files[file] = device;
    return file;
}

NtStatus DeviceManager::DeviceIoControl(FileHandle file, std::uint32_t code, std::span<const std::uint8_t> input,
                                        std::span<std::uint8_t> output, std::uint32_t& returned) {
    const DevicePtr device = state_->OpenedDevice(file);
    PendingCall call(IoRequest::Kind::IoControl);
    call.request->ioControlCode = code;
    call.request->input = input;
    call.request->buffer = output;
    return Run(device, call, returned);
}

NtStatus DeviceManager::Read(FileHandle file, std::span<std::uint8_t> buffer, std::uint32_t& transferred) {
    const DevicePtr device = state_->OpenedDevice(file);
    PendingCall call(IoRequest::Kind::Read);
    call.request->buffer = buffer;
    return Run(device, call, transferred);
}

NtStatus DeviceManager::Write(FileHandle file, std::span<const std::uint8_t> buffer, std::uint32_t& transferred) {
    const DevicePtr device = state_->OpenedDevice(file);
    PendingCall call(IoRequest::Kind::Write);
    // The driver reads the caller's data in place; it never writes to a write request's buffer.
    call.request->buffer = std::span<std::uint8_t>(const_cast<std::uint8_t*>(buffer.data()), buffer.size());
    return Run(device, call, transferred);
}

void DeviceManager::Close(FileHandle file) {
    const DevicePtr device = state_->OpenedDevice(file);
    if (!device) return;
    {
        std::lock_guard lock(state_->mutex);
        state_->files.erase(file);
    }
    std::uint32_t information = 0;
    PendingCall cleanup(IoRequest::Kind::Cleanup);
    Run(device, cleanup, information);
    PendingCall close(IoRequest::Kind::Close);
    Run(device, close, information);
}

DeviceId DeviceManager::PlugEmulated(std::shared_ptr<UsbFunction> function) {
    std::lock_guard lock(state_->mutex);
    auto emulated = std::make_shared<EmulatedHostDevice>(std::move(function));
    return state_->Attach(emulated, "emulated-" + std::to_string(state_->nextDevice), emulated);
}

void DeviceManager::Unplug(DeviceId id) {
    std::lock_guard lock(state_->mutex);
    for (auto& device : std::vector<DevicePtr>(state_->devices))
        if (device->id == id) state_->Remove(device, true);
}

void DeviceManager::UnplugAll() {
    std::lock_guard lock(state_->mutex);
    for (auto& device : std::vector<DevicePtr>(state_->devices))
        if (device->emulated) state_->Remove(device, true);
}

}  // namespace murmex::usb
