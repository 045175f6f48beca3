// NT-style status codes, the currency between the device manager, the
// drivers and the USB access library.
#pragma once

#include <cstdint>

namespace murmex::usb {

using NtStatus = std::uint32_t;

inline constexpr NtStatus kStatusSuccess = 0x00000000;
inline constexpr NtStatus kStatusUnsuccessful = 0xC0000001;
inline constexpr NtStatus kStatusInvalidHandle = 0xC0000008;
inline constexpr NtStatus kStatusInvalidParameter = 0xC000000D;
inline constexpr NtStatus kStatusDeviceNotConnected = 0xC000009D;
inline constexpr NtStatus kStatusDeviceNotReady = 0xC00000A3;
inline constexpr NtStatus kStatusIoTimeout = 0xC00000B5;
inline constexpr NtStatus kStatusDataOverrun = 0xC000003C;

inline constexpr bool NtSuccess(NtStatus status) { return status < 0x80000000u; }

}  // namespace murmex::usb
