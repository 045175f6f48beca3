// One driver of our audio compression manager: a name, the table of every
// format it offers (complete records, as a driver describes them to callers,
// its own formats first and then the PCM formats they pair with), whether it
// can convert one format into another, and the converter objects that do it.
// The registry in Acm.cpp knows drivers only through this class; a new
// driver is one subclass and one line in MakeDrivers().
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Acm.h"
#include "WaveFormat.h"

namespace murmex::acm {

struct ConvertResult {
    std::uint32_t sourceUsed = 0;
    std::uint32_t destinationUsed = 0;
    MmResult result = MMSYSERR_NOERROR;
};

// One open conversion. Each Convert call takes the source as a whole sound
// (its start and its end), so nothing carries over from one call to the
// next. Output that does not fit the destination is cut at a whole block (or
// frame) and sourceUsed says how much of the source that output stands for.
// A converter never reads or writes outside the two spans.
class Converter {
public:
    virtual ~Converter() = default;
    virtual ConvertResult Convert(std::span<const std::uint8_t> source, std::span<std::uint8_t> destination) = 0;
    // The most destination bytes a source of sourceBytes can give.
    virtual std::uint64_t DestinationSize(std::uint64_t sourceBytes) const = 0;
};

class Driver {
public:
    Driver(std::string name, std::vector<WaveFormat> formats);
    virtual ~Driver() = default;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    const std::string& Name() const { return name_; }
    const std::vector<WaveFormat>& Formats() const { return formats_; }
    // The largest record (18 + extra bytes) in the table.
    std::uint32_t MaxFormatSize() const;

    virtual bool CanConvert(const WaveFormat& source, const WaveFormat& destination) const = 0;
    // A converter for a pair CanConvert accepts; nullptr for any other pair.
    virtual std::unique_ptr<Converter> Open(const WaveFormat& source, const WaveFormat& destination) const = 0;

private:
    std::string name_;
    std::vector<WaveFormat> formats_;
};

// Every driver, in the order acmDriverEnum reports them (ids 1, 2, ...).
std::vector<std::unique_ptr<Driver>> MakeDrivers();

}  // namespace murmex::acm
