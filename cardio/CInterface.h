// CInterface: one card bridge as kvcard's callers see it. It identifies and
// selects MMC cards (up to two share the bus, told apart by a card number),
// identifies the SmartMedia chip, and runs block operations through its
// CKernelIO, adding the read recovery and the protected-block guard.
#pragma once

#include <cstdint>

#include "CKernelIO.h"
#include "KvcardVisibility.h"

namespace murmex::cardio {

// An MMC card's identity from its CID register (MMC 1.x layout).
struct tagMMCCID {
    std::uint32_t manufacturerId = 0;
    char productName[8] = {};
    std::uint8_t hwRevision = 0;
    std::uint8_t fwRevision = 0;
    std::uint32_t serialNumber = 0;
};

// The two size fields of an MMC card's CSD register, passed on raw.
struct tagMMCCSD {
    std::uint16_t deviceSize = 0;      // C_SIZE, 12 bits
    std::uint8_t deviceSizeMult = 0;   // C_SIZE_MULT, 3 bits
};

class KVCARD_EXPORT CInterface {
public:
    CInterface();
    virtual ~CInterface();
    CInterface(const CInterface&) = delete;
    CInterface& operator=(const CInterface&) = delete;

    CKernelIO& KernelIO() { return io_; }

    // --- MMC: 1 on success, 0 on failure (reason in the last error) -------
    int MMCPowerOffOn();
    int MMCInitCard();
    int MMCIsDataTransferMode();
    int MMCCheck1Card(std::uint32_t& serial);
    int RealMMCCheckCard(std::uint32_t& serial);
    int MMCCheckCard(std::uint32_t& serial);
    int GetMMCCardInfo(unsigned int& count, std::uint32_t& unused1, std::uint32_t& unused2);
    int ChangeCard(unsigned short number);
    unsigned short GetCardNumber() const { return cardNumber_; }

    // The selected card; zeros and an empty name before any successful check.
    std::uint32_t MMCGetManufactureID() const { return selectedCid_->manufacturerId; }
    std::uint32_t MMCGetSerialNumber() const { return selectedCid_->serialNumber; }
    unsigned char MMCGetHWRevision() const { return selectedCid_->hwRevision; }
    unsigned char MMCGetFWRevision() const { return selectedCid_->fwRevision; }
    unsigned short MMCGetDeviceSize() const { return selectedCsd_->deviceSize; }
    unsigned char MMCGetDeviceSizeMult() const { return selectedCsd_->deviceSizeMult; }
    const char* MMCGetProductName() const { return selectedCid_->productName; }

    int MMCWriteBlock(const unsigned char* data, std::uint32_t address, std::uint32_t length);
    int MMCReadBlock(unsigned char* data, std::uint32_t address, std::uint32_t length);
    int MMCWriteMultiBlock(const unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                           std::uint32_t count);
    // Retries once after reopening the bridge and identifying the card again.
    int MMCReadMultiBlock(unsigned char* data, std::uint32_t address, std::uint32_t blockLength,
                          std::uint32_t count);
    int MMCEraseBlock(std::uint32_t firstAddress, std::uint32_t lastAddress);
    int MMCGetData(unsigned char* data, std::uint32_t length, int checkCrc);
    int MMCSendCommand(unsigned char command, std::uint32_t argument, unsigned char crc);

    // --- SmartMedia ------------------------------------------------------
    int SSFDCCheckCard();
    int SSFDCCheckCardN(unsigned int chipCount);
    int SSFDCReadID(unsigned char& maker, unsigned char& device);
    unsigned char SSFDCGetDeviceCode() const { return deviceCode_; }
    unsigned char SSFDCGetMakerCode() const { return makerCode_; }
    int SSFDCHasUniqueID() const { return hasUniqueId_; }
    void SSFDCGetUniqueID(unsigned char* out) const;
    const char* SSFDCGetProductName() const { return ssfdcProductName_; }
    // Guarded by the identified device code.
    int SSFDCEraseBlock(std::uint32_t address);

protected:
    void ParseCID(const unsigned char* r2Response, tagMMCCID& cid);
    int MMCGetCID(tagMMCCID& cid, std::uint32_t rca);
    int MMCGetCSD(tagMMCCSD& csd, std::uint32_t rca);

private:
    enum class ReadyWait { Ready, NeverReady, Failed };
    ReadyWait WaitForReadyCards();
    int EnumerateCards(unsigned& found);
    int SelectCard(unsigned record);
    int Mismatch();

    unsigned short cardNumber_ = 0;
    std::uint32_t identified_ = 0;
    tagMMCCID cids_[2];
    tagMMCCSD csds_[2];
    const tagMMCCID* selectedCid_ = &cids_[0];
    const tagMMCCSD* selectedCsd_ = &csds_[0];

    std::uint8_t deviceCode_ = 0;
    std::uint8_t makerCode_ = 0;
    std::uint32_t hasUniqueId_ = 0;
    std::uint8_t uniqueId_[16] = {};
    char ssfdcProductName_[20] = {};

    CKernelIO io_;

    std::uint32_t slotSeen_[2] = {0, 0};
    std::uint32_t slotSerial_[2] = {0, 0};
};

}  // namespace murmex::cardio
