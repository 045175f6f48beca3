#include <algorithm>

#include "Driver.h"
#include "G711Driver.h"
#include "GsmDriver.h"
#include "ImaAdpcmDriver.h"
#include "MsAdpcmDriver.h"
#include "PcmDriver.h"

namespace murmex::acm {

Driver::Driver(std::string name, std::vector<WaveFormat> formats) : name_(std::move(name)), formats_(std::move(formats)) {}

std::uint32_t Driver::MaxFormatSize() const {
    std::size_t size = 18;
    for (const WaveFormat& f : formats_) size = std::max(size, f.RecordSize());
    return static_cast<std::uint32_t>(size);
}

std::vector<std::unique_ptr<Driver>> MakeDrivers() {
    // The PCM converter comes first: callers that look for "the first driver
    // with a PCM format" must find it, not a codec's PCM side.
    std::vector<std::unique_ptr<Driver>> drivers;
    drivers.push_back(std::make_unique<PcmDriver>());
    drivers.push_back(std::make_unique<G711Driver>());
    drivers.push_back(std::make_unique<ImaAdpcmDriver>());
    drivers.push_back(std::make_unique<MsAdpcmDriver>());
    drivers.push_back(std::make_unique<GsmDriver>());
    return drivers;
}

}  // namespace murmex::acm
