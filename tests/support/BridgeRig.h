// A bridge emulator plugged into the process's device manager for the length
// of a test, over a card image file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "BridgeEmulator.h"
#include "CardImages.h"
#include "DeviceManager.h"

namespace murmex::test {

class BridgeRig {
public:
    // `options` follow the image path in the emulator's option string.
    explicit BridgeRig(const std::string& imagePath, const std::string& options = "") {
        bridge_ = std::make_shared<bridge::BridgeEmulator>(
            bridge::ParseBridgeOptions(options.empty() ? imagePath : imagePath + "," + options));
        bridge_->EnableLog(true);
        id_ = usb::DeviceManager::Instance().PlugEmulated(bridge_);
    }
    ~BridgeRig() { usb::DeviceManager::Instance().Unplug(id_); }
    BridgeRig(const BridgeRig&) = delete;
    BridgeRig& operator=(const BridgeRig&) = delete;

    bridge::BridgeEmulator& Bridge() { return *bridge_; }
    usb::DeviceId Id() const { return id_; }

private:
    std::shared_ptr<bridge::BridgeEmulator> bridge_;
    usb::DeviceId id_ = 0;
};

}  // namespace murmex::test
