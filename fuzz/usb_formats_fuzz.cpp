// The byte layouts the USB stack takes from outside: a device's configuration
// descriptor (from a real bridge on the bus), the vendor-request record, the
// bridge id list and the emulator's option string (from the environment).
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "BridgeEmulator.h"
#include "BridgeIds.h"
#include "ConfigurationDescriptor.h"
#include "FuzzSupport.h"
#include "VendorRequest.h"

namespace {

void WriteSeeds(const std::string& folder) {
    murmex::fuzz::WriteSeed(folder, "bridge-configuration",
                            {9, 2, 39, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 3, 0xFF, 0, 0, 0, 7, 5, 0x01, 2, 64, 0, 0,
                             7, 5, 0x82, 2, 64, 0, 0, 7, 5, 0x83, 2, 64, 0, 0});
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    const std::span<const std::uint8_t> bytes(data, size);
    if (const auto configuration = usb::ParseConfigurationDescriptor(bytes))
        for (const auto& interface : configuration->interfaces) (void)configuration->Find(interface.number, 0);
    if (const auto record = usb::VendorRequestIn::Decode(bytes)) (void)record->Encode();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)usb::ParseBridgeIds(text);
    try {
        (void)bridge::ParseBridgeOptions(text);
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
