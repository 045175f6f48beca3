#include "WriteStatusBlock.h"

namespace murmex::bridge {

namespace {
constexpr std::uint8_t kNoCrcStatus = 0x01;
constexpr std::uint8_t kDataRejected = 0x50;  // the card's CRC status token "101"
constexpr std::uint8_t kBusyNotEnded = 0x01;
}  // namespace

void WriteStatusBlock::Add(Outcome outcome, bool busyStuck) {
    anyBlock_ = true;
    noCrcStatus_ |= outcome == Outcome::NoCrcStatus;
    rejected_ |= outcome == Outcome::Rejected || outcome == Outcome::ProgramFailed;
    busyStuck_ |= busyStuck && outcome != Outcome::NoCrcStatus;
}

std::array<std::uint8_t, WriteStatusBlock::kSize> WriteStatusBlock::Take() {
    std::array<std::uint8_t, kSize> bytes{};
    if (!anyBlock_ || noCrcStatus_) bytes[0] = kNoCrcStatus;
    if (rejected_) bytes[1] |= kDataRejected;
    ++reports_;
    if (busyStuck_ || reports_ == spoiledReport_) bytes[1] |= kBusyNotEnded;
    anyBlock_ = noCrcStatus_ = rejected_ = busyStuck_ = false;
    return bytes;
}

}  // namespace murmex::bridge
