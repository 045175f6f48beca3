#include "ConfigurationDescriptor.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex::usb {

namespace {

constexpr std::uint8_t kConfigurationType = 2;
constexpr std::uint8_t kInterfaceType = 4;
constexpr std::uint8_t kEndpointType = 5;

}  // namespace

const InterfaceInfo* ConfigurationInfo::Find(std::uint8_t number, std::uint8_t alternate) const {
    for (const auto& interface : interfaces)
        if (interface.number == number && interface.alternate == alternate) return &interface;
    return nullptr;
}

std::optional<ConfigurationInfo> ParseConfigurationDescriptor(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 9 || bytes[0] < 9 || bytes[1] != kConfigurationType) return std::nullopt;
    ConfigurationInfo configuration;
    configuration.value = bytes[5];
    // The descriptor says how long it is; believe it only as far as the bytes go.
    const std::size_t total = std::min<std::size_t>(ReadLE16(bytes, 2), bytes.size());
    std::size_t at = bytes[0];
    while (at + 2 <= total) {
        const std::size_t length = bytes[at];
        if (length < 2 || at + length > total) break;  // a zero length would loop for ever
        const auto descriptor = bytes.subspan(at, length);
        if (descriptor[1] == kInterfaceType && length >= 9) {
            configuration.interfaces.push_back({descriptor[2], descriptor[3], {}});
        } else if (descriptor[1] == kEndpointType && length >= 7 && !configuration.interfaces.empty()) {
            configuration.interfaces.back().endpoints.push_back(
                {descriptor[2], descriptor[3], ReadLE16(descriptor, 4)});
        }
        at += length;
    }
    return configuration;
}

}  // namespace murmex::usb
