// The USB card bridge as a device on the emulated wire: its descriptors, the
// vendor requests its firmware runs, and its bulk streams, with an MMC card
// model (two slots) and a SmartMedia chip model behind them, both backed by
// card image files. Faults can be injected from the option string so that the
// layers above can be shown failing cleanly.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "UsbWire.h"

namespace murmex::bridge {

// "card.tmf[,option,...]", as MURMEX_BRIDGE_EMULATOR carries it.
struct BridgeOptions {
    std::string imagePath;                // the card's data pages (SmartMedia) or bytes (MMC)
    bool mmc = false;                     // "mmc": the image is an MMC card in slot 0
    std::string secondMmcPath;            // "mmc1=PATH": a second MMC card, in slot 1
    std::vector<std::uint32_t> badBlocks; // "bad=N": erase block N fails program and erase
    bool neverReady = false;              // "busy": the chip or card never leaves busy
    bool corruptCrc = false;              // "crc": every CRC the card sends is wrong
    bool corruptDataCrc = false;          // "datacrc": only the CRC16 of MMC read data is wrong
    bool shortReads = false;              // "short": bulk-IN transfers end one byte short
    std::vector<unsigned> refusedClocks;  // "refuse-clock=2" (repeatable): request 6 with that code stalls
    bool noCard = false;                  // "nocard": the slots are empty
    std::uint64_t unplugAfter = 0;        // "unplug=N": leaves the bus after N transfers (0: never)
    unsigned readyAfter = 3;              // "ready-after=N": an MMC card reports power-up done
                                          // on its N-th SEND_OP_COND (0: never)
    std::uint32_t rejectWrite = 0;        // "reject-write=N": the N-th MMC write status block says
                                          // busy did not end (00 01) (0: none)
};

// Throws std::invalid_argument naming the option it does not understand.
BridgeOptions ParseBridgeOptions(std::string_view text);

struct TransferRecord {
    enum class Kind { ControlIn, ControlOut, BulkIn, BulkOut };
    Kind kind;
    std::uint8_t requestOrEndpoint;  // vendor request code, or endpoint address
    std::uint16_t value;             // control transfers only
    std::uint32_t length;            // bytes asked for (IN) or sent (OUT)

    friend bool operator==(const TransferRecord&, const TransferRecord&) = default;
};

class BridgeEmulator : public usb::UsbFunction {
public:
    static constexpr std::uint16_t kVendorId = 0x1209;
    static constexpr std::uint16_t kProductId = 0x0001;

    // Throws std::runtime_error when an image cannot be opened for update.
    explicit BridgeEmulator(BridgeOptions options);
    ~BridgeEmulator() override;

    std::vector<std::uint8_t> DeviceDescriptor() const override;
    std::vector<std::uint8_t> ConfigurationDescriptor(std::uint8_t index) const override;
    usb::TransferStatus SetConfiguration(std::uint8_t value) override;
    usb::TransferResult Control(const usb::ControlSetup& setup, std::span<std::uint8_t> data) override;
    usb::TransferResult Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data) override;
    bool Attached() const override;

    // Every transfer is counted; the log keeps them only while enabled.
    std::uint64_t TransferCount() const;
    void EnableLog(bool on);
    const std::vector<TransferRecord>& Log() const;
    void ClearLog();

private:
    class Firmware;
    std::unique_ptr<Firmware> firmware_;
};

}  // namespace murmex::bridge
