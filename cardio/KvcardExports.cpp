// kvcard's C entry points over the one process-wide CInterface.
#include <algorithm>
#include <memory>

#include "BridgeProtocol.h"
#include "CInterface.h"
#include "kvcard.h"

using murmex::cardio::CInterface;
using murmex::cardio::CKernelIO;

namespace {

constexpr unsigned char kIdlePinsHigh = 4;
constexpr unsigned char kIdlePinsLow[] = {5, 6, 7};
constexpr std::uint32_t kGetDataLengthMask = 0xFFFF;

std::unique_ptr<CInterface> g_interface;

// Runs `call` on the object, or yields `none` when no port is open.
template <typename Result, typename Call>
Result WithInterface(Result none, Call&& call) {
    return g_interface ? static_cast<Result>(call(*g_interface)) : none;
}

template <typename Result, typename Call>
Result WithKernel(Result none, Call&& call) {
    return g_interface ? static_cast<Result>(call(g_interface->KernelIO())) : none;
}

}  // namespace

KVCARD_API int IOOpenPort(int, int) {
    g_interface.reset();
    g_interface = std::make_unique<CInterface>();
    CKernelIO& io = g_interface->KernelIO();
    return io.OpenPort(0, 0) && io.SelectMode(murmex::cardio::busmode::kMmc) ? 1 : 0;
}

KVCARD_API int IOClose() {
    if (g_interface) {
        // Leave the bridge with the card unpowered and the bus idle.
        CKernelIO& io = g_interface->KernelIO();
        io.WriteGPIO(kIdlePinsHigh, 1);
        for (unsigned char pin : kIdlePinsLow) io.WriteGPIO(pin, 0);
        io.SelectMode(murmex::cardio::busmode::kIdle);
        io.ClosePort();
        g_interface.reset();
    }
    return 1;
}

KVCARD_API std::uint32_t IOGetLastError() {
    return WithKernel(murmex::cardio::kverr::kTransfer, [](CKernelIO& io) { return io.GetLastError(); });
}

KVCARD_API int DEVICESelectMode(unsigned int mode) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SelectMode(mode); });
}

KVCARD_API int DEVICESetClock(unsigned int clock) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SetClock(clock); });
}

KVCARD_API int DEVICEWriteGPIO(unsigned char pin, unsigned char level) {
    return WithKernel(0, [&](CKernelIO& io) { return io.WriteGPIO(pin, level); });
}

KVCARD_API int DEVICEReadGPIO(unsigned char pin, unsigned char* level) {
    return WithKernel(0, [&](CKernelIO& io) { return io.ReadGPIO(pin, level); });
}

KVCARD_API int USBVendorCmdRead(unsigned char request, unsigned short value, unsigned short index,
                                unsigned short length, void* data) {
    return WithKernel(0, [&](CKernelIO& io) { return io.USBVendorCmdRead(request, value, index, length, data); });
}

KVCARD_API int USBVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index,
                                 unsigned short length, void* data) {
    return WithKernel(0, [&](CKernelIO& io) { return io.USBVendorCmdWrite(request, value, index, length, data); });
}

// --- MMC -------------------------------------------------------------------

KVCARD_API int MMCCheckCard(std::uint32_t* serial) {
    std::uint32_t found = 0;
    const int ok = WithInterface(0, [&](CInterface& card) { return card.MMCCheckCard(found); });
    if (serial) *serial = found;
    return ok;
}

KVCARD_API int MMCChangeCard(unsigned short number) {
    return WithInterface(0, [&](CInterface& card) { return card.ChangeCard(number); });
}

KVCARD_API unsigned short MMCGetCardNumber() {
    return WithInterface<unsigned short>(0, [](CInterface& card) { return card.GetCardNumber(); });
}

KVCARD_API int MMCActivate(int) { return 1; }

KVCARD_API int MMCDummyClock() {
    return WithKernel(0, [](CKernelIO& io) { return io.MMCSendDummyClocks(); });
}

KVCARD_API int MMCWriteBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength) {
    return WithInterface(0, [&](CInterface& card) { return card.MMCWriteMultiBlock(data, address, blockLength, 1); });
}

KVCARD_API int MMCWriteMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                  std::uint32_t count) {
    return WithInterface(0, [&](CInterface& card) {
        return card.MMCWriteMultiBlock(data, address, blockLength, count);
    });
}

KVCARD_API int MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength) {
    return WithInterface(0, [&](CInterface& card) { return card.MMCReadMultiBlock(data, address, blockLength, 1); });
}

KVCARD_API int MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                 std::uint32_t count) {
    return WithInterface(0, [&](CInterface& card) {
        return card.MMCReadMultiBlock(data, address, blockLength, count);
    });
}

KVCARD_API int MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress) {
    return WithInterface(0, [&](CInterface& card) { return card.MMCEraseBlock(firstAddress, lastAddress); });
}

KVCARD_API int MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc) {
    return WithInterface(0, [&](CInterface& card) {
        return card.MMCGetData(data, length & kGetDataLengthMask, checkCrc);
    });
}

KVCARD_API int MMCWriteBus(unsigned char* data, std::uint32_t length) {
    return WithKernel(0, [&](CKernelIO& io) { return io.MMCWriteBus(data, length); });
}

KVCARD_API int MMCReadBus(unsigned char* data, std::uint32_t length) {
    return WithKernel(0, [&](CKernelIO& io) { return io.MMCReadBus(data, length); });
}

KVCARD_API int MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char crc) {
    return WithInterface(0, [&](CInterface& card) { return card.MMCSendCommand(command, argument, crc); });
}

KVCARD_API int MMCGetR1Response(unsigned char* response) {
    return WithKernel(0, [&](CKernelIO& io) { return io.MMCGetR1Response(response); });
}

KVCARD_API int MMCGetR2Response(unsigned char* response) {
    return WithKernel(0, [&](CKernelIO& io) { return io.MMCGetR2Response(response); });
}

KVCARD_API int MMCGetR3Response(unsigned char* response) {
    return WithKernel(0, [&](CKernelIO& io) { return io.MMCGetR3Response(response); });
}

KVCARD_API std::uint32_t MMCGetManufactureID() {
    return WithInterface<std::uint32_t>(0, [](CInterface& card) { return card.MMCGetManufactureID(); });
}

KVCARD_API std::uint32_t MMCGetSerialNumber() {
    return WithInterface<std::uint32_t>(0, [](CInterface& card) { return card.MMCGetSerialNumber(); });
}

KVCARD_API unsigned char MMCGetHWRevision() {
    return WithInterface<unsigned char>(0, [](CInterface& card) { return card.MMCGetHWRevision(); });
}

KVCARD_API unsigned char MMCGetFWRevision() {
    return WithInterface<unsigned char>(0, [](CInterface& card) { return card.MMCGetFWRevision(); });
}

KVCARD_API unsigned short MMCGetDeviceSize() {
    return WithInterface<unsigned short>(0, [](CInterface& card) { return card.MMCGetDeviceSize(); });
}

KVCARD_API unsigned char MMCGetDeviceSizeMult() {
    return WithInterface<unsigned char>(0, [](CInterface& card) { return card.MMCGetDeviceSizeMult(); });
}

KVCARD_API const char* MMCGetProductName() {
    return WithInterface<const char*>("", [](CInterface& card) { return card.MMCGetProductName(); });
}

// --- SmartMedia --------------------------------------------------------------

KVCARD_API int SSFDCCheckCard() {
    return WithInterface(0, [](CInterface& card) { return card.SSFDCCheckCard(); });
}

KVCARD_API unsigned char SSFDCGetDeviceCode() {
    return WithInterface<unsigned char>(0, [](CInterface& card) { return card.SSFDCGetDeviceCode(); });
}

KVCARD_API unsigned char SSFDCGetMakerCode() {
    return WithInterface<unsigned char>(0, [](CInterface& card) { return card.SSFDCGetMakerCode(); });
}

KVCARD_API int SSFDCHasUniqueID() {
    return WithInterface(0, [](CInterface& card) { return card.SSFDCHasUniqueID(); });
}

KVCARD_API void SSFDCGetUniqueID(unsigned char* out16) {
    if (!out16) return;
    if (g_interface)
        g_interface->SSFDCGetUniqueID(out16);
    else
        std::fill_n(out16, 16, 0);
}

KVCARD_API int SSFDCWriteMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                    std::uint32_t pages) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SSFDCWriteMultiBlock(records, address, unit, pages); });
}

KVCARD_API int SSFDCReadMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                   std::uint32_t pages) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SSFDCReadMultiBlock(records, address, unit, pages); });
}

KVCARD_API int SSFDCEraseBlock(std::uint32_t address) {
    return WithInterface(0, [&](CInterface& card) { return card.SSFDCEraseBlock(address); });
}

KVCARD_API int SSFDCSendCommand(unsigned char first, unsigned char second, unsigned char command,
                                std::uint32_t value, unsigned char request) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SSFDCSendCommand(first, second, command, value, request); });
}

KVCARD_API int SSFDCGetResponse(unsigned char* response3) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SSFDCGetResponse(response3); });
}

KVCARD_API int SSFDCGetData(unsigned char* buffer, std::uint32_t length) {
    return WithKernel(0, [&](CKernelIO& io) { return io.SSFDCGetData(buffer, length); });
}
