// Reading a device's configuration descriptor: the interfaces it offers and
// their endpoints. The bytes come from the device, so every length is checked.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace murmex::usb {

struct EndpointInfo {
    std::uint8_t address = 0;     // bit 7 set = IN
    std::uint8_t attributes = 0;  // 2 = bulk
    std::uint16_t maxPacket = 0;
};

struct InterfaceInfo {
    std::uint8_t number = 0;
    std::uint8_t alternate = 0;
    std::vector<EndpointInfo> endpoints;
};

struct ConfigurationInfo {
    std::uint8_t value = 0;  // bConfigurationValue
    std::vector<InterfaceInfo> interfaces;

    const InterfaceInfo* Find(std::uint8_t number, std::uint8_t alternate) const;
};

// Nothing when the bytes do not begin with a configuration descriptor.
std::optional<ConfigurationInfo> ParseConfigurationDescriptor(std::span<const std::uint8_t> bytes);

}  // namespace murmex::usb
