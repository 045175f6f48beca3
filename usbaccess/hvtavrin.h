/* The USB access library's entry points, as the card access library imports
   them. The original 32-bit build exported FindUsbDev and CloseUsbDev under
   decorated names ("_FindUsbDev@4", "_CloseUsbDev@0"); ELF reserves '@' for
   symbol versions, so every entry point is exported under its plain name. */
#pragma once

#include <cstdint>

#define HVTAVRIN_API extern "C" __attribute__((visibility("default")))

HVTAVRIN_API int FindUsbDev(std::uint32_t unused);
HVTAVRIN_API int CloseUsbDev();
HVTAVRIN_API int UsbVendorCmdRead(unsigned char request, unsigned short value, unsigned short index,
                                  unsigned short length, void* buffer);
HVTAVRIN_API int UsbVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index,
                                   unsigned short length, void* buffer);
HVTAVRIN_API int UsbDataRead(std::uint32_t length, void* buffer);
HVTAVRIN_API int UsbDataReadPipe(std::uint32_t length, void* buffer);
HVTAVRIN_API int UsbDataWrite(std::uint32_t length, void* buffer);
HVTAVRIN_API int IsOHCI();
HVTAVRIN_API int fnHvtavrin();
