// Making a blank card of any variant: every block erased, then a system area
// with the given bad blocks, an empty directory, the format marker or model
// code, and a link table with every entry free. Recorders format their own
// cards; this makes cards (and card images) for the PC side to start from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "BlockDevice.h"
#include "VariantTable.h"

namespace murmex {

struct FormatOptions {
    std::vector<std::uint16_t> badBlocks;
    // Marker format only: leave the format marker 0xFF, as recorders that
    // write none do (the user is then asked about the record modes).
    bool withoutMarker = false;
};

// Empty string on success, else what went wrong.
std::string FormatCard(BlockDevice& device, const VariantDescriptor& variant, const FormatOptions& options);

// Largest number of bad blocks the variant's system area can list.
std::uint32_t BadBlockCapacity(const VariantDescriptor& variant);

}  // namespace murmex
