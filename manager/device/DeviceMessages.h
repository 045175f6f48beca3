// How the card device shows its message boxes: plain boxes with an OK button
// and a caption, no owner window. The manager's windows, the command-line
// tool and the tests each implement it.
#pragma once

#include <string>

namespace murmex {

class DeviceMessages {
public:
    virtual ~DeviceMessages() = default;
    virtual void ShowDeviceMessage(const std::string& caption, const std::string& text) = 0;
};

}  // namespace murmex
