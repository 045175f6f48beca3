#include "MmcBus.h"

#include "MmcCommands.h"

namespace murmex::bridge {

namespace {

namespace command = mmc_command;

using State = MmcCard::State;

std::uint16_t RcaOf(std::uint32_t argument) { return static_cast<std::uint16_t>(argument >> 16); }

}  // namespace

MmcBus::MmcBus(std::unique_ptr<MmcCard> slot0, std::unique_ptr<MmcCard> slot1, bool corruptCrc)
    : slots_{std::move(slot0), std::move(slot1)}, framer_(corruptCrc) {}

void MmcBus::PowerOff() {
    for (auto& card : slots_)
        if (card) card->PowerOff();
}

std::vector<MmcCard*> MmcBus::CardsOnBus() const {
    std::vector<MmcCard*> cards;
    if (slots_[0] && slot0Connected_) cards.push_back(slots_[0].get());
    if (slots_[1]) cards.push_back(slots_[1].get());
    return cards;
}

MmcCard* MmcBus::FirstOnBus(State state) const {
    for (MmcCard* card : CardsOnBus())
        if (card->CurrentState() == state) return card;
    return nullptr;
}

MmcCard* MmcBus::Addressed(std::uint32_t argument, State state) const {
    for (MmcCard* card : CardsOnBus())
        if (card->CurrentState() == state && card->Rca() != 0 && card->Rca() == RcaOf(argument)) return card;
    return nullptr;
}

MmcBus::Answer MmcBus::R1From(std::uint8_t index, MmcCard& card) const {
    return {framer_.R1(index, card.TakeStatus()), &card, false};
}

MmcBus::Answer MmcBus::Execute(std::uint8_t index, std::uint32_t argument) {
    switch (index) {
        case command::kGoIdle:
            for (MmcCard* card : CardsOnBus()) card->GoIdle();
            return {};
        case command::kSendOpCond:
            return SendOpCond();
        case command::kAllSendCid:
            return Identify();
        case command::kSetRelativeAddr: {
            MmcCard* card = FirstOnBus(State::Ident);
            if (!card || RcaOf(argument) == 0) return {};
            card->SetRca(RcaOf(argument));
            card->SetState(State::Standby);
            return R1From(index, *card);
        }
        case command::kSelect:
            return Select(argument);
        case command::kSendCsd:
        case command::kSendCid:
            return Register(argument, index == command::kSendCsd);
        case command::kSendStatus: {
            MmcCard* card = Addressed(argument, State::Standby);
            if (!card) card = Addressed(argument, State::Transfer);
            return card ? R1From(index, *card) : Answer{};
        }
        default:
            return Transfer(index, argument);
    }
}

// Cards still powering up hold the OCR's top bit low; on the shared line one
// busy card is enough for the host to see busy.
MmcBus::Answer MmcBus::SendOpCond() {
    bool any = false, allReady = true;
    for (MmcCard* card : CardsOnBus()) {
        if (card->CurrentState() != State::Idle && card->CurrentState() != State::Ready) continue;
        any = true;
        allReady = card->SendOpCond() && allReady;
    }
    if (!any) return {};
    return {framer_.R3(MmcCard::kOcr | (allReady ? MmcCard::kPowerUpDone : 0)), nullptr, false};
}

// The first ready card wins the CID arbitration; the others stay ready for
// the next ALL_SEND_CID.
MmcBus::Answer MmcBus::Identify() {
    MmcCard* card = FirstOnBus(State::Ready);
    if (!card) return {};
    card->SetState(State::Ident);
    return {framer_.R2(card->Cid()), card, false};
}

MmcBus::Answer MmcBus::Select(std::uint32_t argument) {
    MmcCard* chosen = Addressed(argument, State::Standby);
    if (!chosen) chosen = Addressed(argument, State::Transfer);
    for (MmcCard* card : CardsOnBus())
        if (card != chosen && card->CurrentState() == State::Transfer) card->SetState(State::Standby);
    if (!chosen) return {};
    chosen->SetState(State::Transfer);
    return R1From(command::kSelect, *chosen);
}

MmcBus::Answer MmcBus::Register(std::uint32_t argument, bool csd) {
    MmcCard* card = Addressed(argument, State::Standby);
    if (!card) return {};
    return {framer_.R2(csd ? card->Csd() : card->Cid()), card, false};
}

// Everything else is for the selected card: stop, erase, the liveness probe
// and the block commands (the firmware runs their data phase).
MmcBus::Answer MmcBus::Transfer(std::uint8_t index, std::uint32_t argument) {
    MmcCard* card = FirstOnBus(State::Transfer);
    if (!card) return {};
    switch (index) {
        case command::kEraseStart:
            card->TagEraseStart(argument);
            return R1From(index, *card);
        case command::kEraseEnd:
            card->TagEraseEnd(argument);
            return R1From(index, *card);
        case command::kErase: {
            const bool erasing = card->Erase();
            Answer answer = R1From(index, *card);
            answer.erasing = erasing;
            return answer;
        }
        case command::kStop:
        case command::kProbe:
        case command::kReadSingle:
        case command::kReadMultiple:
        case command::kWriteSingle:
        case command::kWriteMultiple:
            return R1From(index, *card);
        default:
            return {};  // a command this card does not know: no response
    }
}

}  // namespace murmex::bridge
