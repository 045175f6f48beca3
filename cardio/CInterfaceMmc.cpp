// MMC identification and selection: power cycle, the ready loop, the slot
// probe that tells the two cards apart, enumeration, CID/CSD parsing, and the
// block calls with their read recovery.
#include <algorithm>
#include <array>
#include <cstring>
#include <strings.h>

#include "BridgeProtocol.h"
#include "CInterface.h"

namespace murmex::cardio {

namespace {

constexpr unsigned kReadyTries = 40;
constexpr std::uint8_t kOcrReady = 0x80;
constexpr std::uint8_t kOcrBusy = 0x00;
constexpr unsigned char kPowerPin = 5;
constexpr unsigned char kSlotPin = 6;  // low: only the card of card number 1 stays on the bus
constexpr unsigned char kResetPin = 7;
constexpr std::size_t kR1Bytes = 6;
constexpr std::size_t kR2Bytes = 17;
constexpr unsigned kMaxCards = 2;

std::uint32_t Rca(unsigned record) { return std::uint32_t{record + 1} << 16; }

std::uint32_t Be24(const unsigned char* p) {
    return (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
}

}  // namespace

int CInterface::MMCPowerOffOn() {
    return io_.SelectMode(busmode::kIdle) && io_.WriteGPIO(kPowerPin, 1) && io_.WriteGPIO(kSlotPin, 0) &&
                   io_.WriteGPIO(kResetPin, 1) && io_.WriteGPIO(kResetPin, 1) && io_.WriteGPIO(kResetPin, 0) &&
                   io_.SelectMode(busmode::kMmc) && io_.WriteGPIO(kPowerPin, 1) && io_.WriteGPIO(kSlotPin, 1) &&
                   io_.SetClock(clock::k400kHz)
               ? 1
               : 0;
}

CInterface::ReadyWait CInterface::WaitForReadyCards() {
    for (unsigned attempt = 0; attempt < kReadyTries; ++attempt) {
        if (!io_.MMCSendCommand(mmc::kSendOpCond, mmc::kOpCondArgument, 0, request::kCommand))
            return ReadyWait::Failed;
        std::array<unsigned char, kR1Bytes> ocr{};
        if (!io_.MMCGetR3Response(ocr.data())) {
            if (!io_.MMCSendCommand(mmc::kGoIdle, 0, 0, request::kCommand)) return ReadyWait::Failed;
            continue;
        }
        if (ocr[1] == kOcrReady) return ReadyWait::Ready;
        if (ocr[1] != kOcrBusy) {
            io_.SetError(kverr::kNoResponse);
            return ReadyWait::Failed;
        }
    }
    return ReadyWait::NeverReady;
}

int CInterface::MMCInitCard() {
    if (!io_.SelectMode(busmode::kMmc) || !io_.SetClock(clock::k400kHz) || !io_.MMCSendDummyClocks() ||
        !io_.MMCSendCommand(mmc::kGoIdle, 0, 0, request::kCommand))
        return 0;
    switch (WaitForReadyCards()) {
    case ReadyWait::Ready: return 1;
    case ReadyWait::NeverReady: io_.SetError(kverr::kNoResponse); return 0;
    case ReadyWait::Failed: break;
    }
    return 0;
}

int CInterface::MMCIsDataTransferMode() {
    std::array<unsigned char, kR1Bytes> r1{};
    return io_.MMCSendDummyClocks() &&
                   io_.MMCSendCommandResponse(mmc::kLivenessProbe, 0, 0, 0, r1.data(), request::kCommand)
               ? 1
               : 0;
}

int CInterface::MMCCheck1Card(std::uint32_t& serial) {
    serial = 0;
    if (!MMCPowerOffOn() || !io_.MMCSendDummyClocks() || !io_.WriteGPIO(kSlotPin, 0) ||
        !io_.MMCSendCommand(mmc::kGoIdle, 0, 0, request::kCommand))
        return 0;
    switch (WaitForReadyCards()) {
    case ReadyWait::Failed: return 0;
    case ReadyWait::NeverReady: return MMCPowerOffOn();  // slot 1 is empty
    case ReadyWait::Ready: break;
    }
    std::array<unsigned char, kR2Bytes> cid{};
    if (!io_.MMCSendCommandResponse(mmc::kAllSendCid, 0, 0, 1, cid.data(), request::kCommand)) return 0;
    serial = Be24(&cid[12]);
    return MMCPowerOffOn() && io_.WriteGPIO(kSlotPin, 1) ? 1 : 0;
}

int CInterface::EnumerateCards(unsigned& found) {
    found = 0;
    for (unsigned record = 0; record < kMaxCards; ++record) {
        if (!io_.MMCSendCommand(mmc::kAllSendCid, 0, 0, request::kCommand)) return 0;
        std::array<unsigned char, kR2Bytes> cid{};
        if (!io_.MMCGetR2Response(cid.data())) break;  // no more cards
        ParseCID(cid.data(), cids_[record]);
        ++found;
        std::array<unsigned char, kR1Bytes> r1{};
        if (!io_.MMCSendCommandResponse(mmc::kSetRelativeAddr, Rca(record), 0, 0, r1.data(), request::kCommand))
            return 0;
        if (!MMCGetCSD(csds_[record], Rca(record))) {
            identified_ = 0;
            return 0;
        }
    }
    return 1;
}

int CInterface::SelectCard(unsigned record) {
    selectedCid_ = &cids_[record];
    selectedCsd_ = &csds_[record];
    std::array<unsigned char, kR1Bytes> r1{};
    return io_.MMCSendCommandResponse(mmc::kSelectCard, Rca(record), 0, 0, r1.data(), request::kCommand) &&
                   io_.SetClock(clock::k12MHz)
               ? 1
               : 0;
}

int CInterface::Mismatch() {
    identified_ = 0;
    return 0;
}

int CInterface::RealMMCCheckCard(std::uint32_t& serial) {
    if (identified_) {
        if (MMCIsDataTransferMode()) {
            serial = selectedCid_->serialNumber;
            return 1;
        }
        return Mismatch();
    }
    std::uint32_t probeSerial = 0;
    if (!MMCCheck1Card(probeSerial)) return 0;
    if (!MMCInitCard()) {
        slotSeen_[0] = slotSeen_[1] = 0;
        return 0;
    }
    unsigned found = 0;
    if (!EnumerateCards(found)) return 0;
    // Ready cards that then give no CID leave nothing to select.
    if (found == 0) {
        io_.SetError(kverr::kNoResponse);
        return Mismatch();
    }
    unsigned record = 0;
    if (probeSerial == 0 || found == 1) {
        // Without a card in slot 1 the one card is card 0; a card in slot 1
        // alone is card 1.
        const unsigned short wanted = probeSerial == 0 ? 0 : 1;
        if (cardNumber_ != wanted) return Mismatch();
    } else {
        const bool firstIsWanted = (cardNumber_ == 0 && cids_[1].serialNumber == probeSerial) ||
                                   (cardNumber_ == 1 && cids_[0].serialNumber == probeSerial);
        record = firstIsWanted ? 0 : 1;
    }
    if (!SelectCard(record)) return 0;
    serial = selectedCid_->serialNumber;
    identified_ = 1;
    return 1;
}

int CInterface::MMCCheckCard(std::uint32_t& serial) { return RealMMCCheckCard(serial); }

int CInterface::GetMMCCardInfo(unsigned int& count, std::uint32_t&, std::uint32_t&) {
    count = 0;
    unsigned found = 0;
    if (!MMCInitCard() || !EnumerateCards(found) || found == 0) {
        slotSeen_[0] = slotSeen_[1] = 0;
        return 0;
    }
    count = found;
    unsigned record = 0;
    if (found == 1) {
        const std::uint32_t serial = cids_[0].serialNumber;
        unsigned short slot = 0;
        if (slotSeen_[0] && slotSerial_[0] == serial) {
            slotSeen_[1] = 0;
        } else if (slotSeen_[1] && slotSerial_[1] == serial) {
            slot = 1;
            slotSeen_[0] = 0;
        } else {
            slotSeen_[0] = 1;
            slotSerial_[0] = serial;
            slotSeen_[1] = 0;
        }
        if (cardNumber_ != slot) {
            io_.SetError(kverr::kNoResponse);
            return Mismatch();
        }
    } else {
        // A card number keeps naming the same physical card when the bus
        // enumerates the two in the other order.
        const bool swapped = slotSeen_[0] && slotSeen_[1] && cids_[0].serialNumber == slotSerial_[1] &&
                             cids_[1].serialNumber == slotSerial_[0];
        const bool known = slotSeen_[0] && slotSeen_[1] && cids_[0].serialNumber == slotSerial_[0] &&
                           cids_[1].serialNumber == slotSerial_[1];
        if (!swapped && !known) {
            for (unsigned i = 0; i < kMaxCards; ++i) {
                slotSeen_[i] = 1;
                slotSerial_[i] = cids_[i].serialNumber;
            }
        }
        record = swapped ? 1u - cardNumber_ : cardNumber_;
    }
    return SelectCard(record);
}

int CInterface::ChangeCard(unsigned short number) {
    identified_ = 0;
    cardNumber_ = number < kMaxCards ? number : 0;
    return 1;
}

void CInterface::ParseCID(const unsigned char* r2, tagMMCCID& cid) {
    cid.manufacturerId = Be24(&r2[1]);
    std::memset(cid.productName, 0, sizeof cid.productName);
    for (std::size_t i = 0; i < 7 && r2[4 + i] != 0; ++i) cid.productName[i] = static_cast<char>(r2[4 + i]);
    // Two card makes report names that the recorders know by other names.
    if (strcasecmp(cid.productName, "32M   ") == 0)
        std::strcpy(cid.productName, "H-32M");
    else if (strcasecmp(cid.productName, ".FLASH1") == 0)
        std::strcpy(cid.productName, "H-16M");
    cid.hwRevision = static_cast<std::uint8_t>(r2[11] >> 4);
    cid.fwRevision = static_cast<std::uint8_t>(r2[11] & 0x0F);
    cid.serialNumber = Be24(&r2[12]);
}

int CInterface::MMCGetCID(tagMMCCID& cid, std::uint32_t rca) {
    std::array<unsigned char, kR2Bytes> r2{};
    if (!io_.MMCSendCommandResponse(mmc::kSendCid, rca, 0, 1, r2.data(), request::kCommand)) return 0;
    ParseCID(r2.data(), cid);
    return 1;
}

int CInterface::MMCGetCSD(tagMMCCSD& csd, std::uint32_t rca) {
    std::array<unsigned char, kR2Bytes> r2{};
    if (!io_.MMCSendCommandResponse(mmc::kSendCsd, rca, 0, 1, r2.data(), request::kCommand)) return 0;
    csd.deviceSize = static_cast<std::uint16_t>(((r2[7] << 10) | (r2[8] << 2) | (r2[9] >> 6)) & 0xFFF);
    csd.deviceSizeMult = static_cast<std::uint8_t>(((r2[10] << 1) | (r2[11] >> 7)) & 7);
    return 1;
}

int CInterface::MMCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length) {
    return io_.MMCWriteBlock(data, address, length);
}

int CInterface::MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t length) {
    return io_.MMCReadBlock(data, address, length);
}

int CInterface::MMCWriteMultiBlock(const unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                   std::uint32_t count) {
    return io_.MMCWriteMultiBlock(data, address, blockLength, count) ? 1 : 0;
}

int CInterface::MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                                  std::uint32_t count) {
    if (blockLength != kMmcBlockBytes) return 0;  // refused before anything is sent; nothing to recover
    if (io_.MMCReadMultiBlock(data, address, blockLength, count)) return 1;
    // A bridge that lost its way mid-read usually recovers from a reopen.
    io_.ClosePort();
    io_.OpenPort(0, 0);
    identified_ = 0;
    std::uint32_t serial = 0;
    if (!MMCCheckCard(serial)) return 0;
    return io_.MMCReadMultiBlock(data, address, blockLength, count);
}

int CInterface::MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress) {
    return io_.MMCEraseBlock(firstAddress, lastAddress);
}

int CInterface::MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc) {
    return io_.MMCGetData(data, length, checkCrc);
}

int CInterface::MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char crc) {
    return io_.MMCSendCommand(command, argument, crc, request::kCommand);
}

}  // namespace murmex::cardio
