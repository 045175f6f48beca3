// The two builds of the USB access library the manager carries as byte
// images, to write out when the installed copy cannot reach the bridge:
// variant A for this system's bridge drivers, variant B for a bridge driver
// of another make.
#pragma once

#include <cstdint>
#include <span>

namespace murmex {

enum class UsbLibraryCopy { None, VariantA, VariantB };

// Empty for None.
std::span<const std::uint8_t> EmbeddedUsbLibrary(UsbLibraryCopy copy);

}  // namespace murmex
