#include "Firmware.h"

#include <algorithm>

#include "CardImage.h"
#include "Descriptors.h"

namespace murmex::bridge {

namespace {

namespace request {
constexpr std::uint8_t kCommand = 0, kResponse = 1, kArmBulkRead = 2, kReadGpio = 3, kWriteGpio = 4,
                       kSmartMediaReady = 5, kSetClock = 6, kCommandRead = 7, kCommandWrite = 8, kSelectMode = 10,
                       kStopResponse = 11;
}  // namespace request

constexpr std::size_t kPacketSize = 7;
constexpr std::size_t kGpioReplySize = 8;
constexpr unsigned kClockCodes = 3;  // 400 kHz, 6 MHz, 12 MHz
constexpr std::uint32_t kSlot0Serial = 0x00A001, kSlot1Serial = 0x00B002;

using usb::TransferResult;
using usb::TransferStatus;

constexpr TransferResult Stall() { return {TransferStatus::Stall, 0}; }
constexpr TransferResult Done(std::size_t bytes) { return {TransferStatus::Completed, bytes}; }

std::unique_ptr<MmcCard> MakeCard(const std::string& path, std::uint32_t serial, const BridgeOptions& options) {
    return std::make_unique<MmcCard>(std::make_unique<CardImage>(path), serial, options.badBlocks,
                                     options.readyAfter);
}

MmcBus MakeMmcBus(const BridgeOptions& options) {
    const bool slot0 = !options.noCard && options.mmc;
    const bool slot1 = !options.noCard && !options.secondMmcPath.empty();
    return MmcBus(slot0 ? MakeCard(options.imagePath, kSlot0Serial, options) : nullptr,
                  slot1 ? MakeCard(options.secondMmcPath, kSlot1Serial, options) : nullptr, options.corruptCrc);
}

std::unique_ptr<SmartMediaChip> MakeChip(const BridgeOptions& options) {
    if (options.noCard || options.mmc) return nullptr;
    return std::make_unique<SmartMediaChip>(std::make_unique<CardImage>(options.imagePath), options.badBlocks,
                                            options.neverReady);
}

}  // namespace

BridgeEmulator::Firmware::Firmware(const BridgeOptions& options)
    : options_(options),
      journal_(options.unplugAfter),
      mmc_(MakeMmcBus(options), in_, out_, options.neverReady, options.corruptCrc || options.corruptDataCrc,
           options.rejectWrite),
      smartMedia_(MakeChip(options), in_, out_) {
    gpio_[kMmcGpio] = 1;  // both slots on the bus until the host says otherwise
}

TransferStatus BridgeEmulator::Firmware::SetConfiguration(std::uint8_t value) {
    if (!journal_.Attached()) return TransferStatus::NoDevice;
    return value == Descriptors::kConfigurationValue ? TransferStatus::Completed : TransferStatus::Stall;
}

TransferResult BridgeEmulator::Firmware::Control(const usb::ControlSetup& setup, std::span<std::uint8_t> data) {
    const auto kind = setup.IsIn() ? TransferRecord::Kind::ControlIn : TransferRecord::Kind::ControlOut;
    if (!journal_.Record({kind, setup.request, setup.value, setup.length})) return {TransferStatus::NoDevice, 0};
    constexpr std::uint8_t kTypeAndRecipient = 0x7F;
    if ((setup.requestType & kTypeAndRecipient) != (usb::kTypeVendor | usb::kRecipientDevice)) return Stall();
    const auto stage = data.first(std::min<std::size_t>(setup.length, data.size()));
    return setup.IsIn() ? VendorIn(setup, stage) : VendorOut(setup, stage);
}

TransferResult BridgeEmulator::Firmware::VendorIn(const usb::ControlSetup& setup, std::span<std::uint8_t> data) {
    switch (setup.request) {
        case request::kResponse:
        case request::kStopResponse:
            if (mode_ == BusMode::Mmc)
                mmc_.Response(data);
            else if (InSmartMediaMode() && setup.request == request::kResponse)
                smartMedia_.Response(data);
            else
                std::fill(data.begin(), data.end(), std::uint8_t{0xFF});
            return Done(data.size());
        case request::kArmBulkRead:
            return data.empty() ? Done(0) : Stall();
        case request::kReadGpio:
            if (setup.value >= kGpioPins || data.size() < kGpioReplySize) return Stall();
            std::fill(data.begin(), data.end(), std::uint8_t{0});
            data[kGpioReplySize - 1] = gpio_[setup.value];
            return Done(data.size());
        case request::kSmartMediaReady:
            if (data.empty()) return Stall();
            std::fill(data.begin(), data.end(), std::uint8_t{0});
            data[0] = InSmartMediaMode() && smartMedia_.Ready() ? 1 : 0;
            return Done(data.size());
        default:
            return Stall();
    }
}

TransferResult BridgeEmulator::Firmware::VendorOut(const usb::ControlSetup& setup, std::span<const std::uint8_t> data) {
    switch (setup.request) {
        case request::kCommand:
        case request::kCommandRead:
        case request::kCommandWrite:
            if (data.size() != kPacketSize) return Stall();
            CommandPacket(data.first<kPacketSize>(), setup.request != request::kCommand);
            return Done(data.size());
        case request::kWriteGpio:
            return WriteGpio(setup.value) ? Done(data.size()) : Stall();
        case request::kSetClock:
            return SetClock(setup.value) ? Done(data.size()) : Stall();
        case request::kSelectMode:
            return SelectMode(setup.value) ? Done(data.size()) : Stall();
        default:
            return Stall();
    }
}

void BridgeEmulator::Firmware::CommandPacket(std::span<const std::uint8_t, 7> packet, bool opensTransfer) {
    if (mode_ == BusMode::Mmc) mmc_.Command(packet);
    if (InSmartMediaMode()) smartMedia_.Command(packet, opensTransfer);
}

bool BridgeEmulator::Firmware::SelectMode(std::uint16_t mode) {
    constexpr std::uint16_t kModes[] = {static_cast<std::uint16_t>(BusMode::Idle), static_cast<std::uint16_t>(BusMode::Mmc),
                                        static_cast<std::uint16_t>(BusMode::SmartMedia),
                                        static_cast<std::uint16_t>(BusMode::SmartMedia64)};
    if (std::find(std::begin(kModes), std::end(kModes), mode) == std::end(kModes)) return false;
    mode_ = static_cast<BusMode>(mode);
    if (mode_ == BusMode::Idle) mmc_.PowerOff();
    in_.Idle();
    out_.Discard();
    return true;
}

bool BridgeEmulator::Firmware::SetClock(std::uint16_t code) const {
    const auto& refused = options_.refusedClocks;
    return code < kClockCodes && std::find(refused.begin(), refused.end(), code) == refused.end();
}

bool BridgeEmulator::Firmware::WriteGpio(std::uint16_t value) {
    const unsigned pin = value & 0xFF;
    if (pin >= kGpioPins) return false;
    gpio_[pin] = (value >> 8) != 0 ? 1 : 0;
    if (pin == kMmcGpio) mmc_.ConnectSlot0(gpio_[pin] != 0);
    return true;
}

std::span<std::uint8_t> BridgeEmulator::Firmware::Delivered(std::span<std::uint8_t> asked) const {
    return options_.shortReads && !asked.empty() ? asked.first(asked.size() - 1) : asked;
}

TransferResult BridgeEmulator::Firmware::Bulk(std::uint8_t endpoint, std::span<std::uint8_t> data) {
    const bool in = (endpoint & usb::kDirectionIn) != 0;
    const auto kind = in ? TransferRecord::Kind::BulkIn : TransferRecord::Kind::BulkOut;
    const auto length = static_cast<std::uint32_t>(std::min<std::size_t>(data.size(), 0xFFFFFFFF));
    if (!journal_.Record({kind, endpoint, 0, length})) return {TransferStatus::NoDevice, 0};

    switch (endpoint) {
        case Descriptors::kBulkOut: {
            smartMedia_.HoldWrites();
            out_.Consume(data);
            if (!smartMedia_.ReleaseWrites()) return {TransferStatus::Error, 0};
            return Done(data.size());
        }
        case Descriptors::kBulkIn: {
            const auto delivered = Delivered(data);
            in_.Fill(delivered);
            return Done(delivered.size());
        }
        case Descriptors::kStatusIn: {
            const auto status = mmc_.TakeWriteStatus();
            const auto delivered = Delivered(data.first(std::min(data.size(), status.size())));
            std::copy_n(status.begin(), delivered.size(), delivered.begin());
            return Done(delivered.size());
        }
        default:
            return Stall();
    }
}

}  // namespace murmex::bridge
