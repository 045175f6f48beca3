// Counts and (optionally) logs every transfer, and unplugs the bridge after
// the number of transfers the options allow.
#pragma once

#include <cstdint>
#include <vector>

#include "BridgeEmulator.h"

namespace murmex::bridge {

class TransferJournal {
public:
    explicit TransferJournal(std::uint64_t unplugAfter) : unplugAfter_(unplugAfter) {}

    // Records one transfer; false when the bridge has left the bus before it.
    bool Record(const TransferRecord& record);
    bool Attached() const { return unplugAfter_ == 0 || count_ < unplugAfter_; }

    std::uint64_t Count() const { return count_; }
    void EnableLog(bool on) { logging_ = on; }
    const std::vector<TransferRecord>& Log() const { return log_; }
    void ClearLog() { log_.clear(); }

private:
    std::uint64_t unplugAfter_;
    std::uint64_t count_ = 0;
    bool logging_ = false;
    std::vector<TransferRecord> log_;
};

}  // namespace murmex::bridge
