// The SmartMedia side of the bridge firmware: runs the chip commands of the
// command packets, answers status and ID, and moves page data in 544-byte
// slots (512 data bytes, 16 spare bytes, 16 padding bytes) over the bulk
// streams.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "BulkInStream.h"
#include "BulkOutStream.h"
#include "SmartMediaChip.h"

namespace murmex::bridge {

class SmartMediaController {
public:
    static constexpr std::size_t kPacketSize = 7;
    static constexpr std::size_t kSlotSize = 544;

    // `chip` null: the slot is empty and the bus floats high.
    SmartMediaController(std::unique_ptr<SmartMediaChip> chip, BulkInStream& in, BulkOutStream& out);

    // `opensTransfer`: the packet came with the request that opens a
    // multi-page read or write.
    void Command(std::span<const std::uint8_t, kPacketSize> packet, bool opensTransfer);
    void Response(std::span<std::uint8_t> out) const;
    bool Ready() const { return !chip_ || chip_->Ready(); }
    // Around one bulk-OUT transfer; false when its pages could not be stored.
    void HoldWrites() {
        if (chip_) chip_->HoldWrites();
    }
    bool ReleaseWrites() { return !chip_ || chip_->ReleaseWrites(); }

private:
    enum class Answer { Nothing, Status, Id };

    void StartRead(std::uint32_t page);
    void StartProgram(std::uint32_t page, std::uint32_t column, bool multiPage);

    std::unique_ptr<SmartMediaChip> chip_;
    BulkInStream& in_;
    BulkOutStream& out_;
    Answer answer_ = Answer::Nothing;
};

}  // namespace murmex::bridge
