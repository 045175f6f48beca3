#include "VendorRequest.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex::usb {

std::array<std::uint8_t, VendorRequestIn::kBytes> VendorRequestIn::Encode() const {
    std::array<std::uint8_t, kBytes> bytes{};
    bytes[0] = request;
    WriteLE16(bytes, 2, value);
    WriteLE16(bytes, 4, index);
    WriteLE16(bytes, 6, length);
    bytes[8] = deviceToHost ? 1 : 0;
    std::copy(data.begin(), data.end(), bytes.begin() + kDataOffset);
    return bytes;
}

std::optional<VendorRequestIn> VendorRequestIn::Decode(std::span<const std::uint8_t> input) {
    if (input.size() < kBytes) return std::nullopt;
    VendorRequestIn record;
    record.request = input[0];
    record.value = ReadLE16(input, 2);
    record.index = ReadLE16(input, 4);
    record.length = ReadLE16(input, 6);
    record.deviceToHost = input[8] != 0;
    std::copy_n(input.begin() + kDataOffset, kDataBytes, record.data.begin());
    return record;
}

}  // namespace murmex::usb
