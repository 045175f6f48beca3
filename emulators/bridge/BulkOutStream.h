// Where the bytes the host sends on the bulk-OUT endpoint go: nowhere, into
// fixed-size units handed to a sink as each completes (a unit may span
// transfers), or the next transfer whole to a one-shot sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace murmex::bridge {

class BulkOutStream {
public:
    using Sink = std::function<void(std::span<const std::uint8_t>)>;

    void Discard();
    // maxUnits 0: until the stream is closed.
    void Units(std::size_t unitSize, std::size_t maxUnits, Sink sink);
    void NextTransfer(Sink sink);

    void Consume(std::span<const std::uint8_t> data);

private:
    enum class Kind { Discard, Units, NextTransfer };
    Kind kind_ = Kind::Discard;
    std::size_t unitSize_ = 0;
    std::size_t unitsLeft_ = 0;
    bool unlimited_ = false;
    std::vector<std::uint8_t> unit_;
    Sink sink_;
};

}  // namespace murmex::bridge
