// Transport and bus primitives: vendor requests, bulk streams, command
// packets, response fetches and the MMC write-stream framing.
#include "CKernelIO.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

#include "BridgeProtocol.h"
#include "ByteOrder.h"
#include "Crc.h"
#include "hvtavrin.h"

namespace murmex::cardio {

namespace {

// hvtavrin ignores the value; the bridge's old vendor-specific number stays.
constexpr std::uint32_t kFindUsbDevArgument = 0x6001;
constexpr std::uint8_t kNoAnswer = 0xFF;
constexpr std::uint8_t kR2StartByte = 0x3F;
constexpr std::uint32_t kWriteStreamLeadBytes = 29;
constexpr std::uint8_t kStartToken = 0xFE;

}  // namespace

CKernelIO::~CKernelIO() { ClosePort(); }

int CKernelIO::Fail(std::uint32_t code) {
    SetError(code);
    return 0;
}

int CKernelIO::OpenPort(unsigned short, int) {
    return FindUsbDev(kFindUsbDevArgument) ? 1 : Fail(kverr::kTransfer);
}

int CKernelIO::ClosePort() { return CloseUsbDev(); }

int CKernelIO::VendorOut(unsigned char request, unsigned short value, unsigned short length, void* data) {
    return UsbVendorCmdWrite(request, value, 0, length, data) ? 1 : Fail(kverr::kTransfer);
}

int CKernelIO::VendorIn(unsigned char request, unsigned short value, unsigned short length, void* data) {
    return UsbVendorCmdRead(request, value, 0, length, data) ? 1 : Fail(kverr::kTransfer);
}

int CKernelIO::BulkWrite(const unsigned char* data, std::uint32_t length) {
    // hvtavrin's signature is not const-correct; it only reads the buffer.
    return UsbDataWrite(length, const_cast<unsigned char*>(data)) ? 1 : Fail(kverr::kTransfer);
}

int CKernelIO::BulkRead(unsigned char* data, std::uint32_t length) {
    return UsbDataRead(length, data) ? 1 : Fail(kverr::kTransfer);
}

int CKernelIO::SetClock(unsigned int clock) {
    return VendorOut(request::kSetClock, static_cast<unsigned short>(clock), 0, nullptr);
}

int CKernelIO::SelectMode(unsigned int mode) {
    return VendorOut(request::kSelectMode, static_cast<unsigned short>(mode), 0, nullptr);
}

int CKernelIO::WriteGPIO(unsigned char pin, unsigned char level) {
    return VendorOut(request::kWriteGpio, static_cast<unsigned short>((level << 8) | pin), 0, nullptr);
}

int CKernelIO::ReadGPIO(unsigned char pin, unsigned char* level) {
    std::array<std::uint8_t, 8> answer{};
    if (!VendorIn(request::kReadGpio, pin, answer.size(), answer.data())) return 0;
    if (level) *level = answer[7];
    return 1;
}

int CKernelIO::USBVendorCmdRead(unsigned char request, unsigned short value, unsigned short index,
                                unsigned short length, void* data) {
    return UsbVendorCmdRead(request, value, index, length, data);
}

int CKernelIO::USBVendorCmdWrite(unsigned char request, unsigned short value, unsigned short index,
                                 unsigned short length, void* data) {
    return UsbVendorCmdWrite(request, value, index, length, data);
}

void CKernelIO::MMCMakeCommandPacket(unsigned char command, std::uint32_t argument, unsigned char* out) {
    const std::span<std::uint8_t, kPacketBytes> packet(out, kPacketBytes);
    packet[0] = 0xFF;
    packet[1] = command;
    WriteBE16(packet, 2, static_cast<std::uint16_t>(argument >> 16));
    WriteBE16(packet, 4, static_cast<std::uint16_t>(argument));
    packet[6] = crc::Crc7Byte(packet.subspan(1, 5));
}

int CKernelIO::MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char, unsigned char request) {
    std::array<std::uint8_t, kPacketBytes> packet{};
    MMCMakeCommandPacket(command, argument, packet.data());
    return VendorOut(request, 0, packet.size(), packet.data());
}

int CKernelIO::MMCSendCommandResponse(unsigned char command, std::uint32_t argument, unsigned char crc,
                                      unsigned short responseType, unsigned char* response, unsigned char request) {
    if (!MMCSendCommand(command, argument, crc, request)) return 0;
    switch (responseType) {
    case 0: return MMCGetR1Response(response);
    case 1: return MMCGetR2Response(response);
    case 3: return MMCGetR3Response(response);
    default: return 0;
    }
}

// One 7-byte piece; a bridge that sends fewer bytes leaves 0xFF, which reads
// as "no answer" rather than as stale data.
int CKernelIO::FetchResponsePiece(unsigned char* piece) {
    std::memset(piece, kNoAnswer, kResponsePieceBytes);
    return VendorIn(request::kResponse, 0, kResponsePieceBytes, piece);
}

int CKernelIO::MMCGetR1Response(unsigned char* response) {
    std::array<std::uint8_t, kResponsePieceBytes> piece{};
    if (!FetchResponsePiece(piece.data())) return 0;
    std::copy_n(piece.begin(), 6, response);
    if (piece[0] == kNoAnswer) return Fail(kverr::kNoResponse);
    if (piece[5] != crc::Crc7Byte(std::span(piece).first(5))) return Fail(kverr::kBadResponse);
    return 1;
}

int CKernelIO::MMCGetR3Response(unsigned char* response) {
    std::array<std::uint8_t, kResponsePieceBytes> piece{};
    if (!FetchResponsePiece(piece.data())) return 0;
    std::copy_n(piece.begin(), 6, response);
    if (piece[0] == kNoAnswer) return Fail(kverr::kNoResponse);
    // The OCR answer carries no valid CRC on this bus.
    if (piece[0] != kR2StartByte) return Fail(kverr::kBadResponse);
    return 1;
}

int CKernelIO::MMCGetR2Response(unsigned char* response) {
    std::array<std::uint8_t, 3 * kResponsePieceBytes> pieces{};
    if (!FetchResponsePiece(pieces.data())) return 0;
    if (pieces[0] == kNoAnswer) {
        std::copy_n(pieces.begin(), kResponsePieceBytes, response);
        return Fail(kverr::kNoResponse);
    }
    if (!FetchResponsePiece(pieces.data() + 7) || !FetchResponsePiece(pieces.data() + 14)) return 0;
    std::copy_n(pieces.begin(), 17, response);
    if (pieces[0] != kR2StartByte || pieces[16] != crc::Crc7Byte(std::span(pieces).subspan(1, 15)))
        return Fail(kverr::kBadResponse);
    return 1;
}

int CKernelIO::MMCSendGetData() { return VendorIn(request::kArmBulkRead, 0, 0, nullptr); }

int CKernelIO::MMCWriteBus(const unsigned char* data, std::uint32_t length) {
    const std::uint32_t rounded = length / kBusChunk * kBusChunk;
    return rounded == 0 ? 1 : BulkWrite(data, rounded);
}

int CKernelIO::MMCReadBus(unsigned char* data, std::uint32_t length) {
    if (!MMCSendGetData()) return 0;
    const std::uint32_t rounded = length / kBusChunk * kBusChunk;
    return rounded == 0 ? 1 : BulkRead(data, rounded);
}

int CKernelIO::MMCSendDummyClocks() {
    std::array<std::uint8_t, kDummyClockBytes> ones;
    ones.fill(0xFF);
    return MMCWriteBus(ones.data(), ones.size());
}

unsigned char CKernelIO::MMCGetCRC7(const unsigned char* data, unsigned short count) {
    return crc::Crc7(std::span(data, count));
}

void CKernelIO::MMCShiftDataStream(const unsigned char* in, unsigned char* out, std::uint32_t count, int shift) {
    const int left = shift & 7;
    for (std::uint32_t i = 0; i < count; ++i) {
        const unsigned next = left == 0 ? 0u : static_cast<unsigned>(in[i + 1]) >> (8 - left);
        out[i] = static_cast<unsigned char>(((in[i] << left) | next) & 0xFF);
    }
}

void CKernelIO::MMCMakeBlockWriteData(const unsigned char* data, std::uint32_t n, unsigned char* out) {
    // Byte-aligned frame first (29 x FF, FE, data, CRC16, FF), then one bit
    // left so that exactly one zero start bit precedes the data.
    std::array<std::uint8_t, kMmcMaxBlockBytes + kMmcSlotOverhead + 1> frame;
    n = std::min(n, kMmcMaxBlockBytes);
    std::fill_n(frame.begin(), kWriteStreamLeadBytes, 0xFF);
    frame[kWriteStreamLeadBytes] = kStartToken;
    std::copy_n(data, n, frame.begin() + kWriteStreamLeadBytes + 1);
    const std::size_t crcAt = kWriteStreamLeadBytes + 1 + n;
    WriteBE16(frame, crcAt, crc::Crc16(std::span(data, n)));
    frame[crcAt + 2] = 0xFF;
    MMCShiftDataStream(frame.data(), out, n + kMmcSlotOverhead, 1);
}

}  // namespace murmex::cardio
