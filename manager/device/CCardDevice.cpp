#include "CCardDevice.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace murmex {

namespace {

constexpr std::uint32_t kTransferSlot = CCardDevice::kPageSize + 32;  // 544 bytes per page on the bulk stream
constexpr std::uint32_t kPageRecord = CCardDevice::kPageSize + CCardDevice::kSpareBytes;  // 528
constexpr unsigned kSmartMediaMode = 3;

// The three bus clocks, fastest first, with the prefix of their message.
struct Clock {
    unsigned code;
    const char* prefix;
};
constexpr Clock kClocks[] = {{2, "12Mhz "}, {1, "6Mhz "}, {0, "400Khz "}};

// Writes the whole file next to its final name and then puts it in place:
// truncating a shared object that this process still maps would pull the
// pages from under it.
bool ReplaceFile(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0755);
    if (fd < 0) return false;
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    const bool complete = written == bytes.size();
    if (::close(fd) != 0 || !complete || std::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

void CCardDevice::Show(const std::string& text) {
    if (messages_) messages_->ShowDeviceMessage(kManagerCaption, text);
}

int CCardDevice::Connect(const std::string& programDirectory, DeviceMessages& messages) {
    messages_ = &messages;
    return BindCardLibrary(programDirectory, UsbLibraryCopy::None) ||
           BindCardLibrary(programDirectory, UsbLibraryCopy::VariantA) ||
           BindCardLibrary(programDirectory, UsbLibraryCopy::VariantB);
}

int CCardDevice::WriteUsbLibrary(const std::string& programDirectory, UsbLibraryCopy copy) {
    std::string directory = programDirectory;
    if (!directory.empty() && directory.back() != '/') directory += '/';
    const std::string path = directory + "hvtavrin.dll";
    if (!ReplaceFile(path, EmbeddedUsbLibrary(copy))) return 0;
    writtenLibraryPath_ = path;
    return 1;
}

int CCardDevice::BindCardLibrary(const std::string& programDirectory, UsbLibraryCopy copy) {
    if (copy != UsbLibraryCopy::None) WriteUsbLibrary(programDirectory, copy);
    switch (kvcard_.Load()) {
    case KvcardLibrary::Binding::NotLoaded: Show(kCardLibraryMissing); return 0;
    case KvcardLibrary::Binding::FunctionMissing: Show(kFunctionMissing); return 0;
    case KvcardLibrary::Binding::Bound: break;
    }
    if (!kvcard_.IOOpenPort(0, 0)) {
        kvcard_.Free();
        if (copy != UsbLibraryCopy::None || programDirectory.empty()) Show(kUsbDriverMissing);
        return 0;
    }
    if (kvcard_.DEVICESelectMode(kSmartMediaMode))
        pagesPerBlock_ = 32;
    else
        Show(std::string("32M ") + kMemoryDeviceFailed);
    for (const Clock& clock : kClocks) {
        if (kvcard_.DEVICESetClock(clock.code)) break;
        Show(std::string(clock.prefix) + kUsbSettingFailed);
    }
    return 1;
}

int CCardDevice::IsDeviceAlive() {
    unsigned char level = 0;
    return kvcard_.Loaded() && kvcard_.DEVICEReadGPIO && kvcard_.DEVICEReadGPIO(0, &level) ? 1 : 0;
}

int CCardDevice::Close() {
    if (imageMode_) return CloseImage();
    if (kvcard_.IOClose) kvcard_.IOClose();
    kvcard_.Free();
    return 1;
}

int CCardDevice::SetCardSize(int megabytes) {
    switch (megabytes) {
    case 4:
    case 8: pagesPerBlock_ = 16; return 1;
    case 16:
    case 32: pagesPerBlock_ = 32; return 1;
    default: return 0;
    }
}

std::string CCardDevice::GetErrorText() {
    // An image file's own trouble is worth more than the generic text.
    if (imageMode_ && !imageError_.empty()) return imageError_;
    if (!kvcard_.IOClose) return kUsbSettingFailed;
    return CardErrorText(kvcard_.IOGetLastError());
}

int CCardDevice::ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) {
    return imageMode_ ? ImageReadBlock(address, buffer) : CardReadBlock(address, buffer);
}

int CCardDevice::WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) {
    return imageMode_ ? ImageWriteBlock(address, data) : CardWriteBlock(address, data);
}

int CCardDevice::EraseBlock(std::uint32_t address) {
    return imageMode_ ? ImageEraseBlock(address) : CardEraseBlock(address);
}

// The card access library packs a block as consecutive 528-byte page records
// (512 data bytes, 16 spare bytes); the spare bytes are written as 0xFF and
// not looked at on reading.
int CCardDevice::CardReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) {
    if (!kvcard_.IOClose || buffer.size() < GetBlockBytes()) return 0;
    transfer_.resize(TransferBytes());
    if (!kvcard_.SSFDCReadMultiBlock(transfer_.data(), address, kTransferSlot, pagesPerBlock_)) return 0;
    for (std::uint32_t page = 0; page < pagesPerBlock_; ++page)
        std::copy_n(transfer_.begin() + page * kPageRecord, kPageSize, buffer.begin() + page * kPageSize);
    return 1;
}

int CCardDevice::CardWriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (!kvcard_.IOClose || data.size() < GetBlockBytes()) return 0;
    transfer_.assign(TransferBytes(), 0xFF);
    for (std::uint32_t page = 0; page < pagesPerBlock_; ++page)
        std::copy_n(data.begin() + page * kPageSize, kPageSize, transfer_.begin() + page * kPageRecord);
    return kvcard_.SSFDCWriteMultiBlock(transfer_.data(), address, kTransferSlot, pagesPerBlock_) ? 1 : 0;
}

int CCardDevice::CardEraseBlock(std::uint32_t address) {
    if (!kvcard_.IOClose) return 0;
    return kvcard_.SSFDCEraseBlock(address) ? 1 : 0;
}

}  // namespace murmex
