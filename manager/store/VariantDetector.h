// Recognising which of the seventeen layouts a card carries, from block 0
// (and block 1 when block 0 is not a valid system block).
#pragma once

#include <cstdint>

#include "BlockDevice.h"

namespace murmex {

// Cards of older recorders carry no format marker; only the user knows
// whether the recorder had the two record modes SP and LP.
class TwoModeQuestion {
public:
    virtual ~TwoModeQuestion() = default;
    // Message 1005: "Unknown version\nIs this recoder have two record mode(SP/LP)?"
    virtual bool HasTwoRecordModes() = 0;
};

inline constexpr const char* kTwoModeQuestionText = "Unknown version\nIs this recoder have two record mode(SP/LP)?";

// The variant code, or 0 when the card is not recognised. Switches the device
// to 8192-byte blocks for 4 MB and 8 MB cards.
std::uint32_t DetectVariant(BlockDevice& device, TwoModeQuestion& question);

}  // namespace murmex
