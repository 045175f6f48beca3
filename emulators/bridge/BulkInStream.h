// What the bridge hands out on its bulk-IN data endpoint: idle bus bytes,
// a prepared run of bytes, an endless run of fixed-size slots produced on
// demand, or a busy card holding the data line low for a number of reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace murmex::bridge {

class BulkInStream {
public:
    static constexpr std::uint8_t kIdleByte = 0xFF;
    static constexpr std::uint32_t kForever = ~std::uint32_t{0};
    using SlotSource = std::function<void(std::span<std::uint8_t> slot)>;

    void Idle();
    void Bytes(std::vector<std::uint8_t> bytes);  // then idle
    void Slots(std::size_t slotSize, SlotSource source);
    void Busy(std::uint32_t reads);  // all-zero reads (kForever: never released), then idle

    // Fills the whole of `out`.
    void Fill(std::span<std::uint8_t> out);

private:
    enum class Kind { Idle, Bytes, Slots, Busy };
    Kind kind_ = Kind::Idle;
    std::vector<std::uint8_t> pending_;
    std::size_t position_ = 0;
    std::size_t slotSize_ = 0;
    SlotSource source_;
    std::uint32_t busyReads_ = 0;
};

}  // namespace murmex::bridge
