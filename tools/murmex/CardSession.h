// A connected card image: the device in card-image mode and the recorder
// with its store mounted, as the manager has them after Connect.
#pragma once

#include <string>

#include "CCardDevice.h"
#include "CRecorder.h"
#include "TerminalFrontEnd.h"

namespace murmex::cli {

class CardSession {
public:
    // Connects and mounts; on failure Error() says why in the suite's words.
    CardSession(const std::string& imagePath, TerminalFrontEnd& frontEnd);
    bool Connected() const { return connected_; }
    const std::string& Error() const { return error_; }

    CCardDevice& Device() { return device_; }
    CRecorder& Recorder() { return recorder_; }

private:
    CCardDevice device_;
    CRecorder recorder_;
    bool connected_ = false;
    std::string error_;
};

}  // namespace murmex::cli
