#include "DeviceTexts.h"

#include <array>

namespace murmex {

std::string CardErrorText(std::uint32_t code) {
    static constexpr std::array<const char*, 14> kTexts = {
        "No error.",
        "Device open fail.\nDevice driver is not set up properly or device is not attached.",
        "Device access fail.\nDevice driver is not set up properly or device is not attached.",
        "I/O timeout error.\nDevice is not attached.",
        "Timeout occurred when waiting MMC/SSFDC card response.\nThere is no MMC/SSFDC card.",
        "MMC R1, R2, R3 response has some error.",
        "Writing MMC/SSFDC has error.",
        "Timeout. when waiting busy off (during write, erase operation)",
        "Timeout occurred when waiting data token (read operation)",
        "CRC mismatch while read operation (read block, read CID/CSD)",
        "Unknown flash memory card",
        "Unknown error.",
        "Erase fail at SSFDC (bad block)",
        "Write fail at SSFDC (bad block)",
    };
    return code < kTexts.size() ? kTexts[code] : "";
}

}  // namespace murmex
