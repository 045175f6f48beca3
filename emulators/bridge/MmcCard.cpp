#include "MmcCard.h"

#include <algorithm>
#include <limits>

#include "Crc.h"

namespace murmex::bridge {

namespace {

// Card status bits.
constexpr std::uint32_t kEraseSequenceError = 1u << 28;
constexpr std::uint32_t kEraseParameterError = 1u << 27;
constexpr std::uint32_t kWriteError = 1u << 19;  // shown as a general error
constexpr std::uint32_t kEraseSkipped = 1u << 15;
constexpr std::uint32_t kReadyForData = 1u << 8;

constexpr std::uint8_t kManufacturer[3] = {0x00, 0x00, 0x5A};
constexpr char kProductName[] = "MXCARD1";
constexpr std::uint8_t kRevisions = 0x11;  // hardware 1, firmware 1
constexpr std::uint8_t kDate = 0x35;

void SealRegister(MmcCard::Register& reg) { reg[15] = crc::Crc7Byte(std::span(reg).first(15)); }

}  // namespace

MmcCard::MmcCard(std::unique_ptr<CardImage> image, std::uint32_t serial, std::vector<std::uint32_t> badBlocks,
                 unsigned readyAfter)
    : image_(std::move(image)), badBlocks_(std::move(badBlocks)), readyAfter_(readyAfter) {
    BuildCid(serial);
    BuildCsd();
}

void MmcCard::BuildCid(std::uint32_t serial) {
    std::copy(std::begin(kManufacturer), std::end(kManufacturer), cid_.begin());
    std::copy_n(kProductName, 7, cid_.begin() + 3);
    cid_[10] = kRevisions;
    cid_[11] = static_cast<std::uint8_t>(serial >> 16);
    cid_[12] = static_cast<std::uint8_t>(serial >> 8);
    cid_[13] = static_cast<std::uint8_t>(serial);
    cid_[14] = kDate;
    SealRegister(cid_);
}

// Capacity = (C_SIZE + 1) << (C_SIZE_MULT + 2) blocks of 512 bytes: the
// smallest multiplier whose C_SIZE fits 12 bits, rounding down, so that the
// card never claims more than the image holds (a tiny image claims 2 KB).
void MmcCard::BuildCsd() {
    const std::uint64_t blocks = image_->Size() / kBlockSize;
    unsigned mult = 0;
    while (mult < 7 && (blocks >> (mult + 2)) > 4096) ++mult;
    const std::uint64_t units = std::min<std::uint64_t>(blocks >> (mult + 2), 4096);
    const unsigned cSize = units == 0 ? 0 : static_cast<unsigned>(units - 1);

    csd_ = {0x48, 0x0E, 0x00, 0x2A,  // CSD 1.x-style structure, access times, 20 MHz
            0x0F, 0x59,              // command classes; READ_BL_LEN 9
            0, 0, 0, 0, 0, 0,
            0x02, 0x40, 0x00, 0x00};  // WRITE_BL_LEN 9
    csd_[6] = static_cast<std::uint8_t>(0x80 | ((cSize >> 10) & 0x03));  // READ_BL_PARTIAL, C_SIZE 11:10
    csd_[7] = static_cast<std::uint8_t>(cSize >> 2);
    csd_[8] = static_cast<std::uint8_t>(((cSize & 0x03) << 6) | 0x2D);  // C_SIZE 1:0, read currents
    csd_[9] = static_cast<std::uint8_t>(0xB4 | ((mult >> 1) & 0x03));  // write currents, C_SIZE_MULT 2:1
    csd_[10] = static_cast<std::uint8_t>(((mult & 0x01) << 7) | 0x7C);  // C_SIZE_MULT 0, erase group size
    csd_[11] = 0x1F;
    SealRegister(csd_);
}

void MmcCard::PowerOff() {
    GoIdle();
    opConds_ = 0;
}

void MmcCard::GoIdle() {
    state_ = State::Idle;
    rca_ = 0;
    errors_ = 0;
    eraseStart_ = eraseEnd_ = kNoTag;
}

bool MmcCard::SendOpCond() {
    if (opConds_ < std::numeric_limits<unsigned>::max()) ++opConds_;
    if (readyAfter_ == 0 || opConds_ < readyAfter_) return false;
    state_ = State::Ready;
    return true;
}

std::uint32_t MmcCard::TakeStatus() {
    const std::uint32_t status = errors_ | (std::uint32_t{static_cast<std::uint8_t>(state_)} << 9) | kReadyForData;
    errors_ = 0;
    return status;
}

bool MmcCard::TouchesBadBlock(std::uint64_t address, std::uint64_t length) const {
    if (length == 0) return false;
    const std::uint64_t first = address / kBadBlockSize, last = (address + length - 1) / kBadBlockSize;
    return std::any_of(badBlocks_.begin(), badBlocks_.end(),
                       [&](std::uint32_t bad) { return bad >= first && bad <= last; });
}

void MmcCard::Read(std::uint64_t address, std::span<std::uint8_t> out) const { image_->Read(address, out); }

bool MmcCard::Program(std::uint64_t address, std::span<const std::uint8_t> block) {
    const bool ok = !TouchesBadBlock(address, block.size()) && image_->Write(address, block);
    if (!ok) errors_ |= kWriteError;
    return ok;
}

bool MmcCard::Erase() {
    const std::uint64_t start = eraseStart_, last = eraseEnd_;
    eraseStart_ = eraseEnd_ = kNoTag;
    if (start == kNoTag || last == kNoTag) {
        errors_ |= kEraseSequenceError;
        return false;
    }
    const std::uint64_t first = start - start % kBlockSize;
    if (last < first || first >= image_->Size()) {
        errors_ |= kEraseParameterError;
        return false;
    }
    const std::uint64_t stop = std::min(last - last % kBlockSize + kBlockSize, image_->Size());
    for (std::uint64_t at = first; at < stop;) {
        const std::uint64_t next = std::min(stop, (at / kBadBlockSize + 1) * kBadBlockSize);
        if (TouchesBadBlock(at, next - at))
            errors_ |= kEraseSkipped;
        else
            image_->Fill(at, next - at, 0xFF);
        at = next;
    }
    return true;
}

}  // namespace murmex::bridge
