/* kvcard's entry points as callers bind them at run time (dlsym by plain
   name, decltype(&IOOpenPort) for the pointer types). All work on one
   process-wide bridge object that IOOpenPort creates and IOClose destroys;
   results are 1 for success and 0 for failure, the reason is IOGetLastError.

   With no object (before IOOpenPort or after IOClose) every other entry
   point fails with 0 and touches nothing; IOGetLastError then reports 3 (no
   bridge); getters return 0, MMCCheckCard writes serial 0, SSFDCGetUniqueID
   writes 16 zeros, MMCGetProductName returns "". MMCActivate always returns 1.

   MMCGetProductName returns the selected MMC card's product name from its
   CID (with the names the recorders know substituted); empty until an MMC
   card has been identified. The SmartMedia chip's name is not shown there.

   Windows' 32-bit unsigned long is std::uint32_t here. */
#pragma once

#include <cstdint>

#define KVCARD_API extern "C" __attribute__((visibility("default")))

/* Port and device */
KVCARD_API int IOOpenPort(int unusedVendor, int unusedPort);
KVCARD_API int IOClose();
KVCARD_API std::uint32_t IOGetLastError();
KVCARD_API int DEVICESelectMode(unsigned int mode);
KVCARD_API int DEVICESetClock(unsigned int clock);
KVCARD_API int DEVICEWriteGPIO(unsigned char pin, unsigned char level);
KVCARD_API int DEVICEReadGPIO(unsigned char pin, unsigned char* level);
KVCARD_API int USBVendorCmdRead(unsigned char request, unsigned short value, unsigned short index,
                                unsigned short length, void* data);
KVCARD_API int USBVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index,
                                 unsigned short length, void* data);

/* MMC */
KVCARD_API int MMCCheckCard(std::uint32_t* serial);
KVCARD_API int MMCChangeCard(unsigned short number);
KVCARD_API unsigned short MMCGetCardNumber();
KVCARD_API int MMCActivate(int unused);
KVCARD_API int MMCDummyClock();
KVCARD_API int MMCWriteBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength);
KVCARD_API int MMCWriteMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                  std::uint32_t count);
KVCARD_API int MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength);
KVCARD_API int MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                 std::uint32_t count);
KVCARD_API int MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress);
/* Only the low 16 bits of length count. */
KVCARD_API int MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc);
KVCARD_API int MMCWriteBus(unsigned char* data, std::uint32_t length);
KVCARD_API int MMCReadBus(unsigned char* data, std::uint32_t length);
KVCARD_API int MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char unusedCrc);
KVCARD_API int MMCGetR1Response(unsigned char* response);
KVCARD_API int MMCGetR2Response(unsigned char* response);
KVCARD_API int MMCGetR3Response(unsigned char* response);
KVCARD_API std::uint32_t MMCGetManufactureID();
KVCARD_API std::uint32_t MMCGetSerialNumber();
KVCARD_API unsigned char MMCGetHWRevision();
KVCARD_API unsigned char MMCGetFWRevision();
KVCARD_API unsigned short MMCGetDeviceSize();
KVCARD_API unsigned char MMCGetDeviceSizeMult();
KVCARD_API const char* MMCGetProductName();

/* SmartMedia: page records are 528 bytes back to back, unit is 544. */
KVCARD_API int SSFDCCheckCard();
KVCARD_API unsigned char SSFDCGetDeviceCode();
KVCARD_API unsigned char SSFDCGetMakerCode();
KVCARD_API int SSFDCHasUniqueID();
KVCARD_API void SSFDCGetUniqueID(unsigned char* out16);
KVCARD_API int SSFDCWriteMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                    std::uint32_t pages);
KVCARD_API int SSFDCReadMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                   std::uint32_t pages);
KVCARD_API int SSFDCEraseBlock(std::uint32_t address);
KVCARD_API int SSFDCSendCommand(unsigned char first, unsigned char second, unsigned char command,
                                std::uint32_t value, unsigned char request);
KVCARD_API int SSFDCGetResponse(unsigned char* response3);
KVCARD_API int SSFDCGetData(unsigned char* buffer, std::uint32_t length);
