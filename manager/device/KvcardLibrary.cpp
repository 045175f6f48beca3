#include "KvcardLibrary.h"

namespace murmex {

namespace {

template <class F>
void Bind(const platform::Module& module, F*& entry, const char* name) {
    entry = module.Function<F>(name);
}

}  // namespace

KvcardLibrary::Binding KvcardLibrary::Load() {
    Free();
    module_ = platform::Module::Load("kvcard.dll");
    if (!module_) return Binding::NotLoaded;
    Bind(module_, IOOpenPort, "IOOpenPort");
    Bind(module_, IOClose, "IOClose");
    Bind(module_, IOGetLastError, "IOGetLastError");
    Bind(module_, SSFDCReadMultiBlock, "SSFDCReadMultiBlock");
    Bind(module_, SSFDCWriteMultiBlock, "SSFDCWriteMultiBlock");
    Bind(module_, SSFDCEraseBlock, "SSFDCEraseBlock");
    Bind(module_, DEVICESetClock, "DEVICESetClock");
    Bind(module_, DEVICESelectMode, "DEVICESelectMode");
    Bind(module_, DEVICEReadGPIO, "DEVICEReadGPIO");
    Bind(module_, MMCReadMultiBlock, "MMCReadMultiBlock");
    Bind(module_, MMCWriteMultiBlock, "MMCWriteMultiBlock");
    Bind(module_, MMCEraseBlock, "MMCEraseBlock");
    if (!IOOpenPort || !IOClose || !DEVICEReadGPIO || !SSFDCReadMultiBlock || !DEVICESetClock || !DEVICESelectMode ||
        !SSFDCWriteMultiBlock || !SSFDCEraseBlock || !IOGetLastError) {
        Free();
        return Binding::FunctionMissing;
    }
    return Binding::Bound;
}

void KvcardLibrary::Free() {
    static_cast<KvcardEntryPoints&>(*this) = KvcardEntryPoints{};
    module_.Free();
}

}  // namespace murmex
