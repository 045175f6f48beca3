// The bridge's USB descriptors: one configuration with one vendor-specific
// interface and its three bulk endpoints.
#pragma once

#include <cstdint>
#include <vector>

namespace murmex::bridge {

struct Descriptors {
    static constexpr std::uint8_t kConfigurationValue = 1;
    static constexpr std::uint8_t kBulkOut = 0x01;
    static constexpr std::uint8_t kBulkIn = 0x82;
    static constexpr std::uint8_t kStatusIn = 0x83;  // the MMC write status block
    static constexpr std::uint16_t kMaxPacket = 64;

    static std::vector<std::uint8_t> Device(std::uint16_t vendorId, std::uint16_t productId);
    // Empty for any index but 0: the bridge has one configuration.
    static std::vector<std::uint8_t> Configuration(std::uint8_t index);
};

}  // namespace murmex::bridge
