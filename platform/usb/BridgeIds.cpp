#include "BridgeIds.h"

#include <charconv>

namespace murmex::usb {

namespace {

bool ParseHexWord(std::string_view text, std::uint16_t& value) {
    if (text.empty() || text.size() > 4) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::vector<UsbId> ParseBridgeIds(std::string_view text) {
    std::vector<UsbId> ids;
    while (!text.empty()) {
        const auto comma = text.find(',');
        const auto entry = text.substr(0, comma);
        text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
        const auto colon = entry.find(':');
        UsbId id;
        if (colon != std::string_view::npos && ParseHexWord(entry.substr(0, colon), id.vendor) &&
            ParseHexWord(entry.substr(colon + 1), id.product))
            ids.push_back(id);
    }
    return ids;
}

}  // namespace murmex::usb
