#include "CardSession.h"

#include "ProgramDirectory.h"

namespace murmex::cli {

CardSession::CardSession(const std::optional<std::string>& imagePath, TerminalFrontEnd& frontEnd) {
    if (!ConnectDevice(imagePath, frontEnd)) {
        error_ = imagePath ? device_.GetErrorText() + "\n" + kInitializationFailed : kInitializationFailed;
        return;
    }
    if (!recorder_.Store().Mount(device_, frontEnd)) {
        const std::string text = device_.GetErrorText();
        // An image has no card library behind it, so its generic text says
        // less than the recognition message.
        error_ = (text.empty() || (imagePath && text == kUsbSettingFailed)) ? kRecognitionFailed : text;
        return;
    }
    connected_ = true;
}

CardSession::~CardSession() {
    device_.Close();
}

bool CardSession::ConnectDevice(const std::optional<std::string>& imagePath, TerminalFrontEnd& frontEnd) {
    device_.SetCardImageMode(imagePath.has_value());
    if (imagePath) return device_.ConnectImage(*imagePath);
    return device_.Connect(platform::ProgramDirectory(), frontEnd);
}

}  // namespace murmex::cli
