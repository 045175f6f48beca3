// A connected card, as the manager has it after Connect: the card device (in
// card mode on the USB bridge, or in card-image mode on an image file) and
// the recorder with its store mounted.
#pragma once

#include <optional>
#include <string>

#include "CCardDevice.h"
#include "CRecorder.h"
#include "TerminalFrontEnd.h"

namespace murmex::cli {

class CardSession {
public:
    // Connects and mounts the image, or the bridge's card when there is no
    // image; on failure Error() says why in the suite's words.
    CardSession(const std::optional<std::string>& imagePath, TerminalFrontEnd& frontEnd);
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    bool Connected() const { return connected_; }
    const std::string& Error() const { return error_; }

    CCardDevice& Device() { return device_; }
    CRecorder& Recorder() { return recorder_; }

private:
    bool ConnectDevice(const std::optional<std::string>& imagePath, TerminalFrontEnd& frontEnd);

    CCardDevice device_;
    CRecorder recorder_;
    bool connected_ = false;
    std::string error_;
};

}  // namespace murmex::cli
