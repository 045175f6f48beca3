// SmartMedia bus operations: chip commands, page program and read in slot
// groups, block erase with the ready poll and the status loop.
#include <algorithm>
#include <array>
#include <span>

#include "BridgeProtocol.h"
#include "ByteOrder.h"
#include "CKernelIO.h"

namespace murmex::cardio {

namespace {

constexpr unsigned kEraseReadyPolls = 5;
// A chip that reports busy forever must not hold the caller; real chips
// finish an erase within a few status reads.
constexpr unsigned kMaxEraseStatusReads = 1000;
constexpr std::uint8_t kChip32MB = 0x75;
constexpr std::uint32_t kEraseBlockMask = ~std::uint32_t{0x3FFF};
// The last 16 KB block of each 16 MB half of a 32 MB chip is kept by the chip.
constexpr std::uint32_t kProtected32MBBlocks[] = {0xFFC000, 0x1FFC000};

}  // namespace

std::uint32_t CKernelIO::SsfdcPageAddress(std::uint32_t address) {
    return (address & 0xFF) | ((address >> 1) & 0x7FFFFF80);
}

std::uint32_t CKernelIO::SsfdcEraseAddress(std::uint32_t address) { return (address >> 9) | 0xD0000000; }

void CKernelIO::SSFDCMakeCommandPacket(unsigned char first, unsigned char second, unsigned char command,
                                       std::uint32_t value, unsigned char* out) {
    const std::span<std::uint8_t, kPacketBytes> packet(out, kPacketBytes);
    packet[0] = first;
    packet[1] = second;
    packet[2] = command;
    WriteLE32(packet, 3, value);
}

int CKernelIO::SSFDCSendCommand(unsigned char first, unsigned char second, unsigned char command,
                                std::uint32_t value, unsigned char request) {
    std::array<std::uint8_t, kPacketBytes> packet{};
    SSFDCMakeCommandPacket(first, second, command, value, packet.data());
    return VendorOut(request, 0, packet.size(), packet.data());
}

int CKernelIO::SSFDCGetResponse(unsigned char* response) {
    return VendorIn(request::kResponse, 0, kSsfdcResponseBytes, response);
}

int CKernelIO::SSFDCGetData(unsigned char* buffer, std::uint32_t length) { return BulkRead(buffer, length); }

int CKernelIO::SSFDCWriteMultiBlock(const unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                    std::uint32_t pages) {
    // The slot layout is fixed; another unit would misplace or overrun records.
    if (unit != kSsfdcSlotBytes) return 0;
    if (!SSFDCSendCommand(0, 0, ssfdc::kProgram, SsfdcPageAddress(address), request::kCommandWrite)) return 0;
    std::array<std::uint8_t, kSsfdcWriteGroup * kSsfdcSlotBytes> slots;
    for (std::uint32_t done = 0; done < pages;) {
        const std::uint32_t n = std::min(kSsfdcWriteGroup, pages - done);
        slots.fill(0xFF);  // padding reads as erased flash
        for (std::uint32_t i = 0; i < n; ++i)
            std::copy_n(records + (std::size_t{done} + i) * kSsfdcRecordBytes, kSsfdcRecordBytes,
                        slots.begin() + i * kSsfdcSlotBytes);
        if (!BulkWrite(slots.data(), n * kSsfdcSlotBytes)) return 0;
        done += n;
    }
    std::array<std::uint8_t, kSsfdcResponseBytes> status{};
    if (!SSFDCGetResponse(status.data())) return 0;
    return (status[0] & ssfdc::kStatusFailed) ? Fail(kverr::kProgramFailed) : 1;
}

int CKernelIO::SSFDCReadMultiBlock(unsigned char* records, std::uint32_t address, std::uint32_t unit,
                                   std::uint32_t pages) {
    if (unit != kSsfdcSlotBytes) return 0;
    if (!SSFDCSendCommand(0, 0, ssfdc::kRead, SsfdcPageAddress(address), request::kCommandRead)) return 0;
    std::array<std::uint8_t, kSsfdcReadGroup * kSsfdcSlotBytes> slots;
    for (std::uint32_t done = 0; done < pages;) {
        const std::uint32_t n = std::min(kSsfdcReadGroup, pages - done);
        if (!BulkRead(slots.data(), n * kSsfdcSlotBytes)) return 0;
        for (std::uint32_t i = 0; i < n; ++i)
            std::copy_n(slots.begin() + i * kSsfdcSlotBytes, kSsfdcRecordBytes,
                        records + (std::size_t{done} + i) * kSsfdcRecordBytes);
        done += n;
    }
    return 1;
}

int CKernelIO::SSFDCEraseBlock(std::uint32_t address) {
    if (!SSFDCSendCommand(0, 0, ssfdc::kErase, SsfdcEraseAddress(address), request::kCommand)) return 0;
    bool ready = false;
    for (unsigned poll = 0; poll < kEraseReadyPolls && !ready; ++poll) {
        std::array<std::uint8_t, 2> answer{};
        if (!VendorIn(request::kSsfdcReady, 0, answer.size(), answer.data())) return 0;
        ready = answer[0] != 0;
    }
    if (!ready) return Fail(kverr::kBusyTimeout);
    if (!SSFDCSendCommand(0, 0, ssfdc::kReadStatus, 0, request::kCommand)) return 0;
    for (unsigned read = 0; read < kMaxEraseStatusReads; ++read) {
        std::array<std::uint8_t, kSsfdcResponseBytes> status{};
        if (!SSFDCGetResponse(status.data())) return 0;
        if (!(status[0] & ssfdc::kStatusFailed)) return 1;
        if (status[0] & ssfdc::kStatusReady) return Fail(kverr::kEraseFailed);
    }
    return Fail(kverr::kBusyTimeout);
}

int CKernelIO::SSFDCEraseBlock(std::uint32_t address, unsigned char deviceCode) {
    if (deviceCode == kChip32MB) {
        const std::uint32_t block = address & kEraseBlockMask;
        if (std::find(std::begin(kProtected32MBBlocks), std::end(kProtected32MBBlocks), block) !=
            std::end(kProtected32MBBlocks))
            return Fail(kverr::kEraseFailed);
    }
    return SSFDCEraseBlock(address);
}

int CKernelIO::SSFDCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length) {
    if (!SSFDCSendCommand(0, 0, ssfdc::kProgram, SsfdcPageAddress(address), request::kCommand)) return 0;
    if (!BulkWrite(data, length)) return 0;
    std::array<std::uint8_t, kSsfdcResponseBytes> status{};
    if (!SSFDCGetResponse(status.data())) return 0;
    return (status[0] & ssfdc::kStatusFailed) ? Fail(kverr::kWriteRejected) : 1;
}

}  // namespace murmex::cardio
