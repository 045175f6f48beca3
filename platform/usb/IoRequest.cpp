#include "DriverFramework.h"

namespace murmex::usb {

void IoRequest::Complete(NtStatus status, std::uint32_t information) {
    {
        std::lock_guard lock(mutex_);
        if (completed_) return;
        completed_ = true;
    }
    if (done_) done_(status, information);
}

}  // namespace murmex::usb
