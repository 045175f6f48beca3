// The record of the vendor-request I/O control that the USB access library
// sends its bridge driver: 26 bytes, little-endian.
//   0 request, 1 padding, 2 value, 4 index, 6 length of the data stage,
//   8 direction (1 = device to host), 9..25 host-to-device data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace murmex::usb {

// Device type 0x22, buffered, any access; functions 0x800 and 0x801.
inline constexpr std::uint32_t kIoctl800 = 0x222000;
inline constexpr std::uint32_t kIoctlVendorCommand = 0x222004;
// The USB access library's output buffer for every vendor request.
inline constexpr std::size_t kVendorOutputBytes = 512;

struct VendorRequestIn {
    static constexpr std::size_t kBytes = 26;
    static constexpr std::size_t kDataOffset = 9;
    static constexpr std::size_t kDataBytes = kBytes - kDataOffset;  // 17

    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
    bool deviceToHost = false;
    std::array<std::uint8_t, kDataBytes> data{};

    std::array<std::uint8_t, kBytes> Encode() const;
    // Nothing when the input is shorter than the record.
    static std::optional<VendorRequestIn> Decode(std::span<const std::uint8_t> input);
};

}  // namespace murmex::usb
