// CKernelIO: the bridge's transport and bus primitives. Every MMC and
// SmartMedia operation is a sequence of these: vendor requests on the control
// pipe, raw data on the bulk pipes, and the library's last-error code.
// The one device handle lives in hvtavrin; this object holds none itself.
#pragma once

#include <cstdint>

#include "KvcardVisibility.h"

namespace murmex::cardio {

// Last-error codes callers translate into texts; only these are ever stored.
namespace kverr {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kTransfer = 3;        // USB transfer failed, bridge not found
inline constexpr std::uint32_t kNoResponse = 4;      // card silent, not ready, wrong card, chip unknown
inline constexpr std::uint32_t kBadResponse = 5;     // MMC start byte or CRC7 wrong
inline constexpr std::uint32_t kWriteRejected = 6;   // MMC CRC status error, single page program failed
inline constexpr std::uint32_t kBusyTimeout = 7;     // busy did not end in time
inline constexpr std::uint32_t kDataCrc = 9;         // CRC16 mismatch on read data
inline constexpr std::uint32_t kEraseFailed = 12;    // SmartMedia erase failed or address protected
inline constexpr std::uint32_t kProgramFailed = 13;  // SmartMedia multi-page program failed
}  // namespace kverr

class KVCARD_EXPORT CKernelIO {
public:
    CKernelIO() = default;
    virtual ~CKernelIO();
    CKernelIO(const CKernelIO&) = delete;
    CKernelIO& operator=(const CKernelIO&) = delete;

    // All operations return 1 on success and 0 on failure with the reason in
    // the last error, unless their comment says otherwise.
    int OpenPort(unsigned short unusedVendor, int unusedPort);
    int ClosePort();  // hvtavrin's result, no error code
    std::uint32_t GetLastError() const { return lastError_; }
    void SetError(std::uint32_t code) { lastError_ = code; }

    int SetClock(unsigned int clock);
    int SelectMode(unsigned int mode);
    int WriteGPIO(unsigned char pin, unsigned char level);
    int ReadGPIO(unsigned char pin, unsigned char* level);

    // Plain pass-through to hvtavrin; no error code is stored.
    int USBVendorCmdRead(unsigned char request, unsigned short value, unsigned short index,
                         unsigned short length, void* data);
    int USBVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index,
                          unsigned short length, void* data);

    // --- MMC bus ---------------------------------------------------------
    // The CRC byte is always computed here; the caller's is ignored.
    int MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char unusedCrc,
                       unsigned char request);
    // responseType 0 = R1 (6 bytes), 1 = R2 (17 bytes), 3 = R3 (6 bytes); any
    // other type sends the command and returns 0 without an error code.
    int MMCSendCommandResponse(unsigned char command, std::uint32_t argument, unsigned char unusedCrc,
                               unsigned short responseType, unsigned char* response, unsigned char request);
    int MMCGetR1Response(unsigned char* response);
    int MMCGetR2Response(unsigned char* response);
    int MMCGetR3Response(unsigned char* response);

    // Raw bus stream; lengths are rounded down to 32 bytes, 0 moves nothing.
    int MMCWriteBus(const unsigned char* data, std::uint32_t length);
    int MMCReadBus(unsigned char* data, std::uint32_t length);
    int MMCSendDummyClocks();

    // Block transfers by byte address. Block lengths up to 1024 bytes are
    // written; reads move 512-byte blocks (other lengths fail, nothing sent).
    int MMCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length);
    int MMCWriteMultiBlock(const unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                           std::uint32_t count);
    // Writes in groups until done or a group is rejected; 1 with `written`
    // short of `count` means "retry from there".
    int MMCWriteMultiBlockUntilError(const unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                     std::uint32_t count, unsigned int& written, unsigned int group);
    int MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t length);
    int MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                          std::uint32_t count);
    int MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress);
    // Reads one armed data block of `length` (<= 1024) bytes; above that it
    // fails without an error code.
    int MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc);
    // Reads `blocks` (<= 16) 512-byte blocks in one bulk transfer.
    int MMCGetDataMulti(unsigned char* data, std::uint32_t blocks, int checkCrc);

    // --- SmartMedia bus --------------------------------------------------
    int SSFDCSendCommand(unsigned char first, unsigned char second, unsigned char command, std::uint32_t value,
                         unsigned char request);
    int SSFDCGetResponse(unsigned char* response);  // 3 bytes
    int SSFDCGetData(unsigned char* buffer, std::uint32_t length);
    // Page records are 528 bytes back to back; `unit` is the transfer slot
    // size and must be 544 (anything else fails without an error code).
    int SSFDCWriteMultiBlock(const unsigned char* records, std::uint32_t address, std::uint32_t unit,
                             std::uint32_t pages);
    int SSFDCReadMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                            std::uint32_t pages);
    int SSFDCEraseBlock(std::uint32_t address);
    // The same, refusing the two blocks a 32 MB chip keeps for itself.
    int SSFDCEraseBlock(std::uint32_t address, unsigned char deviceCode);
    int SSFDCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length);

    // Chip address values of a byte address.
    static std::uint32_t SsfdcPageAddress(std::uint32_t address);
    static std::uint32_t SsfdcEraseAddress(std::uint32_t address);

protected:
    // The 7-byte packets of request 0, 7 and 8.
    static void MMCMakeCommandPacket(unsigned char command, std::uint32_t argument, unsigned char* out);
    static void SSFDCMakeCommandPacket(unsigned char first, unsigned char second, unsigned char command,
                                       std::uint32_t value, unsigned char* out);
    int MMCSendGetData();  // arms a raw bulk read (request 2)
    static unsigned char MMCGetCRC7(const unsigned char* data, unsigned short count);
    // out[i] = in[i] << shift | in[i + 1] >> (8 - shift) for i < count, so
    // `in` holds count + 1 bytes; shift 1..7.
    static void MMCShiftDataStream(const unsigned char* in, unsigned char* out, std::uint32_t count, int shift);
    // The n + 32-byte stream of one n-byte block (n <= 1024): 238 one-bits,
    // start bit, data, CRC16, end bit.
    static void MMCMakeBlockWriteData(const unsigned char* data, std::uint32_t n, unsigned char* out);

private:
    int Fail(std::uint32_t code);
    int VendorOut(unsigned char request, unsigned short value, unsigned short length, void* data);
    int VendorIn(unsigned char request, unsigned short value, unsigned short length, void* data);
    int BulkWrite(const unsigned char* data, std::uint32_t length);
    int BulkRead(unsigned char* data, std::uint32_t length);
    int FetchResponsePiece(unsigned char* piece);
    int ReadWriteStatus(std::uint8_t& cardByte, std::uint8_t& statusByte);
    int WriteBlockStream(const unsigned char* data, std::uint32_t length);
    int StopMultiBlockWrite();
    int StopMultiBlockRead();
    int WaitAfterRejectedGroup();

    std::uint32_t lastError_ = kverr::kNone;
};

}  // namespace murmex::cardio
