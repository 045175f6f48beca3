#include "SmartMediaController.h"

#include <algorithm>

#include "ByteOrder.h"

namespace murmex::bridge {

namespace {
namespace chip_command {
constexpr std::uint8_t kRead = 0x00, kProgram = 0x80, kErase = 0x60, kReadStatus = 0x70, kReadId = 0x90,
                       kReset = 0xFF;
}  // namespace chip_command

// A page address carries the column in its low byte and the page above it.
std::uint32_t PageOf(std::uint32_t value) { return value >> 8; }
std::uint32_t ColumnOf(std::uint32_t value) { return value & 0xFF; }
}  // namespace

SmartMediaController::SmartMediaController(std::unique_ptr<SmartMediaChip> chip, BulkInStream& in, BulkOutStream& out)
    : chip_(std::move(chip)), in_(in), out_(out) {}

void SmartMediaController::Command(std::span<const std::uint8_t, kPacketSize> packet, bool opensTransfer) {
    if (!chip_) return;
    const std::uint8_t code = packet[2];
    const std::uint32_t value = ReadLE32(packet, 3);
    switch (code) {
        case chip_command::kRead:
            StartRead(PageOf(value));
            break;
        case chip_command::kProgram:
            StartProgram(PageOf(value), ColumnOf(value), opensTransfer);
            break;
        case chip_command::kErase:
            chip_->ClearStatus();
            chip_->Erase(value);
            answer_ = Answer::Status;
            break;
        case chip_command::kReadStatus:
            answer_ = Answer::Status;
            break;
        case chip_command::kReadId:
            answer_ = Answer::Id;
            break;
        case chip_command::kReset:
            chip_->ClearStatus();
            in_.Idle();
            out_.Discard();
            answer_ = Answer::Nothing;
            break;
        default:
            break;  // not a command this chip knows
    }
}

void SmartMediaController::Response(std::span<std::uint8_t> out) const {
    std::fill(out.begin(), out.end(), std::uint8_t{0xFF});
    if (!chip_ || out.empty()) return;
    if (answer_ == Answer::Status) out[0] = chip_->Status();
    if (answer_ == Answer::Id) {
        out[0] = SmartMediaChip::kMakerCode;
        if (out.size() > 1) out[1] = chip_->DeviceCode();
    }
}

// Multi-page reads always start at the first byte of the page.
void SmartMediaController::StartRead(std::uint32_t page) {
    SmartMediaChip* chip = chip_.get();
    in_.Slots(kSlotSize, [chip, next = page](std::span<std::uint8_t> slot) mutable {
        chip->ReadPage(next++, slot.first<SmartMediaChip::kPageSize>());
    });
}

void SmartMediaController::StartProgram(std::uint32_t page, std::uint32_t column, bool multiPage) {
    chip_->ClearStatus();
    answer_ = Answer::Status;
    SmartMediaChip* chip = chip_.get();
    if (multiPage) {
        out_.Units(kSlotSize, 0, [chip, next = page](std::span<const std::uint8_t> slot) mutable {
            chip->Program(next++, 0, slot.first(SmartMediaChip::kPageSize));
        });
    } else {
        out_.NextTransfer([chip, page, column](std::span<const std::uint8_t> bytes) { chip->Program(page, column, bytes); });
    }
}

}  // namespace murmex::bridge
