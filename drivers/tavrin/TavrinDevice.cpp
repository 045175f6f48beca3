#include "TavrinDevice.h"

#include <algorithm>
#include <vector>

#include "ConfigurationDescriptor.h"
#include "VendorRequest.h"

namespace murmex::tavrin {

using usb::IoRequest;
using usb::NtStatus;

namespace {

constexpr std::uint8_t kConfiguration = 1;
constexpr std::size_t kConfigurationBufferBytes = 1024;
constexpr std::size_t kDeviceDescriptorBytes = 18;
// The 8-byte write status block has an endpoint of its own.
constexpr std::uint32_t kStatusBlockBytes = 8;

}  // namespace

TavrinDevice::TavrinDevice(std::shared_ptr<usb::UsbHostDevice> usb, unsigned unit) : usb_(std::move(usb)), unit_(unit) {}

std::string TavrinDevice::Name() const {
    return "TavrinDevice" + std::to_string(unit_);
}

NtStatus TavrinDevice::Start() {
    if (usb_->DeviceDescriptor().size() < kDeviceDescriptorBytes) return usb::kStatusUnsuccessful;
    const auto bytes = usb_->ConfigurationDescriptor(0, kConfigurationBufferBytes);
    const auto configuration = usb::ParseConfigurationDescriptor(bytes);
    if (!configuration) return usb::kStatusUnsuccessful;
    const usb::InterfaceInfo* interface = configuration->Find(0, 0);
    if (!interface) return usb::kStatusUnsuccessful;
    if (usb_->SetConfiguration(kConfiguration) != usb::TransferStatus::Completed) return usb::kStatusUnsuccessful;
    // A pipe the bridge does not offer leaves the start standing; requests for it fail.
    for (Pipe* pipe : {&bulkOut_, &bulkIn_, &statusIn_})
        pipe->open = std::any_of(interface->endpoints.begin(), interface->endpoints.end(),
                                 [&](const usb::EndpointInfo& e) { return e.address == pipe->endpoint; });
    started_ = true;
    return usb::kStatusSuccess;
}

void TavrinDevice::Stop() {
    if (started_) usb_->SetConfiguration(0);
    started_ = false;
}

void TavrinDevice::Remove() {
    started_ = false;
    for (Pipe* pipe : {&bulkOut_, &bulkIn_, &statusIn_}) pipe->open = false;
}

void TavrinDevice::Dispatch(const std::shared_ptr<IoRequest>& request) {
    switch (request->GetKind()) {
    case IoRequest::Kind::Create:
    case IoRequest::Kind::Close:
    case IoRequest::Kind::Cleanup: request->Complete(usb::kStatusSuccess, 0); return;
    default: break;
    }
    if (!started_) {
        request->Complete(usb::kStatusDeviceNotReady, 0);
        return;
    }
    switch (request->GetKind()) {
    case IoRequest::Kind::Read: Read(request); return;
    case IoRequest::Kind::Write: Write(request); return;
    case IoRequest::Kind::IoControl:
        if (request->ioControlCode == usb::kIoctl800)
            request->Complete(usb::kStatusSuccess, 0);
        else if (request->ioControlCode == usb::kIoctlVendorCommand)
            VendorRequest(request);
        else
            request->Complete(usb::kStatusInvalidParameter, 0);
        return;
    default: request->Complete(usb::kStatusInvalidParameter, 0); return;
    }
}

void TavrinDevice::VendorRequest(const std::shared_ptr<IoRequest>& request) {
    const auto record = usb::VendorRequestIn::Decode(request->input);
    if (!record) {
        request->Complete(usb::kStatusInvalidParameter, 0);
        return;
    }
    usb::ControlSetup setup;
    setup.requestType = static_cast<std::uint8_t>(usb::kTypeVendor | usb::kRecipientDevice |
                                                  (record->deviceToHost ? usb::kDirectionIn : 0));
    setup.request = record->request;
    setup.value = record->value;
    setup.index = record->index;
    setup.length = record->length;

    // Device to host: the data arrive in the request's own buffer, which is as
    // large as the caller's output buffer and no larger.
    std::span<std::uint8_t> data;
    std::vector<std::uint8_t> hostToDevice;
    if (record->deviceToHost) {
        if (record->length > request->buffer.size()) {
            request->Complete(usb::kStatusInvalidParameter, 0);
            return;
        }
        data = request->buffer.first(record->length);
    } else if (record->length > 0) {
        // The record carries at most 17 data bytes; more would be read from beyond it.
        if (record->length > usb::VendorRequestIn::kDataBytes) {
            request->Complete(usb::kStatusInvalidParameter, 0);
            return;
        }
        hostToDevice.assign(record->data.begin(), record->data.begin() + record->length);
        data = hostToDevice;
    }
    const auto result = usb_->Control(setup, data);
    const std::uint32_t returned =
        result.Ok() && record->deviceToHost ? static_cast<std::uint32_t>(result.transferred) : 0;
    request->Complete(usb::ToNtStatus(result.status), returned);
}

void TavrinDevice::Read(const std::shared_ptr<IoRequest>& request) {
    if (request->buffer.empty()) {
        request->Complete(usb::kStatusSuccess, 0);
        return;
    }
    request->buffer = request->buffer.first(std::min<std::size_t>(request->buffer.size(), bulkIn_.maxTransfer));
    Bulk(request->buffer.size() == kStatusBlockBytes ? statusIn_ : bulkIn_, request, true);
}

void TavrinDevice::Write(const std::shared_ptr<IoRequest>& request) {
    if (request->buffer.empty()) {
        request->Complete(usb::kStatusSuccess, 0);
        return;
    }
    request->buffer = request->buffer.first(std::min<std::size_t>(request->buffer.size(), bulkOut_.maxTransfer));
    Bulk(bulkOut_, request, false);
}

void TavrinDevice::Bulk(const Pipe& pipe, const std::shared_ptr<IoRequest>& request, bool allowShort) {
    if (!pipe.open) {
        request->Complete(usb::kStatusUnsuccessful, 0);
        return;
    }
    usb_->SubmitBulk(pipe.endpoint, request->buffer, allowShort, [request](usb::TransferResult result) {
        request->Complete(usb::ToNtStatus(result.status),
                          result.Ok() ? static_cast<std::uint32_t>(result.transferred) : 0);
    });
}

}  // namespace murmex::tavrin
