// The 8-byte status the bridge reports after the host has streamed one or
// more MMC blocks: it sums up every block since the last report.
#pragma once

#include <array>
#include <cstdint>

namespace murmex::bridge {

class WriteStatusBlock {
public:
    static constexpr std::size_t kSize = 8;
    enum class Outcome { Programmed, NoCrcStatus, Rejected, ProgramFailed };

    // `spoiledReport`: the report (counted from 1) that says busy did not
    // end whatever the blocks did; 0 for none.
    explicit WriteStatusBlock(std::uint32_t spoiledReport = 0) : spoiledReport_(spoiledReport) {}

    void Add(Outcome outcome, bool busyStuck);
    // The report, which starts the next one afresh. With no block since the
    // last report the card gave no CRC status.
    std::array<std::uint8_t, kSize> Take();

private:
    std::uint32_t spoiledReport_;
    std::uint32_t reports_ = 0;
    bool anyBlock_ = false;
    bool noCrcStatus_ = false;
    bool rejected_ = false;
    bool busyStuck_ = false;
};

}  // namespace murmex::bridge
