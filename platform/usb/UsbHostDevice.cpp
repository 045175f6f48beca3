#include "UsbHostDevice.h"

#include <future>

namespace murmex::usb {

TransferResult UsbHostDevice::Control(const ControlSetup& setup, std::span<std::uint8_t> data) {
    std::promise<TransferResult> finished;
    auto result = finished.get_future();
    SubmitControl(setup, data, [&finished](TransferResult r) { finished.set_value(r); });
    return result.get();
}

NtStatus ToNtStatus(TransferStatus status) {
    switch (status) {
    case TransferStatus::Completed: return kStatusSuccess;
    case TransferStatus::Timeout: return kStatusIoTimeout;
    case TransferStatus::NoDevice: return kStatusDeviceNotConnected;
    case TransferStatus::Overflow: return kStatusDataOverrun;
    case TransferStatus::Stall:
    case TransferStatus::Error: break;
    }
    return kStatusUnsuccessful;
}

TransferResult ApplyShortRule(TransferResult result, std::size_t asked, bool allowShort) {
    if (result.Ok() && !allowShort && result.transferred != asked) result.status = TransferStatus::Error;
    return result;
}

}  // namespace murmex::usb
