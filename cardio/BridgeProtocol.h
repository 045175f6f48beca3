// Numbers of the bridge's wire protocol that kvcard speaks: vendor request
// codes, bus modes, transfer slot sizes and the card command bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace murmex::cardio {

namespace request {
inline constexpr std::uint8_t kCommand = 0;        // OUT, 7-byte command packet
inline constexpr std::uint8_t kResponse = 1;       // IN, next response bytes
inline constexpr std::uint8_t kArmBulkRead = 2;    // IN, no data: arm a raw bus read
inline constexpr std::uint8_t kReadGpio = 3;       // IN, 8 bytes, byte 7 = level
inline constexpr std::uint8_t kWriteGpio = 4;      // OUT, value = level << 8 | pin
inline constexpr std::uint8_t kSsfdcReady = 5;     // IN, 2 bytes, byte 0 != 0 = ready
inline constexpr std::uint8_t kSetClock = 6;       // OUT, value = clock code
inline constexpr std::uint8_t kCommandRead = 7;    // OUT, command that opens a multi-block read
inline constexpr std::uint8_t kCommandWrite = 8;   // OUT, command that opens a write
inline constexpr std::uint8_t kSelectMode = 10;    // OUT, value = bus mode
inline constexpr std::uint8_t kStopResponse = 11;  // IN, response to the stop after a multi-block write
}  // namespace request

namespace busmode {
inline constexpr unsigned kIdle = 0;
inline constexpr unsigned kMmc = 2;
inline constexpr unsigned kSsfdc = 3;
inline constexpr unsigned kSsfdc64 = 4;
}  // namespace busmode

namespace clock {
inline constexpr unsigned k400kHz = 0;
inline constexpr unsigned k12MHz = 2;
}  // namespace clock

inline constexpr std::size_t kPacketBytes = 7;
inline constexpr std::size_t kResponsePieceBytes = 7;
inline constexpr std::size_t kSsfdcResponseBytes = 3;
inline constexpr std::size_t kWriteStatusBytes = 8;

// MMC data: a block travels in a slot 32 bytes longer (CRC16, end and padding).
inline constexpr std::uint32_t kMmcBlockBytes = 512;
inline constexpr std::uint32_t kMmcMaxBlockBytes = 1024;
inline constexpr std::uint32_t kMmcSlotOverhead = 32;
inline constexpr std::uint32_t kMmcSlotBytes = kMmcBlockBytes + kMmcSlotOverhead;
inline constexpr std::uint32_t kMmcMaxSlotsPerRead = 16;
inline constexpr std::uint32_t kMmcReadGroup = 8;
inline constexpr std::uint32_t kDummyClockBytes = 1024;
inline constexpr std::uint32_t kBusChunk = 32;

// SmartMedia data: a 528-byte page record travels in a 544-byte slot.
inline constexpr std::uint32_t kSsfdcRecordBytes = 528;
inline constexpr std::uint32_t kSsfdcSlotBytes = 544;
inline constexpr std::uint32_t kSsfdcWriteGroup = 64;
inline constexpr std::uint32_t kSsfdcReadGroup = 32;

namespace mmc {
inline constexpr std::uint8_t kGoIdle = 0x40;
inline constexpr std::uint8_t kSendOpCond = 0x41;
inline constexpr std::uint8_t kAllSendCid = 0x42;
inline constexpr std::uint8_t kSetRelativeAddr = 0x43;
inline constexpr std::uint8_t kSelectCard = 0x47;
inline constexpr std::uint8_t kSendCsd = 0x49;
inline constexpr std::uint8_t kSendCid = 0x4A;
inline constexpr std::uint8_t kStopTransmission = 0x4C;
inline constexpr std::uint8_t kReadSingleBlock = 0x51;
inline constexpr std::uint8_t kReadMultipleBlock = 0x52;
inline constexpr std::uint8_t kWriteBlock = 0x58;
inline constexpr std::uint8_t kWriteMultipleBlock = 0x59;
inline constexpr std::uint8_t kEraseGroupStart = 0x60;
inline constexpr std::uint8_t kEraseGroupEnd = 0x61;
inline constexpr std::uint8_t kLivenessProbe = 0x62;
inline constexpr std::uint8_t kErase = 0x66;
inline constexpr std::uint32_t kOpCondArgument = 0x00FFC000;
}  // namespace mmc

namespace ssfdc {
inline constexpr std::uint8_t kRead = 0x00;
inline constexpr std::uint8_t kProgram = 0x80;
inline constexpr std::uint8_t kErase = 0x60;
inline constexpr std::uint8_t kReadStatus = 0x70;
inline constexpr std::uint8_t kReadId = 0x90;
inline constexpr std::uint8_t kReset = 0xFF;
inline constexpr std::uint8_t kStatusFailed = 0x01;
inline constexpr std::uint8_t kStatusReady = 0x40;
}  // namespace ssfdc

}  // namespace murmex::cardio
