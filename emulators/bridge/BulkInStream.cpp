#include "BulkInStream.h"

#include <algorithm>

namespace murmex::bridge {

void BulkInStream::Idle() {
    kind_ = Kind::Idle;
    pending_.clear();
    position_ = 0;
    source_ = nullptr;
}

void BulkInStream::Bytes(std::vector<std::uint8_t> bytes) {
    Idle();
    kind_ = Kind::Bytes;
    pending_ = std::move(bytes);
}

void BulkInStream::Slots(std::size_t slotSize, SlotSource source) {
    Idle();
    kind_ = Kind::Slots;
    slotSize_ = slotSize;
    source_ = std::move(source);
}

void BulkInStream::Busy(std::uint32_t reads) {
    Idle();
    kind_ = Kind::Busy;
    busyReads_ = reads;
}

void BulkInStream::Fill(std::span<std::uint8_t> out) {
    if (kind_ == Kind::Busy) {
        const bool busy = busyReads_ > 0;
        if (busy && busyReads_ != kForever) --busyReads_;
        std::fill(out.begin(), out.end(), busy ? std::uint8_t{0} : kIdleByte);
        return;
    }
    std::size_t done = 0;
    while (done < out.size()) {
        if (position_ == pending_.size()) {
            if (kind_ != Kind::Slots || slotSize_ == 0) break;
            pending_.assign(slotSize_, kIdleByte);
            position_ = 0;
            source_(pending_);
        }
        const std::size_t n = std::min(out.size() - done, pending_.size() - position_);
        std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(position_), n, out.begin() + static_cast<std::ptrdiff_t>(done));
        position_ += n;
        done += n;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(done), out.end(), kIdleByte);
}

}  // namespace murmex::bridge
