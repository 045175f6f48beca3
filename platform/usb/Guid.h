// Device interface class GUIDs, kept as their canonical text form
// "{8A445949-CCE5-421A-AEF5-E0AEF28B4542}" (upper-case hex).
#pragma once

#include <string>
#include <string_view>

namespace murmex::usb {

struct Guid {
    std::string text;

    friend bool operator==(const Guid&, const Guid&) = default;
};

// The interface class the bridge drivers register.
inline const Guid kTavrinInterfaceClass{"{8A445949-CCE5-421A-AEF5-E0AEF28B4542}"};

}  // namespace murmex::usb
