// Which devices on a real bus are bridges. The suite does not fix one vendor
// and product id: the list comes from MURMEX_BRIDGE_IDS ("VVVV:PPPP,...",
// hexadecimal), or from the front end's settings.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace murmex::usb {

struct UsbId {
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;

    friend bool operator==(const UsbId&, const UsbId&) = default;
};

// Entries that are not two 1-4 digit hexadecimal numbers are skipped.
std::vector<UsbId> ParseBridgeIds(std::string_view text);

}  // namespace murmex::usb
