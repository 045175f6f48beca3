// What the message store needs of the card: whole-block reads, writes and
// erases by byte address, the block-size switch for 4 MB and 8 MB cards, and
// the text of the last failure. CCardDevice implements it over the bridge or a
// card image; tests wrap it to cut the power at a chosen operation.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace murmex {

class BlockDevice {
public:
    virtual ~BlockDevice() = default;

    // Each returns nonzero on success. A read fills buffer.size() bytes, which
    // must be the device's current block size (or larger: only one block is read).
    virtual int ReadBlock(std::uint32_t address, std::span<std::uint8_t> buffer) = 0;
    virtual int WriteBlock(std::uint32_t address, std::span<const std::uint8_t> data) = 0;
    virtual int EraseBlock(std::uint32_t address) = 0;
    // 4 and 8 select 8192-byte blocks, 16 and 32 select 16384-byte blocks;
    // anything else returns 0 and changes nothing.
    virtual int SetCardSize(int megabytes) = 0;
    virtual std::uint32_t GetBlockBytes() const = 0;
    virtual std::string GetErrorText() = 0;
};

}  // namespace murmex
