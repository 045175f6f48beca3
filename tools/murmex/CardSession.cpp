#include "CardSession.h"

namespace murmex::cli {

namespace {
constexpr const char* kInitializationFailed = "USB  initialization failed.";                            // 57352
constexpr const char* kRecognitionFailed = "Unknown version\nFlash memory data recognition failed.";  // 57351
}  // namespace

CardSession::CardSession(const std::string& imagePath, TerminalFrontEnd& frontEnd) {
    device_.SetCardImageMode(true);
    if (!device_.ConnectImage(imagePath)) {
        error_ = device_.GetErrorText() + "\n" + kInitializationFailed;
        return;
    }
    if (!recorder_.Store().Mount(device_, frontEnd)) {
        // Without a card library the device has only its generic text;
        // an image's own trouble is more use than that.
        const std::string text = device_.GetErrorText();
        error_ = (text.empty() || text == kUsbSettingFailed) ? kRecognitionFailed : text;
        return;
    }
    connected_ = true;
}

}  // namespace murmex::cli
