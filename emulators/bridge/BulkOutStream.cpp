#include "BulkOutStream.h"

#include <algorithm>

namespace murmex::bridge {

void BulkOutStream::Discard() {
    kind_ = Kind::Discard;
    unit_.clear();
    sink_ = nullptr;
}

void BulkOutStream::Units(std::size_t unitSize, std::size_t maxUnits, Sink sink) {
    Discard();
    if (unitSize == 0) return;
    kind_ = Kind::Units;
    unitSize_ = unitSize;
    unitsLeft_ = maxUnits;
    unlimited_ = maxUnits == 0;
    unit_.reserve(unitSize);
    sink_ = std::move(sink);
}

void BulkOutStream::NextTransfer(Sink sink) {
    Discard();
    kind_ = Kind::NextTransfer;
    sink_ = std::move(sink);
}

void BulkOutStream::Consume(std::span<const std::uint8_t> data) {
    if (kind_ == Kind::NextTransfer) {
        Sink sink = std::move(sink_);
        Discard();
        sink(data);
        return;
    }
    while (kind_ == Kind::Units && !data.empty()) {
        const std::size_t n = std::min(data.size(), unitSize_ - unit_.size());
        unit_.insert(unit_.end(), data.begin(), data.begin() + static_cast<std::ptrdiff_t>(n));
        data = data.subspan(n);
        if (unit_.size() < unitSize_) break;
        sink_(unit_);
        unit_.clear();
        if (!unlimited_ && --unitsLeft_ == 0) Discard();
    }
}

}  // namespace murmex::bridge
