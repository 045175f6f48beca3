// The card access library as the manager binds it: loaded by name at connect,
// its entry points looked up by name, freed at disconnect.
#pragma once

#include <cstdint>

#include "Module.h"

namespace murmex {

// The entry points the manager binds; none while unbound.
struct KvcardEntryPoints {
    int (*IOOpenPort)(int, int) = nullptr;
    int (*IOClose)() = nullptr;
    std::uint32_t (*IOGetLastError)() = nullptr;
    int (*SSFDCReadMultiBlock)(unsigned char*, std::uint32_t, std::uint32_t, std::uint32_t) = nullptr;
    int (*SSFDCWriteMultiBlock)(unsigned char*, std::uint32_t, std::uint32_t, std::uint32_t) = nullptr;
    int (*SSFDCEraseBlock)(std::uint32_t) = nullptr;
    int (*DEVICESetClock)(unsigned int) = nullptr;
    int (*DEVICESelectMode)(unsigned int) = nullptr;
    int (*DEVICEReadGPIO)(unsigned char, unsigned char*) = nullptr;
    // Looked up but not required.
    int (*MMCReadMultiBlock)(unsigned char*, std::uint32_t, std::uint32_t, std::uint32_t) = nullptr;
    int (*MMCWriteMultiBlock)(unsigned char*, std::uint32_t, std::uint32_t, std::uint32_t) = nullptr;
    int (*MMCEraseBlock)(std::uint32_t, std::uint32_t) = nullptr;
};

class KvcardLibrary : public KvcardEntryPoints {
public:
    enum class Binding { Bound, NotLoaded, FunctionMissing };

    // Loads "kvcard.dll" and looks up the twelve entry points. On
    // FunctionMissing the library is freed again.
    Binding Load();
    void Free();
    bool Loaded() const { return static_cast<bool>(module_); }

private:
    platform::Module module_;
};

}  // namespace murmex
