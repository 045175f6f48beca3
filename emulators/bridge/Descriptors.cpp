#include "Descriptors.h"

#include "ByteOrder.h"

namespace murmex::bridge {

namespace {

constexpr std::uint8_t kDeviceType = 1, kConfigurationType = 2, kInterfaceType = 4, kEndpointType = 5;
constexpr std::uint8_t kVendorClass = 0xFF, kBulk = 0x02;
constexpr std::size_t kDeviceLength = 18, kConfigurationLength = 9, kInterfaceLength = 9, kEndpointLength = 7;

void AppendEndpoint(std::vector<std::uint8_t>& out, std::uint8_t address) {
    const std::size_t at = out.size();
    out.insert(out.end(), {std::uint8_t{kEndpointLength}, kEndpointType, address, kBulk, 0, 0, 0});
    WriteLE16(out, at + 4, Descriptors::kMaxPacket);
}

}  // namespace

std::vector<std::uint8_t> Descriptors::Device(std::uint16_t vendorId, std::uint16_t productId) {
    std::vector<std::uint8_t> d(kDeviceLength, 0);
    d[0] = kDeviceLength;
    d[1] = kDeviceType;
    WriteLE16(d, 2, 0x0110);  // USB 1.1, full speed
    d[4] = 0;                 // class per interface
    d[7] = static_cast<std::uint8_t>(kMaxPacket);
    WriteLE16(d, 8, vendorId);
    WriteLE16(d, 10, productId);
    WriteLE16(d, 12, 0x0100);  // device release 1.00
    d[17] = 1;                 // one configuration
    return d;
}

std::vector<std::uint8_t> Descriptors::Configuration(std::uint8_t index) {
    if (index != 0) return {};
    std::vector<std::uint8_t> d{kConfigurationLength, kConfigurationType, 0, 0, /*interfaces*/ 1, kConfigurationValue,
                                /*string*/ 0, /*bus powered*/ 0x80, /*100 mA*/ 50};
    d.insert(d.end(), {std::uint8_t{kInterfaceLength}, kInterfaceType, /*number*/ 0, /*alternate*/ 0,
                       /*endpoints*/ 3, kVendorClass, 0, 0, /*string*/ 0});
    AppendEndpoint(d, kBulkOut);
    AppendEndpoint(d, kBulkIn);
    AppendEndpoint(d, kStatusIn);
    WriteLE16(d, 2, static_cast<std::uint16_t>(d.size()));
    return d;
}

}  // namespace murmex::bridge
