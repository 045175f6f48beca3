#include "TransferJournal.h"

namespace murmex::bridge {

bool TransferJournal::Record(const TransferRecord& record) {
    const bool attached = Attached();
    ++count_;
    if (logging_) log_.push_back(record);
    return attached;
}

}  // namespace murmex::bridge
