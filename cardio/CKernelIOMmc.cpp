// MMC block transfers: writes with group retries, reads in slot groups,
// erase with the busy poll.
#include <algorithm>
#include <array>
#include <chrono>
#include <span>

#include "BridgeProtocol.h"
#include "ByteOrder.h"
#include "CKernelIO.h"
#include "Crc.h"

namespace murmex::cardio {

namespace {

constexpr unsigned kFirstWriteGroup = 32;
constexpr unsigned kRetriesPerHalving = 10;
constexpr unsigned kMaxWriteRetries = 300;
// A card that rejected a group gets this long of clocks to finish its busy.
constexpr auto kRejectedGroupPause = std::chrono::milliseconds(150);
constexpr unsigned kMaxErasePolls = 10000;
constexpr std::uint32_t kR1Bytes = 6;

bool IsWritableBlockLength(std::uint32_t length) { return length > 0 && length <= kMmcMaxBlockBytes; }

bool CrcMatches(std::span<const std::uint8_t> block, std::span<const std::uint8_t> crcBytes) {
    return crc::Crc16(block) == ReadBE16(crcBytes, 0);
}

}  // namespace

int CKernelIO::ReadWriteStatus(std::uint8_t& cardByte, std::uint8_t& statusByte) {
    std::array<std::uint8_t, kWriteStatusBytes> status{};
    if (!BulkRead(status.data(), status.size())) return 0;
    cardByte = status[0];
    statusByte = status[1];
    return 1;
}

int CKernelIO::WriteBlockStream(const unsigned char* data, std::uint32_t length) {
    std::array<std::uint8_t, kMmcMaxBlockBytes + kMmcSlotOverhead> stream;
    MMCMakeBlockWriteData(data, length, stream.data());
    return BulkWrite(stream.data(), length + kMmcSlotOverhead);
}

int CKernelIO::MMCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length) {
    if (!IsWritableBlockLength(length)) return 0;
    if (!MMCSendCommand(mmc::kWriteBlock, address, 0, request::kCommandWrite)) return 0;
    if (!WriteBlockStream(data, length)) return 0;
    std::uint8_t card = 0, status = 0;
    if (!ReadWriteStatus(card, status)) return 0;
    if (card != 0) return Fail(kverr::kNoResponse);
    if (status & 0xF0) return Fail(kverr::kWriteRejected);
    if (status & 0x0F) return Fail(kverr::kBusyTimeout);
    return 1;
}

int CKernelIO::MMCWriteMultiBlock(const unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                  std::uint32_t count) {
    if (!IsWritableBlockLength(blockLength)) return 0;
    if (!MMCSendDummyClocks()) return 0;
    std::uint32_t done = 0;
    unsigned group = kFirstWriteGroup;
    for (unsigned retries = 0;;) {
        unsigned written = 0;
        if (!MMCWriteMultiBlockUntilError(data + std::size_t{done} * blockLength, address + done * blockLength,
                                          blockLength, count - done, written, group))
            return 0;
        done += written;
        if (done >= count) return 1;
        ++retries;
        if (retries % kRetriesPerHalving == 1) group = std::max(group / 2, 1u);
        if (retries >= kMaxWriteRetries) return 0;
    }
}

// Command 12 ends a multi-block write; the bridge keeps its response for
// request 11 because the card answers while still busy.
int CKernelIO::StopMultiBlockWrite() {
    if (!MMCSendCommand(mmc::kStopTransmission, 0, 0, request::kCommand)) return 0;
    std::array<std::uint8_t, kResponsePieceBytes> piece;
    piece.fill(0xFF);
    if (!VendorIn(request::kStopResponse, 0, piece.size(), piece.data())) return 0;
    if (piece[0] == 0xFF) return Fail(kverr::kNoResponse);
    if (piece[5] != crc::Crc7Byte(std::span(piece).first(5))) return Fail(kverr::kBadResponse);
    return 1;
}

int CKernelIO::WaitAfterRejectedGroup() {
    // steady_clock cannot wrap, so the pause always ends.
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start <= kRejectedGroupPause)
        if (!MMCSendDummyClocks()) return 0;
    return 1;
}

int CKernelIO::MMCWriteMultiBlockUntilError(const unsigned char* data, std::uint32_t address,
                                            std::uint32_t blockLength, std::uint32_t count, unsigned int& written,
                                            unsigned int group) {
    written = 0;
    if (!IsWritableBlockLength(blockLength)) return 0;
    group = std::max(group, 1u);
    if (!MMCSendCommand(mmc::kWriteMultipleBlock, address, 0, request::kCommandWrite)) return 0;
    while (written < count) {
        const std::uint32_t n = std::min<std::uint32_t>(group, count - written);
        for (std::uint32_t i = 0; i < n; ++i)
            if (!WriteBlockStream(data + (std::size_t{written} + i) * blockLength, blockLength)) return 0;
        std::uint8_t card = 0, status = 0;
        if (!ReadWriteStatus(card, status)) return 0;
        if (card != 0 || status != 0) {
            // The group is lost; the caller retries it from `written`.
            if (!StopMultiBlockWrite()) return 0;
            return WaitAfterRejectedGroup();
        }
        written += n;
    }
    return StopMultiBlockWrite();
}

int CKernelIO::MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t length) {
    MMCSendCommand(mmc::kReadSingleBlock, address, 0, request::kCommand);  // outcome shows in the read
    if (!MMCSendGetData()) return 0;
    std::array<std::uint8_t, kMmcSlotBytes> slot{};
    if (!BulkRead(slot.data(), slot.size())) return 0;
    std::copy_n(slot.begin(), std::min(length, kMmcBlockBytes), data);
    const std::span<const std::uint8_t> view(slot);
    return CrcMatches(view.first(kMmcBlockBytes), view.subspan(kMmcBlockBytes, 2)) ? 1 : Fail(kverr::kDataCrc);
}

int CKernelIO::StopMultiBlockRead() {
    std::array<std::uint8_t, kR1Bytes> response{};
    return MMCSendCommandResponse(mmc::kStopTransmission, 0, 0, 0, response.data(), request::kCommand);
}

int CKernelIO::MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                 std::uint32_t count) {
    // Slots unpack into 512-byte blocks; any other stride would overrun the caller.
    if (blockLength != kMmcBlockBytes) return 0;
    if (!MMCSendCommand(mmc::kReadMultipleBlock, address, 0, request::kCommandRead)) return 0;
    for (std::uint32_t done = 0; done < count;) {
        const std::uint32_t n = std::min(kMmcReadGroup, count - done);
        if (!MMCGetDataMulti(data + std::size_t{done} * kMmcBlockBytes, n, 1)) {
            StopMultiBlockRead();
            return 0;
        }
        done += n;
    }
    return StopMultiBlockRead();
}

int CKernelIO::MMCGetDataMulti(unsigned char* data, std::uint32_t blocks, int checkCrc) {
    if (blocks > kMmcMaxSlotsPerRead) return 0;
    std::array<std::uint8_t, kMmcMaxSlotsPerRead * kMmcSlotBytes> slots;
    if (!BulkRead(slots.data(), blocks * kMmcSlotBytes)) return 0;
    bool crcOk = true;
    for (std::uint32_t i = 0; i < blocks; ++i) {
        const auto slot = std::span<const std::uint8_t>(slots).subspan(i * kMmcSlotBytes, kMmcSlotBytes);
        std::copy_n(slot.begin(), kMmcBlockBytes, data + std::size_t{i} * kMmcBlockBytes);
        if (checkCrc && crcOk) crcOk = CrcMatches(slot.first(kMmcBlockBytes), slot.subspan(kMmcBlockBytes, 2));
    }
    return crcOk ? 1 : Fail(kverr::kDataCrc);
}

int CKernelIO::MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc) {
    if (length > kMmcMaxBlockBytes) return 0;
    std::array<std::uint8_t, kMmcMaxBlockBytes + kMmcSlotOverhead> slot;
    if (!BulkRead(slot.data(), length + kMmcSlotOverhead)) return 0;
    std::copy_n(slot.begin(), length, data);
    const std::span<const std::uint8_t> view(slot);
    if (checkCrc && !CrcMatches(view.first(length), view.subspan(length, 2))) return Fail(kverr::kDataCrc);
    return 1;
}

int CKernelIO::MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress) {
    std::array<std::uint8_t, kR1Bytes> response{};
    if (!MMCSendCommandResponse(mmc::kEraseGroupStart, firstAddress, 0, 0, response.data(), request::kCommand) ||
        !MMCSendCommandResponse(mmc::kEraseGroupEnd, lastAddress, 0, 0, response.data(), request::kCommand) ||
        !MMCSendCommandResponse(mmc::kErase, 0, 0, 0, response.data(), request::kCommand))
        return 0;
    if (!MMCSendGetData()) return 0;
    // The card holds the data line low while it erases.
    std::array<std::uint8_t, kBusChunk> bus{};
    for (unsigned poll = 0; poll < kMaxErasePolls; ++poll) {
        if (!BulkRead(bus.data(), bus.size())) return 0;
        if (std::any_of(bus.begin(), bus.end(), [](std::uint8_t b) { return b != 0; })) return 1;
    }
    return Fail(kverr::kBusyTimeout);
}

}  // namespace murmex::cardio
