// The bridge emulator against a hostile host: any sequence of vendor
// requests and bulk transfers, in any bus mode and order, on a small card.
//
// Input: byte 0 picks the card (even: SmartMedia, odd: MMC); then records of
// kind (0 control OUT, 1 control IN, 2 bulk OUT, 3 bulk IN on 0x82, 4 bulk IN
// on 0x83), request, value (2 bytes), length (2 bytes), and for OUT
// transfers the data that follows.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "BridgeEmulator.h"
#include "FuzzSupport.h"

namespace {

constexpr std::size_t kCardBytes = 64 * 1024;
constexpr std::size_t kRecordBytes = 6;

std::vector<std::uint8_t> Record(std::uint8_t kind, std::uint8_t request, std::uint16_t value, std::uint16_t length) {
    return {kind, request, static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8)};
}

void WriteSeeds(const std::string& folder) {
    using murmex::fuzz::WriteSeed;
    std::vector<std::uint8_t> smartMedia = {0};
    for (auto record : {Record(0, 10, 3, 0), Record(0, 0, 0, 7)}) smartMedia.insert(smartMedia.end(), record.begin(), record.end());
    smartMedia.insert(smartMedia.end(), {0, 0, 0x90, 0, 0, 0, 0});
    for (auto record : {Record(1, 1, 0, 3), Record(0, 7, 0, 7)}) smartMedia.insert(smartMedia.end(), record.begin(), record.end());
    smartMedia.insert(smartMedia.end(), {0, 0, 0x00, 0, 0, 0, 0});
    for (auto record : {Record(3, 0, 0, 544)}) smartMedia.insert(smartMedia.end(), record.begin(), record.end());
    WriteSeed(folder, "smartmedia-read", smartMedia);
    std::vector<std::uint8_t> mmc = {1};
    for (auto record : {Record(0, 10, 2, 0), Record(0, 0, 0, 7)}) mmc.insert(mmc.end(), record.begin(), record.end());
    mmc.insert(mmc.end(), {0xFF, 0x41, 0x00, 0xFF, 0xC0, 0x00, 0x43});
    for (auto record : {Record(1, 1, 0, 7)}) mmc.insert(mmc.end(), record.begin(), record.end());
    WriteSeed(folder, "mmc-op-cond", mmc);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return murmex::fuzz::WriteSeedsWhenAsked(WriteSeeds); }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace murmex;
    if (size < 1) return 0;
    const std::string& image = fuzz::ScratchFile(".tmf");
    const std::vector<std::uint8_t> erased(kCardBytes, 0xFF);
    if (!fuzz::WriteWholeFile(image, erased.data(), erased.size())) return 0;
    bridge::BridgeEmulator emulator(bridge::ParseBridgeOptions(image + ((data[0] & 1) ? ",mmc" : "")));

    std::vector<std::uint8_t> buffer;
    for (std::size_t at = 1; at + kRecordBytes <= size;) {
        const std::uint8_t kind = data[at] % 5;
        usb::ControlSetup setup;
        setup.request = data[at + 1];
        setup.value = static_cast<std::uint16_t>(data[at + 2] | (data[at + 3] << 8));
        setup.length = static_cast<std::uint16_t>(data[at + 4] | (data[at + 5] << 8));
        at += kRecordBytes;
        const bool out = kind == 0 || kind == 2;
        const std::size_t length = out ? std::min<std::size_t>(setup.length, size - at) : setup.length;
        buffer.assign(length, 0);
        if (out) {
            std::copy_n(data + at, length, buffer.begin());
            at += length;
        }
        setup.length = static_cast<std::uint16_t>(length);
        setup.requestType = static_cast<std::uint8_t>(usb::kTypeVendor | (kind == 1 ? usb::kDirectionIn : 0));
        if (kind <= 1)
            emulator.Control(setup, buffer);
        else
            emulator.Bulk(kind == 2 ? 0x01 : (kind == 3 ? 0x82 : 0x83), buffer);
    }
    return 0;
}
