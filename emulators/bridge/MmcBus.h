// The bridge's MMC bus: two card slots (either may be empty), GPIO 6 that
// takes the slot-0 card off the bus, and the command set the cards answer:
// identification, addressing, selection, and the block commands whose data
// phase the firmware runs.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "MmcCard.h"
#include "MmcResponseFramer.h"

namespace murmex::bridge {

class MmcBus {
public:
    struct Answer {
        std::vector<std::uint8_t> response;  // empty: no card answered
        MmcCard* card = nullptr;             // the card that took the command
        bool erasing = false;                // an erase started: the card holds busy
    };

    MmcBus(std::unique_ptr<MmcCard> slot0, std::unique_ptr<MmcCard> slot1, bool corruptCrc);

    void ConnectSlot0(bool on) { slot0Connected_ = on; }
    // Bus power off: every card back to idle, addresses cleared.
    void PowerOff();
    Answer Execute(std::uint8_t index, std::uint32_t argument);

private:
    std::vector<MmcCard*> CardsOnBus() const;
    MmcCard* FirstOnBus(MmcCard::State state) const;
    MmcCard* Addressed(std::uint32_t argument, MmcCard::State state) const;
    Answer Identify();
    Answer SendOpCond();
    Answer Select(std::uint32_t argument);
    Answer Register(std::uint32_t argument, bool csd);
    Answer Transfer(std::uint8_t index, std::uint32_t argument);
    Answer R1From(std::uint8_t index, MmcCard& card) const;

    std::array<std::unique_ptr<MmcCard>, 2> slots_;
    bool slot0Connected_ = true;
    MmcResponseFramer framer_;
};

}  // namespace murmex::bridge
