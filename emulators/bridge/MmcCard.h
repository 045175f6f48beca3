// One MultiMediaCard over an image file: its identification state, relative
// address, CID and CSD registers, and block read, program and erase. What the
// card answers on the bus is up to MmcBus.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "CardImage.h"

namespace murmex::bridge {

class MmcCard {
public:
    enum class State : std::uint8_t { Idle = 0, Ready = 1, Ident = 2, Standby = 3, Transfer = 4 };
    using Register = std::array<std::uint8_t, 16>;

    static constexpr std::size_t kBlockSize = 512;
    static constexpr std::uint64_t kBadBlockSize = 16384;
    static constexpr std::uint32_t kOcr = 0x00FFC000;  // 2.7-3.6 V
    static constexpr std::uint32_t kPowerUpDone = 0x80000000;
    // `readyAfter`: the SEND_OP_COND that first reports power-up done (0: none does).
    MmcCard(std::unique_ptr<CardImage> image, std::uint32_t serial, std::vector<std::uint32_t> badBlocks,
            unsigned readyAfter);

    State CurrentState() const { return state_; }
    void SetState(State state) { state_ = state; }
    std::uint16_t Rca() const { return rca_; }
    void SetRca(std::uint16_t rca) { rca_ = rca; }

    void PowerOff();
    void GoIdle();
    // Counts a power-up poll; true (and ready) once power-up is done.
    bool SendOpCond();

    // The 32-bit card status an R1 response carries; reading it clears the
    // error bits it reports.
    std::uint32_t TakeStatus();

    const Register& Cid() const { return cid_; }
    const Register& Csd() const { return csd_; }

    bool Holds(std::uint64_t address) const { return address < image_->Size(); }
    void Read(std::uint64_t address, std::span<std::uint8_t> out) const;
    bool Program(std::uint64_t address, std::span<const std::uint8_t> block);
    void TagEraseStart(std::uint64_t address) { eraseStart_ = address; }
    void TagEraseEnd(std::uint64_t address) { eraseEnd_ = address; }
    // Erases the tagged blocks, skipping bad ones; false when nothing could start.
    bool Erase();

private:
    bool TouchesBadBlock(std::uint64_t address, std::uint64_t length) const;
    void BuildCid(std::uint32_t serial);
    void BuildCsd();

    std::unique_ptr<CardImage> image_;
    std::vector<std::uint32_t> badBlocks_;
    State state_ = State::Idle;
    std::uint16_t rca_ = 0;
    unsigned opConds_ = 0;
    unsigned readyAfter_;
    std::uint32_t errors_ = 0;
    static constexpr std::uint64_t kNoTag = ~std::uint64_t{0};
    std::uint64_t eraseStart_ = kNoTag;
    std::uint64_t eraseEnd_ = kNoTag;
    Register cid_{};
    Register csd_{};
};

}  // namespace murmex::bridge
