#include "MmcController.h"

#include <algorithm>

#include "ByteOrder.h"
#include "Crc.h"
#include "MmcCommands.h"
#include "WriteStreamDecoder.h"

namespace murmex::bridge {

namespace command = mmc_command;

MmcController::MmcController(MmcBus bus, BulkInStream& in, BulkOutStream& out, bool neverReady, bool corruptCrc,
                             std::uint32_t rejectWrite)
    : bus_(std::move(bus)), in_(in), out_(out), neverReady_(neverReady), corruptCrc_(corruptCrc),
      writeStatus_(rejectWrite) {}

void MmcController::PowerOff() {
    bus_.PowerOff();
    response_.clear();
    responseRead_ = 0;
}

void MmcController::Command(std::span<const std::uint8_t, kPacketSize> packet) {
    response_.clear();
    responseRead_ = 0;
    // A command without its start and transmission bits, or with a wrong CRC7,
    // is noise to the cards.
    const std::uint8_t commandByte = packet[1];
    if ((commandByte & 0xC0) != 0x40 || packet[6] != crc::Crc7Byte(packet.subspan(1, 5))) return;

    const std::uint8_t index = commandByte & 0x3F;
    const std::uint32_t argument =
        (std::uint32_t{ReadBE16(packet, 2)} << 16) | std::uint32_t{ReadBE16(packet, 4)};
    if (index == command::kStop || index == command::kGoIdle) {
        in_.Idle();
        out_.Discard();
    }
    MmcBus::Answer answer = bus_.Execute(index, argument);
    response_ = std::move(answer.response);
    if (answer.erasing) in_.Busy(neverReady_ ? BulkInStream::kForever : kEraseBusyReads);
    if (answer.card) StartDataPhase(index, argument, *answer.card);
}

void MmcController::Response(std::span<std::uint8_t> out) {
    for (std::uint8_t& byte : out)
        byte = responseRead_ < response_.size() ? response_[responseRead_++] : std::uint8_t{0xFF};
}

void MmcController::StartDataPhase(std::uint8_t index, std::uint32_t address, MmcCard& card) {
    MmcCard* target = &card;
    switch (index) {
        case command::kReadSingle: {
            std::vector<std::uint8_t> slot(kSlotSize, 0xFF);
            FillReadSlot(card, address, slot);
            in_.Bytes(std::move(slot));
            break;
        }
        case command::kReadMultiple:
            in_.Slots(kSlotSize, [this, target, next = std::uint64_t{address}](std::span<std::uint8_t> slot) mutable {
                FillReadSlot(*target, next, slot);
                next += MmcCard::kBlockSize;
            });
            break;
        case command::kWriteSingle:
        case command::kWriteMultiple:
            out_.Units(kSlotSize, index == command::kWriteSingle ? 1 : 0,
                       [this, target, next = std::uint64_t{address}](std::span<const std::uint8_t> stream) mutable {
                           ReceiveBlock(*target, next, stream);
                           next += MmcCard::kBlockSize;
                       });
            break;
        default:
            break;
    }
}

// A block beyond the card never gets its start token: the bus stays idle.
void MmcController::FillReadSlot(MmcCard& card, std::uint64_t address, std::span<std::uint8_t> slot) const {
    std::fill(slot.begin(), slot.end(), std::uint8_t{0xFF});
    if (!card.Holds(address)) return;
    const auto data = slot.first(MmcCard::kBlockSize);
    card.Read(address, data);
    std::uint16_t crc = crc::Crc16(data);
    if (corruptCrc_) crc = static_cast<std::uint16_t>(~crc);
    WriteBE16(slot, MmcCard::kBlockSize, crc);
}

void MmcController::ReceiveBlock(MmcCard& card, std::uint64_t address, std::span<const std::uint8_t> stream) {
    std::array<std::uint8_t, MmcCard::kBlockSize> block;
    using Outcome = WriteStatusBlock::Outcome;
    Outcome outcome = Outcome::Rejected;
    switch (WriteStreamDecoder::Decode(stream, block)) {
        case WriteStreamDecoder::Result::NoStartBit:
            outcome = Outcome::NoCrcStatus;
            break;
        case WriteStreamDecoder::Result::Rejected:
            outcome = Outcome::Rejected;
            break;
        case WriteStreamDecoder::Result::Accepted:
            outcome = card.Program(address, block) ? Outcome::Programmed : Outcome::ProgramFailed;
            break;
    }
    writeStatus_.Add(outcome, neverReady_);
}

}  // namespace murmex::bridge
