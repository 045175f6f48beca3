// The MMC side of the bridge firmware: checks and runs command packets on the
// bus, queues the answer for the response requests, and runs the data phases
// (read slots, decoded write streams with their status block, erase busy)
// over the bulk streams.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "BulkInStream.h"
#include "BulkOutStream.h"
#include "MmcBus.h"
#include "WriteStatusBlock.h"

namespace murmex::bridge {

class MmcController {
public:
    static constexpr std::size_t kPacketSize = 7;
    static constexpr std::size_t kSlotSize = MmcCard::kBlockSize + 32;
    // Bus reads that still see the card busy after an erase.
    static constexpr std::uint32_t kEraseBusyReads = 3;

    MmcController(MmcBus bus, BulkInStream& in, BulkOutStream& out, bool neverReady, bool corruptCrc,
                  std::uint32_t rejectWrite);

    void Command(std::span<const std::uint8_t, kPacketSize> packet);
    void Response(std::span<std::uint8_t> out);
    std::array<std::uint8_t, WriteStatusBlock::kSize> TakeWriteStatus() { return writeStatus_.Take(); }
    void ConnectSlot0(bool on) { bus_.ConnectSlot0(on); }
    void PowerOff();

private:
    void StartDataPhase(std::uint8_t index, std::uint32_t address, MmcCard& card);
    void FillReadSlot(MmcCard& card, std::uint64_t address, std::span<std::uint8_t> slot) const;
    void ReceiveBlock(MmcCard& card, std::uint64_t address, std::span<const std::uint8_t> stream);

    MmcBus bus_;
    BulkInStream& in_;
    BulkOutStream& out_;
    bool neverReady_;
    bool corruptCrc_;
    std::vector<std::uint8_t> response_;
    std::size_t responseRead_ = 0;
    WriteStatusBlock writeStatus_;
};

}  // namespace murmex::bridge
