// The bridge's firmware: takes every transfer from the wire, keeps the
// journal, and dispatches the vendor requests and bulk endpoints to the MMC
// or SmartMedia side according to the bus mode.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "BridgeEmulator.h"
#include "BulkInStream.h"
#include "BulkOutStream.h"
#include "MmcController.h"
#include "SmartMediaController.h"
#include "TransferJournal.h"

namespace murmex::bridge {

class BridgeEmulator::Firmware {
public:
    explicit Firmware(const BridgeOptions& options);

    usb::TransferStatus SetConfiguration(std::uint8_t value);
    usb::TransferResult Control(const usb::ControlSetup& setup, std::span<std::uint8_t> data);
    usb::TransferResult Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data);
    TransferJournal& Journal() { return journal_; }
    const TransferJournal& Journal() const { return journal_; }

private:
    enum class BusMode : std::uint8_t { Idle = 0, Mmc = 2, SmartMedia = 3, SmartMedia64 = 4 };
    static constexpr std::size_t kGpioPins = 16;
    static constexpr unsigned kMmcGpio = 6;

    usb::TransferResult VendorIn(const usb::ControlSetup& setup, std::span<std::uint8_t> data);
    usb::TransferResult VendorOut(const usb::ControlSetup& setup, std::span<const std::uint8_t> data);
    void CommandPacket(std::span<const std::uint8_t, 7> packet, bool opensTransfer);
    bool SelectMode(std::uint16_t mode);
    bool SetClock(std::uint16_t code) const;
    bool WriteGpio(std::uint16_t value);
    bool InSmartMediaMode() const { return mode_ == BusMode::SmartMedia || mode_ == BusMode::SmartMedia64; }
    std::span<std::uint8_t> Delivered(std::span<std::uint8_t> asked) const;

    BridgeOptions options_;
    TransferJournal journal_;
    BulkInStream in_;
    BulkOutStream out_;
    MmcController mmc_;
    SmartMediaController smartMedia_;
    BusMode mode_ = BusMode::Idle;
    std::array<std::uint8_t, kGpioPins> gpio_{};
};

}  // namespace murmex::bridge
